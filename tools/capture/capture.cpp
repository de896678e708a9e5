// capture: the show's pictures rendered offscreen, deterministically: one
// frame at a given clock, one loading frame, a labelled contact sheet of every
// Sequence, a video with the song, or per-scene draw timings. Shader compile
// and link failures end the tool with the driver's log.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/timetable.h"
#include "driver/timeline.h"
#include "render/programs.h"
#include "runtime/float_mode.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/scene_timings.h"
#include "tools/capture/show_pictures.h"
#include "tools/capture/show_replay.h"
#include "tools/capture/video.h"

namespace {

enum class Mode { None, Time, Loading, ContactSheet, Video, Timings };

struct Options {
    Mode mode = Mode::None;
    float time = 0.0f;
    int32_t loadingStep = 0;
    int32_t width = 0;  // 0: the mode's default
    int32_t height = 0;
    bool music = true;
    uint64_t seed = 1;
    const char* output = nullptr;
    int32_t fps = 60;
    float from = 0.0f;
    float seconds = -1.0f;   // video length; negative: to the end of the show
    int32_t timedFrames = 9;  // per Sequence, for --timings
    int32_t timedSequence = -1;  // --timings of this Sequence alone; -1: all
};

const char kUsage[] =
    "usage: capture --time T [--size WxH] [--silent] [--seed N] -o frame.png\n"
    "       capture --loading N [--size WxH] -o frame.png       (N = 1..6)\n"
    "       capture --contact-sheet sheet.png [--size WxH] [--silent] [--seed N]\n"
    "       capture --video show.mp4 [--size WxH] [--fps N] [--from S] [--seconds S] [--silent] [--seed N]\n"
    "       capture --timings [--size WxH] [--frames N] [--sequence N] [--silent] [--seed N]\n"
    "  --time T          the frame whose clock (music time - 0.17 s) is T seconds\n"
    "  --contact-sheet   the middle frame of every Sequence the show draws, 5 per row,\n"
    "                    captioned with Sequence, scene and clock (the --time value)\n"
    "  --video           every frame from clock S (default 0, at least -0.17) for S seconds\n"
    "                    (default: to the show's last frame) with the song, through ffmpeg;\n"
    "                    the song is also written beside it as a WAV\n"
    "  --timings         median draw milliseconds per Sequence and per scene program, and\n"
    "                    the cost against a reference march of 150 fixed steps per pixel\n"
    "  --sequence N      time Sequence N (0..10) alone\n"
    "  --size WxH        picture (or sheet tile) size; default 1600x900, for a sheet 320x180,\n"
    "                    for a video 640x360, for timings 320x180\n"
    "  --silent          no music: every note texture stays zero (much faster)\n"
    "  --seed N          value the random counter is pinned to (default 1)\n";

bool parseFloat(const char* text, float& out) {
    char* end = nullptr;
    out = std::strtof(text, &end);
    return end != text && !*end;
}

bool parseInt(const char* text, int32_t& out) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    out = int32_t(value);
    return end != text && !*end && value >= -1000000 && value <= 1000000;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto is = [&](const char* name, bool takesValue) {
            return std::strcmp(arg, name) == 0 && (!takesValue || value);
        };
        if (is("--time", true)) {
            options.mode = Mode::Time;
            if (!parseFloat(value, options.time) || !(options.time >= 0.0f)) return false;
            i++;
        } else if (is("--loading", true)) {
            options.mode = Mode::Loading;
            if (!parseInt(value, options.loadingStep)) return false;
            if (options.loadingStep < 1 || options.loadingStep > kLoadingSteps) return false;
            i++;
        } else if (is("--contact-sheet", true)) {
            options.mode = Mode::ContactSheet;
            options.output = value;
            i++;
        } else if (is("--video", true)) {
            options.mode = Mode::Video;
            options.output = value;
            i++;
        } else if (is("--timings", false)) {
            options.mode = Mode::Timings;
        } else if (is("--size", true)) {
            // Exactly two numbers: a trailing character is a typo, not a size.
            char extra = 0;
            if (std::sscanf(value, "%5dx%5d%c", &options.width, &options.height, &extra) != 2) return false;
            if (options.width < 1 || options.height < 1 || options.width > 8192 || options.height > 8192) return false;
            i++;
        } else if (is("--fps", true)) {
            if (!parseInt(value, options.fps) || options.fps < 1 || options.fps > 240) return false;
            i++;
        } else if (is("--from", true)) {
            // The show's first frame has the clock -0.17: nothing comes before.
            if (!parseFloat(value, options.from) || !(options.from >= -0.17f) || options.from > 200.0f) return false;
            i++;
        } else if (is("--seconds", true)) {
            if (!parseFloat(value, options.seconds) || !(options.seconds > 0.0f) || options.seconds > 300.0f)
                return false;
            i++;
        } else if (is("--frames", true)) {
            if (!parseInt(value, options.timedFrames) || options.timedFrames < 1 || options.timedFrames > 1000)
                return false;
            i++;
        } else if (is("--sequence", true)) {
            if (!parseInt(value, options.timedSequence) || options.timedSequence < 0 ||
                options.timedSequence >= kSequenceCount)
                return false;
            i++;
        } else if (is("--silent", false)) {
            options.music = false;
        } else if (is("--seed", true)) {
            // strtoull would take "" as 0 and "-3" as 2^64 - 3: digits only.
            if (*value < '0' || *value > '9') return false;
            char* end = nullptr;
            options.seed = std::strtoull(value, &end, 10);
            if (*end) return false;
            i++;
        } else if (is("-o", true)) {
            options.output = value;
            i++;
        } else {
            return false;
        }
    }
    if (options.mode == Mode::None || (!options.output && options.mode != Mode::Timings)) return false;
    if (options.width == 0) {
        bool small = options.mode == Mode::ContactSheet || options.mode == Mode::Timings;
        options.width = small ? 320 : options.mode == Mode::Video ? 640 : 1600;
        options.height = small ? 180 : options.mode == Mode::Video ? 360 : 900;
    }
    if (options.mode == Mode::Video && (options.width % 2 || options.height % 2)) {
        std::fprintf(stderr, "capture: a video needs an even width and height\n");
        return false;
    }
    return true;
}

