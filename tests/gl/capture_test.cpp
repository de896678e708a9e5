// The capture tool as a user runs it (under Xvfb with Mesa): the contact
// sheet's size and tiles, identical frames from identical seeds, a short
// video with the right number of frames and a sound track, values refused by
// name, failed writes and signals that leave no file behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>


#include "tests/gl/png_support.h"
#include "tests/support/processes.h"
#include "tests/support/sanitizer_build.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kCapture = INTRO_BINARY_DIR "/tools/capture";

// The capture tool run to its end; its stdout and stderr.
CommandRun capture(const std::string& arguments) {
    return runCommand(kCapture + " " + arguments + " 2>&1");
}

// A scratch folder for one test program, removed with its files at the end.
class CaptureTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new ScratchFolder("capture_test");
        ASSERT_TRUE(folder_->made());
    }
    static void TearDownTestSuite() { delete folder_; }
    static std::string path(const std::string& name) { return folder_->path(name); }
    static ScratchFolder* folder_;
};
ScratchFolder* CaptureTest::folder_;

TEST_F(CaptureTest, ContactSheetHasOneLitTileAndCaptionPerSequence) {
    const std::string sheet = path("sheet.png");
    CommandRun run = capture("--contact-sheet " + sheet + " --size 64x36");
    ASSERT_EQ(run.status, 0) << run.output;
    Image image = loadPng(sheet);
    // Five tiles of 64 x 36 per row, two rows, each with an 11-pixel caption.
    ASSERT_EQ(image.width, 5 * 64);
    ASSERT_EQ(image.height, 2 * (36 + 11));
    for (int tile = 0; tile < 10; tile++) {
        int x0 = tile % 5 * 64, y0 = tile / 5 * 47;
        int bright = 0, white = 0;
        for (int y = y0; y < y0 + 36; y++)
            for (int x = x0; x < x0 + 64; x++) {
                const uint8_t* px = image.at(x, y);
                bright += px[0] > 40 || px[1] > 40 || px[2] > 40;
            }
        for (int y = y0 + 36; y < y0 + 47; y++)
            for (int x = x0; x < x0 + 64; x++) white += image.at(x, y)[0] == 255;
        // Even the icon, a small figure on black, covers a dozen pixels here.
        EXPECT_GE(bright, 12) << "tile " << tile << " is black";
        EXPECT_GE(white, 20) << "tile " << tile << " has no caption";
    }
}

TEST_F(CaptureTest, SameSeedGivesTheSameFileTwice) {
    // 35.76 s: the cube grid, whose cubes the note peaks push around, so the
    // music replay feeds into the picture.
    const std::string first = path("first.png"), second = path("second.png");
    ASSERT_EQ(capture("--time 35.76 --seed 7 --size 96x54 -o " + first).status, 0);
    ASSERT_EQ(capture("--time 35.76 --seed 7 --size 96x54 -o " + second).status, 0);
    std::vector<uint8_t> a = readBytes(first), b = readBytes(second);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b);
    Image image = loadPng(first);
    ASSERT_EQ(image.width, 96);
    int bright = 0;
    for (size_t i = 0; i < image.rgb.size(); i++) bright += image.rgb[i] > 40;
    EXPECT_GT(bright, 96 * 54 / 4);  // a real picture, not a black frame twice
}

TEST_F(CaptureTest, OneSecondVideoHasSixtyFramesAndTheSong) {
    const std::string video = path("clip.mp4");
    CommandRun run = capture("--video " + video + " --size 64x36 --from 8 --seconds 1");
    ASSERT_EQ(run.status, 0) << run.output;
    CommandRun probe = runCommand("ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames "
                                  "-of csv=p=0 '" + video + "' 2>&1");
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("video,60"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("audio"), std::string::npos) << probe.output;
    // The song beside it: one second of 16-bit stereo, and not silence.
    std::vector<uint8_t> wav = readBytes(path("clip.wav"));
    ASSERT_EQ(wav.size(), 44u + 44100u * 4u);
    size_t loud = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2) {
        int16_t sample = int16_t(wav[i] | wav[i + 1] << 8);
        loud += sample > 1000 || sample < -1000;
    }
    EXPECT_GT(loud, 1000u);
    EXPECT_NE(access((video + ".pictures.mkv").c_str(), F_OK), 0) << "the intermediate file was left behind";
}

// The decoded frames of a video, one MD5 per frame, in order.
std::vector<std::string> frameHashes(const std::string& video) {
    CommandRun run =
        runCommand("ffmpeg -v error -i '" + video + "' -f framemd5 - | grep -v '^#' | awk -F, '{print $6}'");
    std::vector<std::string> hashes;
    size_t start = 0;
    for (size_t end; (end = run.output.find('\n', start)) != std::string::npos; start = end + 1)
        hashes.push_back(run.output.substr(start, end - start));
    return hashes;
}

