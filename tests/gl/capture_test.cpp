// The capture tool as a user runs it (under Xvfb with Mesa): the contact
// sheet's size and tiles, identical frames from identical seeds, and a short
// video with the right number of frames and a sound track.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>


#include "tests/gl/png_support.h"
#include "tests/support/processes.h"

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
        const char* base = getenv("TMPDIR");
        folder_ = std::string(base && *base ? base : "/tmp") + "/capture_test_XXXXXX";
        ASSERT_NE(mkdtemp(folder_.data()), nullptr);
    }
    static void TearDownTestSuite() { runCommand("rm -rf '" + folder_ + "'"); }
    static std::string path(const std::string& name) { return folder_ + "/" + name; }
    static std::string folder_;
};
std::string CaptureTest::folder_;

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

TEST_F(CaptureTest, BadArgumentsAreRefusedWithTheUsage) {
    for (const char* arguments : {"--video x.mp4 --size 65x36", "--video x.mp4 --from -1", "--contact-sheet",
                                  "--time 1 --size 0x10 -o f.png", "--timings --frames 0", "--timings --seed -3",
                                  "--timings --seed ''", "--timings --size 64x36x"}) {
        CommandRun run = capture(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.output.find("usage"), std::string::npos) << arguments;
    }
}

}  // namespace
