// The development player under Xvfb, driven by keys through xdotool, on a
// copy of the source tree: still frames after seeks equal capture's frames
// of the same clock, the sound after a seek is the offline render's from
// that time bit for bit, a saved shader or score is seen or heard within a
// second, a broken one keeps the last good program or song and is reported
// by file and line, and Escape ends it at once with exit code 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/gl/png_support.h"
#include "tests/support/processes.h"
#include "tests/support/sanitizer_build.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kBuild = INTRO_BINARY_DIR;
const std::string kPlayer = kBuild + "/tools/intro_dev";
constexpr uint32_t kRate = 44100;
// A sanitizer build renders and draws many times slower: its runs check the
// threads and the memory of an edit's path, and the time limits stretch. The
// pictures and the sound are the same there, and take minutes to compare:
// those runs are left to the optimised build.
constexpr double kSlower = kSanitizerBuild ? 8.0 : 1.0;
constexpr double kSlowerRender = kSanitizerBuild ? 40.0 : 1.0;

double secondsSince(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// The shaders and the song's source copied to a scratch folder, with a
// folder for the player's pictures; all removed afterwards.
struct SourceCopy {
    const ScratchFolder scratch{"intro_dev_source"};
    const fs::path root = scratch.path();
    SourceCopy() {
        fs::create_directories(root / "data");
        fs::create_directories(root / "shots");
        fs::copy(fs::path(INTRO_SOURCE_DIR) / "shaders", root / "shaders", fs::copy_options::recursive);
        fs::copy(fs::path(INTRO_SOURCE_DIR) / "data/song", root / "data/song", fs::copy_options::recursive);
    }
    std::string path(const std::string& relative) const { return (root / relative).string(); }
    void write(const std::string& relative, const std::string& text) const {
        std::ofstream(root / relative, std::ios::binary) << text;
    }
};

// Occurrences of `text` in `all`.
int count(const std::string& all, const std::string& text) {
    int n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
}

struct Player {
    ChildProcess process;
    Player(const SourceCopy& source, const std::vector<std::string>& arguments, const std::vector<std::string>& env)
        : process(commandLine(source, arguments), env) {}
    static std::vector<std::string> commandLine(const SourceCopy& source, const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {kPlayer, "--source", source.root.string(), "--shots", source.path("shots")};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
    // Waits until stderr holds `text` at least `times` times; false when
    // the player ends or `limit` passes first.
    bool waitFor(const std::string& text, int times = 1, double limit = 60.0) {
        const Clock::time_point began = Clock::now();
        while (secondsSince(began) < limit) {
            if (count(process.errors(), text) >= times) return true;
            if (process.waitExit(std::chrono::milliseconds(0)) != -1) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Presses P (a picture) and returns the path and clock of the picture
    // it wrote, the `n`-th of the run.
    std::pair<std::string, std::string> picture(int n, const char* key = "p") {
        runCommand(std::string("xdotool key ") + key);
        EXPECT_TRUE(waitFor(" written to ", n)) << process.errors();
        const std::string all = process.errors();
        size_t at = 0;
        for (int i = 0; i < n; ++i) at = all.find("picture at clock ", at) + 1;
        const size_t clock = at - 1 + std::strlen("picture at clock ");
        const size_t to = all.find(" written to ", clock);
        const size_t end = all.find('\n', to);
        return {all.substr(to + 12, end - to - 12), all.substr(clock, to - clock)};
    }
    // Escape, held as a person would; the seconds until the player ended.
    double escape() {
        runCommand("xdotool keydown Escape; sleep 0.1; xdotool keyup Escape");
        const Clock::time_point sent = Clock::now();
        const int status = process.waitExit(std::chrono::seconds(20));
        EXPECT_EQ(status, 0) << process.errors();
        return secondsSince(sent);
    }
};

// Pixels of `a` and `b` off by more than 8 of 255 in a channel, as a share.
double differingShare(const std::string& a, const std::string& b) {
    const CommandRun run = runCommand(kBuild + "/tools/picdiff " + a + " " + b + " 8");
    const size_t above = run.output.find("above="), pixels = run.output.find("pixels=");
    EXPECT_TRUE(above != std::string::npos && pixels != std::string::npos) << run.output;
    if (above == std::string::npos || pixels == std::string::npos) return 1.0;
    return std::stod(run.output.substr(above + 6)) / std::stod(run.output.substr(pixels + 7));
}

// The golden pictures' tolerance: at most 0.1 % of the pixels off by more than 8.
constexpr double kGoldenShare = 0.001;

// 16-bit stereo frames of a WAV file's data chunk.
std::vector<int16_t> wavSamples(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            std::vector<int16_t> samples(std::min<size_t>(size, bytes.size() - at - 8) / 2);
            std::memcpy(samples.data(), &bytes[at + 8], samples.size() * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<int16_t> rawSamples(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The frame of `played` at which the render's frames from `from` on start
// and go on for `frames` frames, bit for bit; -1 when there is none.
int64_t findStretch(const std::vector<int16_t>& played, const std::vector<int16_t>& render, int64_t from,
                    int64_t frames) {
    const int64_t playedFrames = int64_t(played.size() / 2);
    if (int64_t(render.size() / 2) < from + frames) return -1;
    for (int64_t k = 0; k + frames <= playedFrames; ++k)
        if (std::memcmp(&played[2 * k], &render[2 * from], size_t(frames) * 4) == 0) return k;
    return -1;
}

// The offline render of the song with the pinned counter, `seconds` long.
std::vector<int16_t> offlineRender(const SourceCopy& source, const char* seconds) {
    const std::string wav = source.path("render.wav");
    const CommandRun run = runCommand(kBuild + "/tools/songrender --seed 1 --seconds " + std::string(seconds) +
                                      " -o " + wav + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    return wavSamples(wav);
}

TEST(IntroDev, StillFramesAfterSeeksInThreeSequencesEqualCapture) {
    if (kSanitizerBuild) GTEST_SKIP() << "compared in the optimised build";
    const SourceCopy source;
    Player player(source, {"--size", "192x108", "--at", "12", "--paused"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(player.waitFor("playing from")) << player.process.errors();
    // Sequence 2 where it started; the cube grid three beats after its start;
    // the tubes a bar after theirs.
    const std::vector<std::vector<const char*>> moves = {
        {}, {"Next", "Right", "Right", "Right"}, {"Next", "shift+Right"}};
    int n = 0;
    for (const auto& keys : moves) {
        for (const char* key : keys) runCommand(std::string("xdotool key ") + key);
        const auto [path, clock] = player.picture(++n);
        const std::string captured = source.path("shots/capture.png");
        const CommandRun run = runCommand("SDL_AUDIODRIVER=dummy " + kBuild + "/tools/capture --time " + clock +
                                          " --size 192x108 -o " + captured + " 2>&1");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_LE(differingShare(path, captured), kGoldenShare) << "clock " << clock;
        std::printf("still frame at clock %s: equals capture's\n", clock.c_str());
    }
    // Picture clocks 0.17 s behind the music: 12 s; three beats after the
    // cube grid's start at 27.45 s; the bar line after the tubes' at 44.40 s.
    const std::string all = player.process.errors();
    for (const char* clock : {"clock 11.829", "clock 28.52", "clock 45.74"})
        EXPECT_NE(all.find(clock), std::string::npos) << clock << " not in\n" << all;
    player.escape();
}

TEST(IntroDev, SoundAfterASeekIsTheOfflineRenderFromThere_AndEscapeEndsAtOnce) {
    if (kSanitizerBuild) GTEST_SKIP() << "compared in the optimised build";
    const SourceCopy source;
    const std::string played = source.path("played.raw");
    Player player(source, {"--size", "96x54", "--at", "40"},
                  {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + played, "SDL_DISKAUDIODELAY=23"});
    ASSERT_TRUE(player.waitFor("seek to 40.000 s heard")) << player.process.errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    const double leaving = player.escape();
    std::printf("ended %.3f s after Escape\n", leaving);
    EXPECT_LT(leaving, 0.5 * kSlower);
    const std::vector<int16_t> render = offlineRender(source, "43");
    const int64_t at = findStretch(rawSamples(played), render, 40 * kRate, kRate);
    EXPECT_GE(at, 0) << "the second of music from 40 s is not in what the player played";
}

TEST(IntroDev, SavedShadersAreSeenWithinASecond_ABrokenOneKeepsTheLastGoodPicture) {
    const SourceCopy source;
    const std::string file = "shaders/cube_grid.frag.glsl";
    const std::string original = readText(source.path(file));
    const size_t close = original.rfind('}');
    ASSERT_NE(close, std::string::npos);
    // Big enough for the overlay's error lines below its five others.
    Player player(source, {"--size", "384x216", "--at", "30", "--paused"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(player.waitFor("song recorded", 1, 60 * kSlowerRender)) << player.process.errors();
    const std::string first = player.picture(1).first;

    // Every pixel magenta.
    Clock::time_point written = Clock::now();
    source.write(file, original.substr(0, close) + "gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0);\n}\n");
    ASSERT_TRUE(player.waitFor("new picture on screen", 1)) << player.process.errors();
    const double seen = secondsSince(written);
    std::printf("edited shader on screen %.3f s after the write\n", seen);
    EXPECT_LT(seen, 1.0 * kSlower);
    const std::string edited = player.picture(2).first;
    EXPECT_GT(differingShare(first, edited), 0.5);

    // A line that is not GLSL, on a known line of the file.
    const int line = 1 + int(std::count(original.begin(), original.begin() + long(close), '\n'));
    written = Clock::now();
    source.write(file, original.substr(0, close) + "this is not glsl;\n}\n");
    ASSERT_TRUE(player.waitFor("did not build")) << player.process.errors();
    EXPECT_LT(secondsSince(written), 1.0 * kSlower);
    EXPECT_NE(player.process.errors().find(file + ":" + std::to_string(line)), std::string::npos)
        << player.process.errors();
    EXPECT_LE(differingShare(edited, player.picture(3).first), kGoldenShare) << "the last good program went away";
    // The overlay shows the error in red (the only red there: the picture
    // is magenta, the rest of the overlay grey).
    const Image window = loadPng(player.picture(4, "shift+p").first);
    ASSERT_EQ(window.width, 384);
    int red = 0;
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            const uint8_t* p = window.at(x, y);
            red += p[0] > 200 && p[1] > 60 && p[1] < 130 && p[2] < 120;
        }
    EXPECT_GT(red, 50) << "no error text in the overlay";

    // Fixed again: the first picture returns.
    source.write(file, original);
    ASSERT_TRUE(player.waitFor("new picture on screen", 2)) << player.process.errors();
    EXPECT_LE(differingShare(first, player.picture(5).first), kGoldenShare);
    player.escape();
}

TEST(IntroDev, ASavedScoreIsHeardWithinASecond_ABrokenOneKeepsTheOldSong) {
    // A sanitizer build renders the song at only a few times real time: there
    // the new song cannot catch up with the position and takes over at once,
    // silent until its render gets there. (It never took over before that.)
    const SourceCopy source;
    const std::string played = source.path("played.raw");
    const std::string score = readText(source.path("data/song/score.txt"));
    const size_t tempo = score.find("tempo 115");
    ASSERT_NE(tempo, std::string::npos);
    // Early in the song: a new song is heard once it is rendered from its
    // start up to the position, which takes longer the later that is.
    Player player(source, {"--size", "96x54", "--at", "8"},
                  {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + played, "SDL_DISKAUDIODELAY=23"});
    ASSERT_TRUE(player.waitFor("seek to 8.000 s heard", 1, 60 * kSlower)) << player.process.errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    std::string faster = score;
    faster.replace(tempo, 9, "tempo 130");
    const Clock::time_point written = Clock::now();
    source.write("data/song/score.txt", faster);
    ASSERT_TRUE(player.waitFor("new song heard", 1, 60 * kSlower)) << player.process.errors();
    const double heard = secondsSince(written);
    std::printf("edited score heard %.3f s after the write\n", heard);
    EXPECT_LT(heard, 1.0 * kSlowerRender);

    // A word the score does not know, on its first line.
    source.write("data/song/score.txt", "nonsense\n" + faster);
    ASSERT_TRUE(player.waitFor("the old song plays on")) << player.process.errors();
    EXPECT_NE(player.process.errors().find("score.txt:1:"), std::string::npos) << player.process.errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    player.escape();

    // Up to the edit the player played the original song from 8 s on; its
    // last half second is the new song, not the old one. (A sanitizer
    // build renders slower than the device plays: its sound has gaps.)
    if (kSlower > 1.0) return;
    const std::vector<int16_t> output = rawSamples(played);
    const std::vector<int16_t> render = offlineRender(source, "18");
    const int64_t at = findStretch(output, render, 8 * kRate, kRate);
    ASSERT_GE(at, 0) << "the original song from 8 s is not in what the player played";
    const int64_t tail = int64_t(output.size() / 2) - kRate / 2;
    const int64_t renderTail = 8 * kRate + (tail - at);
    ASSERT_LT(renderTail + kRate / 2, int64_t(render.size() / 2));
    EXPECT_NE(std::memcmp(&output[2 * tail], &render[2 * renderTail], size_t(kRate / 2) * 4), 0)
        << "the old song still plays after the edit";
}

}  // namespace
