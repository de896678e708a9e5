// capture: the show's pictures rendered offscreen, deterministically: one
// frame at a given clock, one loading frame, a labelled contact sheet of every
// Sequence, a video with the song, or per-scene draw timings. Shader compile
// and link failures end the tool with the driver's log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/timetable.h"
#include "driver/timeline.h"
#include "render/programs.h"
#include "runtime/float_mode.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/scene_timings.h"
#include "tools/replay/show_pictures.h"
#include "tools/replay/show_replay.h"
#include "tools/capture/video.h"
#include "tools/common/arguments.h"
#include "tools/common/output_file.h"
#include "tools/common/tool_exit.h"

namespace {

enum class Mode { None, Time, Loading, ContactSheet, Video, Timings, SceneFrames };

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
    const char* frames = nullptr;  // --frames as given: N for --timings, A-B for --video
    int32_t first = 0;   // a video segment's frame range; last < 0: no segment
    int32_t last = -1;
    int32_t timedSequence = -1;  // --timings of this Sequence alone; -1: all
};

const char kUsage[] =
    "usage: capture --time T [--size WxH] [--silent] [--seed N] -o frame.png\n"
    "       capture --loading N [--size WxH] -o frame.png       (N = 1..6)\n"
    "       capture --contact-sheet sheet.png [--size WxH] [--silent] [--seed N]\n"
    "       capture --video show.mp4 [--size WxH] [--fps N] [--from S] [--seconds S] [--silent] [--seed N]\n"
    "       capture --video seg.mkv --frames A-B [--size WxH] [--fps N] [--silent] [--seed N]\n"
    "       capture --timings [--size WxH] [--frames N] [--sequence N] [--silent] [--seed N]\n"
    "       capture --scene-frames [--fps N]\n"
    "  --time T          the frame whose clock (music time - 0.17 s) is T seconds\n"
    "  --contact-sheet   the middle frame of every Sequence the show draws, 5 per row,\n"
    "                    captioned with Sequence, scene and clock (the --time value)\n"
    "  --video           every frame from clock S (default 0, at least -0.17) for S seconds\n"
    "                    (default: to the show's last frame) with the song, through ffmpeg;\n"
    "                    the song is also written beside it as a WAV\n"
    "  --frames A-B      (with --video) a segment: the show's frames A to B (frame n at clock\n"
    "                    n / fps, 0 to the first at 115 s), lossless FFV1 in Matroska, no sound;\n"
    "                    segments of one size and rate join into the single-run video exactly\n"
    "  --timings         median draw milliseconds per Sequence and per scene program, and\n"
    "                    the cost against a reference march of 150 fixed steps per pixel\n"
    "  --sequence N      time Sequence N (0..10) alone\n"
    "  --scene-frames    the show's frames at the rate as runs of one scene, 'FIRST LAST scene'\n"
    "                    a line ('black' between draw windows), for planning chunked renders\n"
    "  --size WxH        picture (or sheet tile) size; default 1600x900, for a sheet 320x180,\n"
    "                    for a video 640x360, for timings 320x180\n"
    "  --silent          no music: every note texture stays zero (much faster)\n"
    "  --seed N          value the random counter is pinned to (0..4294967295, default 1)\n"
    "  -h, --help        this text\n";

// A contact sheet is held whole in memory, and once more as its PNG; the
// largest tile size (8192 x 8192) would make a 4 GiB sheet. Sheets whose
// pixels pass this are refused before any rendering.
constexpr uint64_t kLargestSheetBytes = uint64_t(1) << 30;

// The show's clock runs from -0.17 s (the first pre-roll frame) to its last
// frame, the first at 115 s or later; a frame at 115 s is that last frame.
constexpr double kFirstClock = -0.17;
constexpr double kLastClock = 115.0;

bool fail(const char* format, const char* name, const char* value) {
    std::fprintf(stderr, "capture: ");
    std::fprintf(stderr, format, name, value);
    std::fputc('\n', stderr);
    return false;
}

