// Video capture: frames to ffmpeg through a pipe, the song to a WAV, then one
// more ffmpeg pass that puts both into the output file.
#include "tools/capture/video.h"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "driver/show.h"
#include "driver/timeline.h"
#include "render/programs.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/progress.h"
#include "tools/common/child_process.h"
#include "tools/common/output_file.h"
#include "tools/replay/show_pictures.h"
#include "tools/replay/show_replay.h"

namespace {

constexpr int32_t kSongRate = 44100;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A child process whose standard input is the write end of a pipe we hold.
struct Child {
    pid_t pid = -1;
    FILE* input = nullptr;  // null when the child reads nothing from us
};

// Starts `argv` (found on PATH); with `piped` its stdin comes from us.
bool launch(const std::vector<const char*>& argv, bool piped, Child& child) {
    int fds[2] = {-1, -1};
    if (piped && pipe2(fds, O_CLOEXEC) != 0) return false;
    child.pid = startChild("capture", argv, fds[0]);
    if (piped) close(fds[0]);
    if (child.pid < 0) {
        if (piped) close(fds[1]);
        return false;
    }
    if (piped) {
        child.input = fdopen(fds[1], "wb");
        if (!child.input) close(fds[1]);
        return child.input != nullptr;
    }
    return true;
}

// Closes our end of the pipe and waits; true when the child exited with 0.
bool finishChild(Child& child) {
    if (child.input) std::fclose(child.input);
    child.input = nullptr;
    return waitChild(child.pid);
}

bool runChild(const std::vector<const char*>& argv) {
    Child child;
    return launch(argv, false, child) && finishChild(child);
}

// ffmpeg can exit with 0 having written nothing usable; the file must hold
// bytes and ffprobe must find a video stream in it.
bool holdsVideo(const char* path) {
    std::string streams;
    return fileHasBytes(path) &&
           runChildCollecting("capture",
                              {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                               "stream=codec_type", "-of", "csv=p=0", path},
                              streams, false) &&
           streams.find("video") != std::string::npos;
}

// Progress on stderr: a bar redrawn in place on a terminal, otherwise one
// line per tenth of the run, so logs stay short.
struct ProgressReport {
    bool terminal = false;
    double started = 0.0;
    double lastShown = -1.0;
    int32_t lastTenth = 0;
    char label[48] = {};  // names a segment's frames in every line

    void show(const FrameEstimate& estimate, int32_t done, int32_t total) {
        double t = now();
        bool last = done == total;
        int32_t tenth = total > 0 ? int32_t(int64_t(done) * 10 / total) : 10;
        if (terminal ? (!last && t - lastShown < 0.25) : (tenth == lastTenth && !last)) return;
        lastShown = t;
        lastTenth = tenth;
        char line[256];
        formatProgress(line, sizeof(line), done, total, t - started, secondsLeft(estimate),
                       estimateMeasured(estimate), terminal ? 30 : 10);
        if (terminal) std::fprintf(stderr, "\rcapture: %s%s\x1b[K%s", label, line, last ? "\n" : "");
        else std::fprintf(stderr, "capture: %s%s\n", label, line);
    }
};

// 16-bit stereo WAV of `frames` frames from `samples`, zeros past its end,
// into `file` (opened, and left for the caller to commit with the video).
bool writeSong(OutputFile& file, const std::vector<int16_t>& samples, int64_t first, int64_t frames) {
    SF_INFO format{};
    format.samplerate = kSongRate;
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const char* path = file.target.c_str();
    SNDFILE* wav = sf_open_fd(file.fd, SFM_WRITE, &format, SF_FALSE);
    if (!wav) {
        std::fprintf(stderr, "capture: cannot write %s: %s\n", path, sf_strerror(nullptr));
        abandonOutput(file);
        return false;
    }
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    for (int64_t i = 0; i < frames * 2; i++) {
        int64_t source = first * 2 + i;
        if (source >= 0 && source < int64_t(samples.size())) out[size_t(i)] = samples[size_t(source)];
    }
    bool written = sf_write_short(wav, out.data(), sf_count_t(out.size())) == sf_count_t(out.size());
    if (sf_close(wav) == 0 && written) return true;
    std::fprintf(stderr, "capture: writing %s failed\n", path);
    abandonOutput(file);
    return false;
}

// The encoder of the pictures, reading raw RGB frames from its stdin. A
// segment is stored losslessly (FFV1, every frame a key frame, checksummed
// slices) in Matroska, so that segments join by stream copy and decode to
// exactly the pixels drawn; otherwise H.264 at a quality meant for viewing.
std::vector<std::string> encoderArguments(const VideoOptions& options, const std::string& output) {
    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    const std::string rate = std::to_string(options.fps);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f",
                                     "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-framerate", rate, "-i", "pipe:0"};
    if (videoIsSegment(options))
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slicecrc", "1", "-f", "matroska"});
    else
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p"});
    args.push_back(output);
    return args;
}

