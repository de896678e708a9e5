// songrender: renders the song through the intro's own Synth and block
// renderer into a 16-bit stereo WAV file, as fast as the machine allows.
//
//   songrender -o song.wav [--song FILE] [--seconds S] [--seed N] [--spectrogram FILE.png]
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/song.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "synth/song_format.h"
#include "synth/synth.h"
#include "tools/common/arguments.h"
#include "tools/common/child_process.h"
#include "tools/common/output_file.h"
#include "tools/common/tool_exit.h"

namespace {

struct Options {
    const char* output = nullptr;
    const char* song = nullptr;
    const char* spectrogram = nullptr;
    double seconds = kShowEnd;
    bool seeded = false;
    uint64_t seed = 0;
};

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: songrender -o song.wav [--song FILE] [--seconds S] [--seed N] [--spectrogram FILE.png]\n"
                 "  -o FILE            16-bit stereo 44.1 kHz WAV to write\n"
                 "  --song FILE        song data in the intro's format instead of the built-in song\n"
                 "  --seconds S        length to render (default 115, the show)\n"
                 "  --seed N           pin the counter to N: the same N gives the same file\n"
                 "  --spectrogram PNG  also draw the song's spectrogram (needs sox)\n");
}

// An hour is far beyond any song; the limit keeps the block count sane.
constexpr double kMostSeconds = 3600.0;
// Exit code 2 and a message for a command line that makes no sense.
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            std::exit(0);
        }
        const bool known = arg == "-o" || arg == "--song" || arg == "--spectrogram" || arg == "--seconds" ||
                           arg == "--seed";
        if (!known) {
            std::fprintf(stderr, "songrender: unknown option %s\n", arg.c_str());
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "songrender: %s needs a value\n", arg.c_str());
            return false;
        }
        const char* value = argv[++i];
        if (arg == "-o") {
            options.output = value;
        } else if (arg == "--song") {
            options.song = value;
        } else if (arg == "--spectrogram") {
            options.spectrogram = value;
        } else if (arg == "--seconds") {
            if (!parseReal(value, 0.0, kMostSeconds, options.seconds) || !(options.seconds > 0.0)) {
                std::fprintf(stderr, "songrender: --seconds wants a number above 0 and at most 3600, not '%s'\n",
                             value);
                return false;
            }
        } else {
            if (!parseSeed("songrender", value, options.seed)) return false;
            options.seeded = true;
        }
    }
    if (options.output == nullptr) {
        std::fprintf(stderr, "songrender: no output file (-o song.wav)\n");
        return false;
    }
    return true;
}

