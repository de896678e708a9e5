// Video capture: frames to ffmpeg through a pipe, the song to a WAV, then one
// more ffmpeg pass that puts both into the output file.
#include "tools/capture/video.h"

#include <signal.h>
#include <spawn.h>
#include <sndfile.h>
#include <sys/wait.h>
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
#include "tools/capture/show_pictures.h"
#include "tools/capture/show_replay.h"
#include "tools/common/tool_exit.h"

extern char** environ;

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
bool startChild(const std::vector<const char*>& argv, bool piped, Child& child) {
    int fds[2] = {-1, -1};
    if (piped && pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (piped) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    std::vector<char*> args;
    for (const char* a : argv) args.push_back(const_cast<char*>(a));
    args.push_back(nullptr);
    int failed = posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (piped) close(fds[0]);
    if (failed) {
        if (piped) close(fds[1]);
        std::fprintf(stderr, "capture: cannot start %s\n", args[0]);
        return false;
    }
    trackChild(child.pid);
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
    int status = 0;
    if (child.pid < 0) return false;
    const bool waited = waitpid(child.pid, &status, 0) >= 0;
    untrackChild(child.pid);
    return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runChild(const std::vector<const char*>& argv) {
    Child child;
    return startChild(argv, false, child) && finishChild(child);
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

// 16-bit stereo WAV of `frames` frames from `samples`, zeros past its end.
bool writeSong(const std::string& path, const std::vector<int16_t>& samples, int64_t first, int64_t frames) {
    SF_INFO format{};
    format.samplerate = kSongRate;
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    startOutput(path.c_str());
    SNDFILE* wav = sf_open(path.c_str(), SFM_WRITE, &format);
    if (!wav) {
        std::fprintf(stderr, "capture: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    for (int64_t i = 0; i < frames * 2; i++) {
        int64_t source = first * 2 + i;
        if (source >= 0 && source < int64_t(samples.size())) out[size_t(i)] = samples[size_t(source)];
    }
    bool written = sf_write_short(wav, out.data(), sf_count_t(out.size())) == sf_count_t(out.size());
    return sf_close(wav) == 0 && written;
}

// The encoder of the pictures, reading raw RGB frames from its stdin. A
// segment is stored losslessly (FFV1, every frame a key frame, checksummed
// slices) in Matroska, so that segments join by stream copy and decode to
// exactly the pixels drawn; otherwise H.264 at a quality meant for viewing.
std::vector<std::string> encoderArguments(const VideoOptions& options, const char* output) {
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

    // Pictures first into a file of their own: the song is only complete once
    // the last frame has been rendered, and ffmpeg wants it from the start.
    // A segment is pictures only.
    const bool segment = videoIsSegment(options);
    const bool withSong = options.music && !segment;
    std::string pictureFile = withSong ? std::string(options.output) + ".pictures.mkv" : options.output;
    // Everything this run writes goes if it fails or is stopped.
    startOutput(options.output);
    startOutput(pictureFile.c_str());
    Child encoder;
    const std::vector<std::string> encoding = encoderArguments(options, pictureFile.c_str());
    std::vector<const char*> encodingArgv;
    for (const std::string& a : encoding) encodingArgv.push_back(a.c_str());
    bool ok = startChild(encodingArgv, true, encoder);
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
        std::string songFile = songPathFor(options.output);
        ok = writeSong(songFile, song, std::lround(songStart * kSongRate), std::lround(length * kSongRate));
        if (ok)
            ok = runChild({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-i",
                           pictureFile.c_str(), "-i", songFile.c_str(), "-map", "0:v:0", "-map", "1:a:0", "-c:v",
                           "copy", "-c:a", "aac", "-b:a", "192k", options.output});
        if (!ok) std::fprintf(stderr, "capture: putting the song into %s failed\n", options.output);
        else std::fprintf(stderr, "capture: wrote %s and its song %s\n", options.output, songFile.c_str());
        std::remove(pictureFile.c_str());
    } else if (ok) {
        std::fprintf(stderr, "capture: wrote %s (%s)\n", options.output, segment ? "a lossless segment" : "no sound");
    }
    releaseReplay(replay);
    if (!ok) removeStartedOutputs();
    return ok ? 0 : 1;
}
