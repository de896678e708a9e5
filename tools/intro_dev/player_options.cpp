// Command-line parsing of the development player.
#include "tools/intro_dev/player_options.h"

#include <cstdio>
#include <cstring>

#include "tools/common/arguments.h"

const char* const kPlayerUsage =
    "usage: intro_dev [--at T] [--paused] [--loop A-B] [--size WxH] [--scale S] [--source DIR] [--shots DIR]\n"
    "                 [--seed N]\n"
    "  --at T        start at music time T seconds (0 to 145)\n"
    "  --paused      start paused\n"
    "  --loop A-B    play music time A to B seconds over and over\n"
    "  --size WxH    window size (default 960x540)\n"
    "  --scale S     draw the picture at S (0.25 to 1) of the window and stretch it\n"
    "  --source DIR  the source tree whose shaders/ and data/song/ are watched (default: the one built from)\n"
    "  --shots DIR   folder for the pictures the P key writes (default: the current one)\n"
    "  --seed N      value the random counter is pinned to (default 1, as songrender --seed 1 and capture)\n"
    "keys: Space pause, Left/Right a beat (Shift: a bar), PageUp/PageDown a Sequence, Home the start,\n"
    "      L loop the Sequence, , and . a frame while paused, - and = the scale, Tab the overlay,\n"
    "      P write the picture (Shift: the window with the overlay), Escape leave\n";

namespace {

bool parseSize(const char* text, int32_t& width, int32_t& height) {
    const char* x = std::strchr(text, 'x');
    if (x == nullptr) return false;
    const std::string first(text, size_t(x - text));
    int64_t w = 0, h = 0;
    if (!parseInteger(first.c_str(), 16, 8192, w) || !parseInteger(x + 1, 16, 8192, h)) return false;
    width = int32_t(w);
    height = int32_t(h);
    return true;
}

}  // namespace

bool parsePlayerOptions(int argc, const char* const* argv, PlayerOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            options.help = true;
            continue;
        }
        if (std::strcmp(arg, "--paused") == 0) {
            options.paused = true;
            continue;
        }
        static const char* const kValued[] = {"--at", "--loop", "--size", "--scale", "--source", "--shots", "--seed"};
        bool valued = false;
        for (const char* name : kValued) valued = valued || std::strcmp(arg, name) == 0;
        if (!valued) {
            std::fprintf(stderr, "intro_dev: unknown argument '%s'\n", arg);
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "intro_dev: %s wants a value\n", arg);
            return false;
        }
        const char* value = argv[++i];
        bool ok = true;
        const char* range = "";
        if (std::strcmp(arg, "--at") == 0) {
            ok = parseReal(value, 0.0, kPlayerSeconds, options.at);
            range = "a time from 0 to 145 s";
        } else if (std::strcmp(arg, "--loop") == 0) {
            ok = parseLoopRange(value, kPlayerSeconds, options.loop);
            range = "A-B with 0 <= A < B <= 145";
        } else if (std::strcmp(arg, "--size") == 0) {
            ok = parseSize(value, options.width, options.height);
            range = "WxH, each 16 to 8192";
        } else if (std::strcmp(arg, "--scale") == 0) {
            ok = parseReal(value, 0.25, 1.0, options.scale);
            range = "0.25 to 1";
        } else if (std::strcmp(arg, "--source") == 0) {
            options.source = value;
        } else if (std::strcmp(arg, "--shots") == 0) {
            options.shots = value;
        } else if (!parseSeed("intro_dev", value, options.seed)) {
            return false;  // parseSeed has said why
        }
        if (!ok) {
            std::fprintf(stderr, "intro_dev: %s '%s' refused: %s\n", arg, value, range);
            return false;
        }
    }
    return true;
}