// RGB rows top first, as ffmpeg's rawvideo expects, from a bottom-up picture.
void toRgbTopDown(const Picture& picture, std::vector<uint8_t>& rgb) {
    rgb.resize(size_t(picture.width) * picture.height * 3);
    for (int32_t y = 0; y < picture.height; y++) {
        const uint8_t* src = &picture.rgba[size_t(picture.height - 1 - y) * picture.width * 4];
        uint8_t* dst = &rgb[size_t(y) * picture.width * 3];
        for (int32_t x = 0; x < picture.width; x++) {
            dst[x * 3 + 0] = src[x * 4 + 0];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4 + 2];
        }
    }
}

}  // namespace

static_assert(kBlackFrame == kSceneProgramCount, "black frames are the kind after the last scene program");

// From a silent replay of the same clocks: the note feed does not change
// which Sequence is drawn.
std::vector<int8_t> videoFrameKinds(const VideoOptions& options) {
    const int32_t count = videoFrameCount(options);
    std::vector<int8_t> kinds(size_t(count > 0 ? count : 0), kBlackFrame);
    ShowReplay plan;
    if (initReplay(plan, false, options.seed)) {
        for (int32_t i = 0; i < count; i++) {
            float clock = videoFrameClock(options, i);
            if (clock < 0.0f) continue;
            advanceReplay(plan, clock);
            if (sceneVisible(plan.timeline)) kinds[size_t(i)] = int8_t(sceneProgramOf(plan.timeline));
        }
    }
    releaseReplay(plan);
    return kinds;
}

void printSceneFrames(const VideoOptions& options) {
    const std::vector<int8_t> kinds = videoFrameKinds(options);
    for (size_t i = 0, run = 0; i < kinds.size(); i = run) {
        for (run = i; run < kinds.size() && kinds[run] == kinds[i];) run++;
        std::printf("%d %d %s\n", int(options.first + int32_t(i)), int(options.first + int32_t(run) - 1),
                    kinds[i] == kBlackFrame ? "black" : sceneName(kinds[i]));
    }
}