bool wholeIn(const char* name, const char* value, int64_t low, int64_t high, int32_t& out) {
    int64_t parsed = 0;
    if (!parseInteger(value, low, high, parsed)) {
        std::fprintf(stderr, "capture: %s wants a whole number from %lld to %lld, not '%s'\n", name, (long long)low,
                     (long long)high, value);
        return false;
    }
    out = int32_t(parsed);
    return true;
}

bool realIn(const char* name, const char* value, double low, double high, float& out) {
    double parsed = 0.0;
    if (!parseReal(value, low, high, parsed)) {
        std::fprintf(stderr, "capture: %s wants a number from %g to %g, not '%s'\n", name, low, high, value);
        return false;
    }
    out = float(parsed);
    return true;
}

// WxH, each side 1..8192 in plain digits.
bool sizeIn(const char* value, int32_t& width, int32_t& height) {
    const char* x = std::strchr(value, 'x');
    uint64_t w = 0, h = 0;
    bool ok = x != nullptr && x - value < 8;
    if (ok) {
        char left[8] = {};
        std::memcpy(left, value, size_t(x - value));
        ok = parseWhole(left, 8192, w) && parseWhole(x + 1, 8192, h) && w >= 1 && h >= 1;
    }
    if (!ok) return fail("%s wants WIDTHxHEIGHT, each from 1 to 8192 (e.g. 320x180), not '%s'", "--size", value);
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

// One mode a run, and an output named once: a second mode or an -o beside
// --contact-sheet FILE or --video FILE would otherwise silently win.
bool setMode(Options& options, Mode mode, const char* flag) {
    if (options.mode != Mode::None && options.mode != mode)
        return fail("%s cannot be combined with another of --time, --loading, --contact-sheet, --video, --timings, "
                    "--scene-frames%s", flag, "");
    options.mode = mode;
    return true;
}

bool setOutput(Options& options, const char* value, const char* flag) {
    if (options.output != nullptr)
        return fail("%s %s: the output is already named (--contact-sheet and --video take it, -o is for the rest)",
                    flag, value);
    options.output = value;
    return true;
}

bool parseOptions(int argc, char** argv, Options& options) {
    static const char* const kWithValue[] = {"--time", "--loading", "--contact-sheet", "--video", "--size", "--fps",
                                             "--from", "--seconds", "--frames", "--sequence", "--seed", "-o"};
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (std::strcmp(arg, "--timings") == 0 || std::strcmp(arg, "--scene-frames") == 0) {
            if (!setMode(options, arg[2] == 't' ? Mode::Timings : Mode::SceneFrames, arg)) return false;
            continue;
        }
        if (std::strcmp(arg, "--silent") == 0) {
            options.music = false;
            continue;
        }
        bool known = false;
        for (const char* name : kWithValue) known = known || std::strcmp(arg, name) == 0;
        if (!known) return fail("unknown option %s%s", arg, "");
        if (i + 1 >= argc) return fail("%s needs a value%s", arg, "");
        const char* value = argv[++i];
        bool ok = true;
        if (std::strcmp(arg, "--time") == 0) {
            ok = setMode(options, Mode::Time, arg) && realIn(arg, value, 0.0, kLastClock, options.time);
        } else if (std::strcmp(arg, "--loading") == 0) {
            ok = setMode(options, Mode::Loading, arg) && wholeIn(arg, value, 1, kLoadingSteps, options.loadingStep);
        } else if (std::strcmp(arg, "--contact-sheet") == 0) {
            ok = setMode(options, Mode::ContactSheet, arg) && setOutput(options, value, arg);
        } else if (std::strcmp(arg, "--video") == 0) {
            ok = setMode(options, Mode::Video, arg) && setOutput(options, value, arg);
        } else if (std::strcmp(arg, "--size") == 0) {
            ok = sizeIn(value, options.width, options.height);
        } else if (std::strcmp(arg, "--fps") == 0) {
            ok = wholeIn(arg, value, 1, 240, options.fps);
        } else if (std::strcmp(arg, "--from") == 0) {
            // The show's first frame has the clock -0.17: nothing comes before.
            ok = realIn(arg, value, kFirstClock, kLastClock, options.from);
        } else if (std::strcmp(arg, "--seconds") == 0) {
            // At most the whole show, pre-roll included.
            ok = realIn(arg, value, 0.0, kLastClock - kFirstClock, options.seconds) && options.seconds > 0.0f;
            if (!ok && options.seconds == 0.0f) fail("%s wants a length above 0, not '%s'", arg, value);
        } else if (std::strcmp(arg, "--frames") == 0) {
            options.frames = value;  // its meaning depends on the mode, known at the end
        } else if (std::strcmp(arg, "--sequence") == 0) {
            ok = wholeIn(arg, value, 0, kSequenceCount - 1, options.timedSequence);
        } else if (std::strcmp(arg, "--seed") == 0) {
            ok = parseSeed("capture", value, options.seed);
        } else {
            ok = setOutput(options, value, arg);
        }
        if (!ok) return false;
    }
    if (options.mode == Mode::None)
        return fail("say what to capture: --time, --loading, --contact-sheet, --video, --timings or %s%s",
                    "--scene-frames", "");
    if (options.frames && options.mode == Mode::Video) {
        if (options.from != 0.0f || options.seconds >= 0.0f)
            return fail("%s%s", "--frames gives a segment's frames: no --from or --seconds with it", "");
        const int32_t most = lastShowFrame(options.fps);
        if (!parseFrameRange(options.frames, most, options.first, options.last)) {
            std::fprintf(stderr, "capture: --frames wants FIRST-LAST, 0 <= FIRST <= LAST <= %d at %d frames/s, "
                         "not '%s'\n", int(most), int(options.fps), options.frames);
            return false;
        }
    } else if (options.frames && !wholeIn("--frames", options.frames, 1, 1000, options.timedFrames)) {
        return false;
    }
    if (!options.output && options.mode != Mode::Timings && options.mode != Mode::SceneFrames)
        return fail("%s%s", "no output file: -o FILE (for --time and --loading)", "");
    if (options.output && (options.mode == Mode::Timings || options.mode == Mode::SceneFrames))
        return fail("--timings and --scene-frames write no file: -o %s has no use%s", options.output, "");
    if (options.width == 0) {
        bool small = options.mode == Mode::ContactSheet || options.mode == Mode::Timings;
        options.width = small ? 320 : options.mode == Mode::Video ? 640 : 1600;
        options.height = small ? 180 : options.mode == Mode::Video ? 360 : 900;
    }
    if (options.mode == Mode::Video && (options.width % 2 || options.height % 2)) {
        std::fprintf(stderr, "capture: a video needs an even width and height\n");
        return false;
    }
    if (options.mode == Mode::ContactSheet) {
        const SheetLayout layout = sheetLayout(options.width, options.height);
        const uint64_t bytes = uint64_t(layout.width) * uint64_t(layout.height) * 4;
        if (bytes > kLargestSheetBytes) {
            std::fprintf(stderr,
                         "capture: a sheet of %dx%d tiles is %dx%d pixels, %llu MiB; at most %llu MiB is held (try "
                         "a smaller --size)\n",
                         int(options.width), int(options.height), int(layout.width), int(layout.height),
                         (unsigned long long)(bytes >> 20), (unsigned long long)(kLargestSheetBytes >> 20));
            return false;
        }
    }
    // The video's song goes beside it under the same name with .wav; a
    // segment has no song.
    const bool withSong = options.mode == Mode::Video && options.last < 0;
    if (withSong && songPathFor(options.output) == options.output)
        return fail("--video %s: the song is written beside the video as a .wav, so the video cannot be one%s",
                    options.output, "");
    const std::string song = withSong ? songPathFor(options.output) : std::string();
    return refuseSameFiles("capture", {}, {options.output, song.empty() ? nullptr : song.c_str()});
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
    if (options.mode == Mode::SceneFrames) {
        VideoOptions whole;
        whole.fps = options.fps;
        printSceneFrames(whole);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
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
        video.first = options.first;
        video.last = options.last;
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
    // Before SDL starts: it leaves handlers that are already set alone, and
    // would otherwise turn Ctrl-C into a quit event that nothing here reads.
    installStopHandlers();
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return run(options);
}