// One tile per shown Sequence, each from the middle of its draw window.
bool writeContactSheet(ShowPictures& pictures, ShowReplay& replay, const Options& options) {
    SheetLayout layout = sheetLayout(options.width, options.height);
    Picture sheet = blackPicture(layout.width, layout.height);
    for (int32_t s = 0; s < kSheetSequences; s++) {
        float middle = sequenceMiddle(s);
        advanceReplay(replay, middle);
        drawReplayFrame(pictures, replay);
        placeTile(sheet, layout, s, readShowPicture(pictures), s, kSequences.sceneProgram[s], middle);
        std::fprintf(stderr, "capture: Sequence %d (%s) at %.2f s\n", int(s), sceneName(kSequences.sceneProgram[s]),
                     double(middle));
    }
    return writePng(sheet, options.output);
}

int run(const Options& options) {
    setFloatMode(kMainFloatMode);  // flush-to-zero, as on both of the show's threads
    if (options.mode == Mode::Video) {
        VideoOptions video;
        video.output = options.output;
        video.width = options.width;
        video.height = options.height;
        video.fps = options.fps;
        video.from = options.from;
        video.seconds = options.seconds;
        video.music = options.music;
        video.seed = options.seed;
        return writeVideo(video);
    }

    ShowReplay replay;
    if (!initReplay(replay, options.music && options.mode != Mode::Loading, options.seed)) {
        std::fprintf(stderr, "capture: the song or the note arrays could not be set up\n");
        return 1;
    }
    ShowPictures pictures;
    pictures.loadingStep = options.mode == Mode::Loading ? options.loadingStep : 0;
    int status = 1;
    if (openShowPictures(pictures, options.width, options.height, replay)) {
        switch (options.mode) {
        case Mode::Loading:
            status = writePng(pictures.loadingFrame, options.output) ? 0 : 1;
            break;
        case Mode::Time:
            advanceReplay(replay, options.time);
            drawReplayFrame(pictures, replay);
            status = writePng(readShowPicture(pictures), options.output) ? 0 : 1;
            break;
        case Mode::ContactSheet:
            status = writeContactSheet(pictures, replay, options) ? 0 : 1;
            break;
        case Mode::Timings:
            status = printSceneTimings(pictures, replay, options.timedFrames, options.timedSequence);
            break;
        default:
            break;
        }
    }
    closeShowPictures(pictures);
    releaseReplay(replay);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return run(options);
}
