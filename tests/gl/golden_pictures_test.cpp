// Golden pictures: the capture tool's contact sheet (one frame from the middle
// of every Sequence, with captions) and one frame inside the black gap between
// Sequences 1 and 2, drawn small, against reference PNGs kept in
// tests/gl/golden/. They catch what no figure-based test sees: a colour
// helper with two channels swapped in one hue sector, a scene whose march
// budget or ripple depth changed, a scene drawn where the timetable wants
// black.
//
// Tolerance: a pixel counts as changed when one of its channels differs by
// more than kChannelTolerance, and a picture passes with at most
// kChangedShare of its pixels changed. That absorbs the rasteriser's rounding
// (another Mesa version or CPU moves an edge pixel or a channel by a step or
// two), not a change anyone would see.
//
// To rewrite the references after an intended change of the pictures (or of
// the song, which the cube grid and the note grid follow), run
//   INTRO_UPDATE_GOLDEN=1 ctest --test-dir build -R gl_golden_pictures_test
// and look at the PNGs in tests/gl/golden/ before committing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/gl/png_support.h"
#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kCapture = INTRO_BINARY_DIR "/tools/capture";
const std::string kGolden = INTRO_SOURCE_DIR "/tests/gl/golden/";
constexpr int kChannelTolerance = 8;    // of 255
constexpr double kChangedShare = 0.001;  // 0.1 % of the pixels

bool updating() {
    const char* update = std::getenv("INTRO_UPDATE_GOLDEN");
    return update != nullptr && update[0] != '\0' && update[0] != '0';
}

class GoldenPictures : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new ScratchFolder("golden_pictures");
        ASSERT_TRUE(folder_->made());
    }
    static void TearDownTestSuite() { delete folder_; }

    // Captures with `arguments` into a scratch PNG and compares it with the
    // reference `name`, or with INTRO_UPDATE_GOLDEN set writes it there.
    void expectLikeReference(const std::string& arguments, const std::string& name) {
        const std::string actual = folder_->path(name);
        const CommandRun run = runCommand(kCapture + " " + arguments + " '" + actual + "' 2>&1");
        ASSERT_EQ(run.status, 0) << run.output;
        const std::string reference = kGolden + name;
        if (updating()) {
            ASSERT_EQ(runCommand("cp '" + actual + "' '" + reference + "'").status, 0);
            std::printf("rewrote %s: look at it before committing\n", reference.c_str());
            return;
        }
        const Image want = loadPng(reference);
        const Image got = loadPng(actual);
        ASSERT_GT(want.width, 0) << "no reference " << reference << " (INTRO_UPDATE_GOLDEN=1 writes it)";
        ASSERT_EQ(got.width, want.width) << name;
        ASSERT_EQ(got.height, want.height) << name;
        size_t changed = 0;
        int largest = 0;
        for (size_t p = 0; p < want.rgb.size(); p += 3) {
            int worst = 0;
            for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(got.rgb[p + c]) - int(want.rgb[p + c])));
            largest = std::max(largest, worst);
            changed += worst > kChannelTolerance;
        }
        const size_t pixels = want.rgb.size() / 3;
        EXPECT_LE(double(changed), kChangedShare * double(pixels))
            << name << ": " << changed << " of " << pixels << " pixels changed (largest channel step " << largest
            << "); the actual picture is " << actual << " until the test ends";
        if (HasFailure()) {
            // Keep the evidence where a person can find it after the run.
            runCommand("cp '" + actual + "' '" + std::string(INTRO_BINARY_DIR) + "/golden_actual_" + name + "'");
        }
    }

    static ScratchFolder* folder_;
};
ScratchFolder* GoldenPictures::folder_;

TEST_F(GoldenPictures, TheContactSheetLooksAsItDid) {
    expectLikeReference("--size 96x54 --contact-sheet", "contact_sheet.png");
}

TEST_F(GoldenPictures, TheBlackGapAfterTheFlagStaysBlack) {
    // 5 s: Sequence 1 (the flag) stops drawing at 4.1 s, Sequence 2 starts at
    // 7.2 s; the frame path runs (uniforms, textures, clear) but draws nothing.
    expectLikeReference("--time 5 --size 96x54 -o", "black_gap.png");
}

}  // namespace