TEST_F(CaptureTest, ASegmentDecodesToTheSameFramesAsALongerRun) {
    // 24 frames a second do not fall on the replay's sixtieths, so every
    // earlier frame is a note-feed step of its own; the cube grid at 29 s
    // shows the feed. A segment must take those steps as the longer run did.
    const std::string longer = path("longer.mkv"), segment = path("segment.mkv");
    CommandRun a = capture("--video " + longer + " --frames 700-712 --fps 24 --size 64x36");
    ASSERT_EQ(a.status, 0) << a.output;
    EXPECT_NE(a.output.find("frames 700-712 [##########] 13/13 frames"), std::string::npos) << a.output;
    ASSERT_EQ(capture("--video " + segment + " --frames 708-712 --fps 24 --size 64x36").status, 0);
    std::vector<std::string> whole = frameHashes(longer), part = frameHashes(segment);
    ASSERT_EQ(whole.size(), 13u);
    ASSERT_EQ(part.size(), 5u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 8));
    EXPECT_NE(whole[8], whole[9]) << "the frames do not move: nothing is compared";
    CommandRun probe = runCommand("ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 '" +
                                  segment + "' 2>&1");
    EXPECT_EQ(probe.output, "ffv1,video\n");
}

TEST_F(CaptureTest, SceneFramesCoverTheShowInRunsOfOneScene) {
    CommandRun run = runCommand(kCapture + " --scene-frames --fps 10");
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> scenes;
    int next = 0;
    for (size_t start = 0, end; (end = run.output.find('\n', start)) != std::string::npos; start = end + 1) {
        int first = -1, last = -1;
        char scene[32] = {};
        const std::string line = run.output.substr(start, end - start);
        ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %31[a-z ]", &first, &last, scene), 3) << line;
        EXPECT_EQ(first, next);
        EXPECT_LE(first, last);
        next = last + 1;
        scenes.push_back(scene);
        // The cube grid's window is 27.28 to 44.23 s: frames 273 to 442.
        if (scenes.back() == "cube grid") {
            EXPECT_EQ(first, 273);
            EXPECT_EQ(last, 442);
        }
    }
    EXPECT_EQ(next, 1151);
    for (const char* scene : {"flag", "cube field", "cube grid", "tubes", "lattice", "black"})
        EXPECT_NE(std::find(scenes.begin(), scenes.end(), scene), scenes.end()) << scene;
}

TEST_F(CaptureTest, BadArgumentsAreRefusedWithTheUsage) {
    for (const char* arguments : {"--video x.mp4 --size 65x36", "--video x.mp4 --from -1", "--contact-sheet",
                                  "--time 1 --size 0x10 -o f.png", "--timings --frames 0", "--timings --seed -3",
                                  "--timings --seed ''", "--timings --size 64x36x"}) {
        CommandRun run = capture(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.output.find("usage"), std::string::npos) << arguments;
    }
}

TEST_F(CaptureTest, EachRefusedValueIsNamedWithItsRange) {
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"--time inf -o f.png", "--time wants a number from 0 to 115, not 'inf'"},
        {"--time 1e9 -o f.png", "--time wants a number from 0 to 115"},
        {"--time 1 -o f.png --seed 99999999999999999999", "--seed wants a whole number from 0 to"},
        {"--time 1 -o f.png --seed ' -1'", "--seed wants a whole number from 0 to"},
        {"--timings --fps 0", "--fps wants a whole number from 1 to 240, not '0'"},
        {"--video x.mp4 --seconds 1000", "--seconds wants a number from 0 to 115.17"},
        {"--time 1 --size 9000x10 -o f.png", "--size wants WIDTHxHEIGHT, each from 1 to 8192"},
        {"--loading 7 -o f.png", "--loading wants a whole number from 1 to 6, not '7'"},
        {"--timings --loud", "unknown option --loud"},
        {"--timings --loud 3", "unknown option --loud"},
        {"--timings --frames", "--frames needs a value"},
        {"--video s.mkv --frames 0-1151 --fps 10", "--frames wants FIRST-LAST, 0 <= FIRST <= LAST <= 1150 at 10"},
        {"--video s.mkv --frames 9-3", "--frames wants FIRST-LAST, 0 <= FIRST <= LAST <= 6900 at 60"},
        {"--video s.mkv --frames 0-9 --from 3", "no --from or --seconds with it"},
        {"--time 1 -o f.png --seed 4294967296", "--seed wants a whole number from 0 to 4294967295"},
        // Contradictions: two modes, two outputs, an output with no use.
        {"--contact-sheet s.png -o other.png", "-o other.png: the output is already named"},
        {"--time 1 --loading 2 -o f.png", "--loading cannot be combined with another of"},
        {"--video v.mp4 --contact-sheet s.png", "--contact-sheet cannot be combined"},
        {"--timings -o t.txt", "--timings and --scene-frames write no file"},
        {"--scene-frames --timings", "--timings cannot be combined"},
        {"--video v.wav", "the video cannot be one"},
        {"--video v.mp4 -o v.wav", "the output is already named"},
        // 4 GiB of sheet would be held in memory.
        {"--contact-sheet s.png --size 8192x8192", "2735 MiB; at most 1024 MiB is held"},
    };
    for (const auto& c : cases) {
        CommandRun run = capture(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << ": " << run.output;
    }
}