int32_t writeVideo(const VideoOptions& options) {
    // A dead encoder must show up as a failed write, not end us silently.
    signal(SIGPIPE, SIG_IGN);
    int32_t count = videoFrameCount(options);
    if (count < 1) {
        std::fprintf(stderr, "capture: the video would hold no frame\n");
        return 2;
    }
    FrameEstimate estimate;
    std::vector<int8_t> kinds = videoFrameKinds(options);
    for (int8_t kind : kinds) planFrame(estimate, kind);

    ShowReplay replay;
    std::vector<int16_t> song;
    if (!initReplay(replay, options.music, options.seed)) {
        std::fprintf(stderr, "capture: the song or the note arrays could not be set up\n");
        return 1;
    }
    replay.song = &song;
    ShowPictures pictures;
    if (!openShowPictures(pictures, options.width, options.height, replay)) {
        closeShowPictures(pictures);
        releaseReplay(replay);
        return 1;
    }

    // Pictures first into a file of their own (a temporary beside the
    // video, never renamed): the song is only complete once the last frame
    // has been rendered, and ffmpeg wants it from the start. A segment is
    // pictures only.
    const bool segment = videoIsSegment(options);
    const bool withSong = options.music && !segment;
    OutputFile video, pictureOnly, songOut;
    const std::string picturePath = std::string(options.output) + ".pictures.mkv";
    if (!openOutput("capture", options.output, video) ||
        (withSong && !openOutput("capture", picturePath.c_str(), pictureOnly))) {
        abandonOutput(video);
        closeShowPictures(pictures);
        releaseReplay(replay);
        return 1;
    }
    const std::string pictureFile = outputWritePath(withSong ? pictureOnly : video);
    const std::vector<std::string> encoding = encoderArguments(options, pictureFile);
    std::vector<const char*> encodingArgv;
    for (const std::string& a : encoding) encodingArgv.push_back(a.c_str());
    Child encoder;
    bool ok = launch(encodingArgv, true, encoder);
    // Catching up with a late first frame replays the show up to it: done
    // before the clock starts, so it does not pass for the cost of a frame.
    float first = videoFrameClock(options, 0);
    if (first > 1.0f) std::fprintf(stderr, "capture: replaying the show up to %.2f s\n", double(first));
    // A segment steps the note feed at every earlier frame of its video as
    // well, as the single run of the whole video does: at a rate that does
    // not divide 60 those are steps of their own, and each one decays the
    // feed, so leaving them out would change the segment's pictures.
    for (int32_t n = 0; n < options.first; n++) {
        float clock = options.from + float(n) / float(options.fps);
        if (clock >= 0.0f) advanceReplay(replay, clock);
    }
    if (first >= 0.0f) advanceReplay(replay, first);
    ProgressReport progress;
    progress.terminal = isatty(STDERR_FILENO);
    progress.started = now();
    if (segment)
        std::snprintf(progress.label, sizeof(progress.label), "frames %d-%d ", int(options.first), int(options.last));
    std::vector<uint8_t> rgb;
    for (int32_t i = 0; ok && i < count; i++) {
        double started = now();
        float clock = videoFrameClock(options, i);
        if (clock >= 0.0f) advanceReplay(replay, clock);
        drawReplayFrame(pictures, replay);
        toRgbTopDown(readShowPicture(pictures), rgb);
        if (std::fwrite(rgb.data(), 1, rgb.size(), encoder.input) != rgb.size()) {
            std::fprintf(stderr, "\ncapture: ffmpeg stopped taking frames\n");
            ok = false;
        }
        finishFrame(estimate, kinds[size_t(i)], now() - started);
        progress.show(estimate, i + 1, count);
    }
    if (!finishChild(encoder) && ok) {
        std::fprintf(stderr, "capture: ffmpeg failed to encode the frames\n");
        ok = false;
    }
    closeShowPictures(pictures);

    if (ok && withSong) {
        // The picture with clock t goes with the music at t + the picture
        // delay, so the sound track starts that far into the song.
        double songStart = double(options.from) + double(kPictureDelay);
        double length = double(count) / options.fps;
        renderReplayMusic(replay, float(songStart + length) + 0.05f);
        const std::string songFile = songPathFor(options.output);
        ok = openOutput("capture", songFile.c_str(), songOut) &&
             writeSong(songOut, song, std::lround(songStart * kSongRate), std::lround(length * kSongRate));
        if (ok)
            ok = runChild({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-i",
                           pictureFile.c_str(), "-i", outputWritePath(songOut), "-map", "0:v:0", "-map", "1:a:0",
                           "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", outputWritePath(video)});
        if (!ok) std::fprintf(stderr, "capture: putting the song into %s failed\n", options.output);
        abandonOutput(pictureOnly);
    }
    releaseReplay(replay);
    // A device or FIFO target cannot be read back: there ffmpeg's word is all there is.
    if (ok && !video.temporary.empty() && !holdsVideo(outputWritePath(video))) {
        std::fprintf(stderr, "capture: ffmpeg reported success but %s holds no video\n", options.output);
        ok = false;
    }
    // The song goes in place only with its video: a failed run leaves neither.
    if (ok && commitOutput(video) && (!withSong || commitOutput(songOut))) {
        if (withSong)
            std::fprintf(stderr, "capture: wrote %s and its song %s\n", options.output,
                         songPathFor(options.output).c_str());
        else
            std::fprintf(stderr, "capture: wrote %s (%s)\n", options.output,
                         segment ? "a lossless segment" : "no sound");
        return 0;
    }
    abandonOutput(video);
    abandonOutput(pictureOnly);
    abandonOutput(songOut);
    return 1;
}