// The whole file, or false with a message. Nothing longer than the largest
// song the layout can describe is read: /dev/zero or a wrong path to a
// film would otherwise be read until memory runs out.
bool readSongFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "songrender: cannot open song file %s: %s\n", path, std::strerror(errno));
        return false;
    }
    struct stat info;
    const bool tooLarge = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
                          uint64_t(info.st_size) > kLargestSongBytes;
    bool failed = false;
    if (!tooLarge) {
        uint8_t buffer[65536];
        size_t got;
        // One byte more than a song can hold tells "too large" from "just fits".
        while (bytes.size() <= kLargestSongBytes &&
               (got = std::fread(buffer, 1, std::min(sizeof(buffer), size_t(kLargestSongBytes + 1 - bytes.size())),
                                 file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        failed = std::ferror(file) != 0;
    }
    std::fclose(file);
    if (tooLarge || bytes.size() > kLargestSongBytes) {
        std::fprintf(stderr, "songrender: %s is larger than the largest song (%llu bytes): not a song\n", path,
                     (unsigned long long)kLargestSongBytes);
        return false;
    }
    if (failed) {
        std::fprintf(stderr, "songrender: cannot read song file %s\n", path);
        return false;
    }
    return true;
}

// A bar on stderr, redrawn when the whole percent changes.
void showProgress(uint64_t done, uint64_t total, int& shownPercent) {
    const int percent = int(done * 100 / total);
    if (percent == shownPercent) return;
    shownPercent = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < percent * kWidth / 100 ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// sox draws the spectrogram into a temporary file beside the picture. sox
// can print a failure ("sox FAIL ...") and still exit with 0, so its messages
// are read as well, and the picture must hold bytes before it takes the
// target's place.
bool drawSpectrogram(const char* wav, const char* png) {
    OutputFile out;
    if (!openOutput("songrender", png, out)) return false;
    const char* argv[] = {"sox", wav, "-n", "spectrogram", "-t", wav, "-o", outputWritePath(out)};
    std::string messages;
    const bool exited = runChildCollecting("songrender", {std::begin(argv), std::end(argv)}, messages, true);
    if (!messages.empty()) std::fputs(messages.c_str(), stderr);
    if (exited && messages.find("FAIL") == std::string::npos && fileHasBytes(outputWritePath(out)))
        return commitOutput(out);
    std::fprintf(stderr, "songrender: sox could not draw the spectrogram %s\n", png);
    abandonOutput(out);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    installStopHandlers();
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    if (!refuseSameFiles("songrender", {options.song}, {options.output, options.spectrogram})) return 2;
    setFloatMode(kMainFloatMode);
    if (options.seeded) pinCounter(options.seed);

    std::vector<uint8_t> songFile;
    const uint8_t* song = kSong;
    uint32_t songSize = kSongSize;
    if (options.song != nullptr) {
        if (!readSongFile(options.song, songFile)) return 1;
        if (songFile.empty()) {
            std::fprintf(stderr, "songrender: %s is empty: not a song\n", options.song);
            return 1;
        }
        song = songFile.data();
        songSize = uint32_t(songFile.size());
    }

    static Synth synth;  // about 350 KiB: kept off the stack
    if (!prepareSynth(synth, song, songSize)) {
        std::fprintf(stderr, "songrender: %s does not load as a song (bad or cut-off song data); nothing written\n",
                     options.song != nullptr ? options.song : "the built-in song");
        return 1;
    }

    // Opened only once the song loaded: a bad song leaves no file behind.
    SF_INFO format{};
    format.samplerate = int(kSampleRate);
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    OutputFile out;
    if (!openOutput("songrender", options.output, out)) return 1;
    SNDFILE* wav = sf_open_fd(out.fd, SFM_WRITE, &format, SF_FALSE);
    if (wav == nullptr) {
        std::fprintf(stderr, "songrender: cannot write %s: %s\n", options.output, sf_strerror(nullptr));
        abandonOutput(out);
        return 1;
    }

    // Whole blocks, enough to cover the requested length.
    const uint64_t blocks = uint64_t(std::ceil(options.seconds * kSampleRate / kBlockFrames));
    const bool progress = isatty(STDERR_FILENO) != 0;
    int shownPercent = -1;
    int32_t peak = 0;
    uint64_t clipped = 0;  // samples at the 16-bit limits, where the master stage clips
    bool writeFailed = false;
    const auto began = std::chrono::steady_clock::now();

    start(synth, 0.0f);
    for (uint64_t b = 0; b < blocks; ++b) {
        const int16_t* out = nullptr;
        renderBlock(synth, &out);
        if (out == nullptr) {  // cannot happen to a started Synth with a sample rate
            std::fprintf(stderr, "songrender: the Synth rendered no block\n");
            writeFailed = true;
            break;
        }
        for (uint32_t i = 0; i < kBlockFrames * 2; ++i) {
            const int32_t sample = out[i];
            peak = std::max(peak, sample < 0 ? -sample : sample);
            clipped += sample == 32767 || sample == -32768;
        }
        if (sf_write_short(wav, out, kBlockFrames * 2) != sf_count_t(kBlockFrames * 2)) {
            std::fprintf(stderr, "songrender: writing %s failed: %s\n", options.output, sf_strerror(wav));
            writeFailed = true;
            break;
        }
        if (progress) showProgress(b + 1, blocks, shownPercent);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    // The header's sizes are written at close: a failure there is a failure
    // of the whole file.
    if (sf_close(wav) != 0) {
        std::fprintf(stderr, "songrender: finishing %s failed\n", options.output);
        writeFailed = true;
    }
    if (writeFailed) {
        std::fprintf(stderr, "songrender: nothing written to %s\n", options.output);
        abandonOutput(out);
        return 1;
    }
    if (!commitOutput(out)) return 1;

    const double rendered = double(blocks * kBlockFrames) / kSampleRate;
    char peakText[32];
    if (peak == 0)
        std::snprintf(peakText, sizeof(peakText), "-inf");
    else
        std::snprintf(peakText, sizeof(peakText), "%.2f", 20.0 * std::log10(double(peak) / 32768.0));
    std::printf("songrender: %.2f s rendered in %.2f s (%.1fx real time), peak %s dBFS, %" PRIu64
                " clipped samples -> %s\n",
                rendered, wall, wall > 0.0 ? rendered / wall : 0.0, peakText, clipped, options.output);
    std::fflush(stdout);

    // A spectrogram asked for and not made fails the run; the WAV stays, it is whole.
    if (options.spectrogram != nullptr && !drawSpectrogram(options.output, options.spectrogram)) return 1;
    return 0;
}
