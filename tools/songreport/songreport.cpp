// songreport: the composer's meters. Compiles a song's text source as songc
// does, renders the mix and every track alone through the intro's Synth, and
// prints loudness, balance and the mix checks per section of the score's
// marks and for the whole song.
//
//   songreport SOURCE_DIR [--json] [--seconds S] [--seed N]
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/music.h"
#include "tools/common/arguments.h"
#include "tools/songc/song_folder.h"
#include "tools/songreport/song_report.h"

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: songreport SOURCE_DIR [--json] [--seconds S] [--seed N]\n"
                 "  SOURCE_DIR   folder with instruments.txt and score.txt\n"
                 "  --json       the figures as JSON instead of tables\n"
                 "  --seconds S  length to render and measure (default 115, the show; at most 3600)\n"
                 "  --seed N     pin the counter to N (default 1): the same N gives the same figures\n");
}

}  // namespace

int main(int argc, char** argv) {
    const char* source = nullptr;
    bool json = false;
    double seconds = kShowEnd;
    uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--seconds" && i + 1 < argc) {
            if (!parseReal(argv[++i], 0.0, 3600.0, seconds) || !(seconds > 0.0)) {
                std::fprintf(stderr, "songreport: --seconds wants a number above 0 and at most 3600, not '%s'\n",
                             argv[i]);
                return 2;
            }
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!parseWhole(argv[++i], UINT64_MAX, seed)) {
                std::fprintf(stderr, "songreport: --seed wants a whole number in plain digits, not '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg[0] != '-' && source == nullptr) {
            source = argv[i];
        } else {
            std::fprintf(stderr, "songreport: unexpected argument '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    if (source == nullptr) {
        usage(stderr);
        return 2;
    }

    SongText text;
    std::vector<SectionMark> marks;
    std::string error;
    if (!readSongFolder(source, text, marks, error)) {
        std::fprintf(stderr, "songreport: %s\n", error.c_str());
        return 1;
    }
    const SongReport report = makeSongReport(text, marks, seconds, seed);
    if (report.song.end <= 0.0) {
        std::fprintf(stderr, "songreport: the song of %s does not load\n", source);
        return 1;
    }
    const std::string out = json ? reportJson(report) : reportText(report);
    if (std::fputs(out.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "songreport: cannot write the report\n");
        return 1;
    }
    return 0;
}