TEST_F(CaptureTest, HelpIsTheUsageOnStdout) {
    const CommandRun help = runCommand(kCapture + " --help 2>/dev/null");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: capture", 0), 0u) << help.output;
}

// An encoder that exits with 0 having written nothing: the run fails, says
// so, and leaves no file (a real ffprobe looks at what was written).
TEST_F(CaptureTest, AVideoIsReportedOnlyOnceItHoldsAVideo) {
    ASSERT_EQ(runCommand("mkdir -p " + path("fake") + " && printf '#!/bin/sh\\ncat >/dev/null\\nexit 0\\n' > " +
                         path("fake/ffmpeg") + " && chmod +x " + path("fake/ffmpeg"))
                  .status,
              0);
    for (const char* sound : {"--silent", ""}) {
        const CommandRun run = runCommand("PATH=" + path("fake") + ":$PATH " + kCapture + " --video " +
                                          path("nf.mp4") + " --size 32x18 --seconds 0.1 " + sound + " 2>&1");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_EQ(run.output.find("wrote"), std::string::npos) << run.output;
        EXPECT_EQ(runCommand("ls -A " + folder_->path() + " | grep nf").output, "") << sound;
    }
}

TEST_F(CaptureTest, AFailedWriteFailsTheRun) {
    CommandRun full = capture("--time 1 --size 32x18 --silent -o /dev/full");
    EXPECT_EQ(full.status, 1) << full.output;
    EXPECT_NE(full.output.find("writing /dev/full: No space left on device"), std::string::npos) << full.output;
    struct stat device;
    ASSERT_EQ(stat("/dev/full", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode)) << "the device was removed";
    CommandRun missing = capture("--time 1 --size 32x18 --silent -o " + path("missing/f.png"));
    EXPECT_EQ(missing.status, 1) << missing.output;
}

// About a second; a sanitizer build on a loaded machine took up to 2.9 s
// here between the signal and the end of its process.
constexpr double kStopSeconds = kSanitizerBuild ? 5.0 : 1.0;

TEST_F(CaptureTest, StopSignalsStopEveryModeWithinASecondAndRemoveItsFiles) {
    // Big pictures keep each mode busy for many seconds (one cube-grid frame
    // at 6400 x 3600 takes about 8 s here; at 3200 x 1800, since the grid got
    // faster, 2.4 s, too close to the signal); the signal comes once the
    // first frames are under way.
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> files;
        int signal;
    } cases[] = {
        // Names of their own: other tests of this suite leave their files in the folder.
        {{"--time", "30", "--size", "6400x3600", "-o", path("stopped.png")}, {path("stopped.png")}, SIGINT},
        {{"--contact-sheet", path("stopped_sheet.png"), "--size", "1600x900"}, {path("stopped_sheet.png")}, SIGQUIT},
        {{"--timings", "--size", "1600x900"}, {}, SIGUSR1},
        {{"--video", path("stopped.mp4"), "--seconds", "60"},
         {path("stopped.mp4"), path("stopped.mp4.pictures.mkv"), path("stopped.wav")},
         SIGHUP},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {kCapture};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ChildProcess run(arguments, {});
        ASSERT_GT(run.pid, 0);
        usleep(2500000);
        ASSERT_EQ(run.waitExit(std::chrono::milliseconds(0)), -1) << c.arguments[0] << " ended early: " << run.errors();
        kill(run.pid, c.signal);
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(run.waitExit(std::chrono::milliseconds(3000)), 128 + c.signal) << c.arguments[0];
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), kStopSeconds)
            << c.arguments[0];
        for (const std::string& file : c.files) EXPECT_NE(access(file.c_str(), F_OK), 0) << file << " was left";
        // Nor a temporary file of theirs (hidden, named after the output).
        EXPECT_EQ(runCommand("ls -A " + folder_->path() + " | grep stopped").output, "") << c.arguments[0];
    }
    // This folder's encoder only (the bracket keeps pgrep's own shell from matching).
    EXPECT_NE(runCommand("pgrep -f '[f]fmpeg.*" + folder_->path() + "'").status, 0) << "an encoder outlived the capture";
}

}  // namespace
