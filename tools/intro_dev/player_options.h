// The development player's command line.
#pragma once
#include <cstdint>
#include <string>

#include "tools/intro_dev/transport.h"

// Music the player records: the song with its coda (songrender --seconds 144.5).
constexpr double kPlayerSeconds = 145.0;

struct PlayerOptions {
    double at = 0.0;             // music time to start from
    bool paused = false;         // start paused
    TimeRange loop;              // end > start: loop this range from the start
    int32_t width = 960;         // window, pixels
    int32_t height = 540;
    double scale = 1.0;          // picture scale, 0.25 .. 1
    std::string source;          // the source tree (shaders/, data/song/)
    std::string shots = ".";     // where P writes pictures
    uint64_t seed = 1;           // the counter pin, as songrender --seed and capture
    bool help = false;
};

// Reads argv; false after one line on stderr naming the refused argument.
bool parsePlayerOptions(int argc, const char* const* argv, PlayerOptions& options);
// The usage text.
extern const char* const kPlayerUsage;
