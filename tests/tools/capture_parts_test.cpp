// The parts of the capture tool that need no GL: caption text, contact-sheet
// placement, the time-left estimate and the frames of a video.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/timetable.h"
#include "driver/timeline.h"
#include "tools/capture/contact_sheet.h"
#include "tools/replay/label_font.h"
#include "tools/replay/picture.h"
#include "tools/capture/progress.h"
#include "tools/capture/video.h"

namespace {

const uint8_t kWhite[3] = {255, 255, 255};

bool lit(const Picture& p, int32_t x, int32_t yFromTop) {
    const uint8_t* px = &p.rgba[(size_t(p.height - 1 - yFromTop) * p.width + x) * 4];
    return px[0] == 255 && px[1] == 255 && px[2] == 255;
}

int32_t litInRow(const Picture& p, int32_t yFromTop) {
    int32_t count = 0;
    for (int32_t x = 0; x < p.width; x++) count += lit(p, x, yFromTop);
    return count;
}

TEST(CaptionText, GlyphsAreDrawnUprightInBottomUpImages) {
    // '1' has one pixel in its top row and three in its bottom row; scale 2
    // doubles both ways.
    Picture p{20, 20, std::vector<uint8_t>(20 * 20 * 4, 0)};
    drawLabel(p.rgba.data(), p.width, p.height, 3, 4, "1", 2, kWhite);
    EXPECT_EQ(litInRow(p, 4), 2);
    EXPECT_EQ(litInRow(p, 5), 2);
    EXPECT_EQ(litInRow(p, 4 + 12), 6);
    EXPECT_EQ(litInRow(p, 4 + 13), 6);
    EXPECT_EQ(litInRow(p, 3), 0);
    EXPECT_EQ(litInRow(p, 4 + 14), 0);
    EXPECT_TRUE(lit(p, 3 + 4, 4));  // the top pixel sits in glyph column 2
}

TEST(CaptionText, TextRunningOffEveryEdgeStaysInsideTheImage) {
    // The picture sits between guard bytes that must survive.
    const int32_t w = 13, h = 9, guard = 4096;
    std::vector<uint8_t> memory(size_t(guard) * 2 + size_t(w) * h * 4, 0xA5);
    uint8_t* image = memory.data() + guard;
    std::memset(image, 0, size_t(w) * h * 4);
    for (int32_t x : {-20, -3, 0, 8, 12})
        for (int32_t y : {-9, -4, 0, 5, 8}) drawLabel(image, w, h, x, y, "W#8@M", 3, kWhite);
    for (int32_t i = 0; i < guard; i++) {
        ASSERT_EQ(memory[size_t(i)], 0xA5) << "before the image, byte " << i;
        ASSERT_EQ(memory[size_t(guard) + size_t(w) * h * 4 + size_t(i)], 0xA5) << "after the image, byte " << i;
    }
    EXPECT_GT(std::count(image, image + size_t(w) * h * 4, uint8_t(255)), 0);
}

TEST(CaptionText, LowerCaseAndUnknownCharacters) {
    EXPECT_EQ(glyphRows('a'), glyphRows('A'));
    EXPECT_EQ(glyphRows('z'), glyphRows('Z'));
    EXPECT_EQ(glyphRows('~'), glyphRows('?'));
    EXPECT_EQ(glyphRows('\x80'), glyphRows('?'));
    EXPECT_EQ(labelWidth("", 3), 0);
    EXPECT_EQ(labelWidth("AB", 2), (6 + 5) * 2);
}

// A tile whose top row is red and whose other rows are blue, bottom-up.
Picture markedTile(int32_t width, int32_t height) {
    Picture tile{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 0)};
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            uint8_t* px = &tile.rgba[(size_t(y) * width + x) * 4];
            bool top = y == height - 1;
            px[0] = top ? 255 : 0;
            px[2] = top ? 0 : 255;
            px[3] = 255;
        }
    return tile;
}

const uint8_t* sheetPixel(const Picture& sheet, int32_t x, int32_t yFromTop) {
    return &sheet.rgba[(size_t(sheet.height - 1 - yFromTop) * sheet.width + x) * 4];
}

TEST(ContactSheet, TilesLandInTheirCellsTheRightWayUpWithCaptionsBelow) {
    SheetLayout layout = sheetLayout(64, 36);
    ASSERT_EQ(layout.width, 320);
    ASSERT_EQ(layout.height, 2 * (36 + 11));
    Picture sheet = blackPicture(layout.width, layout.height);
    placeTile(sheet, layout, 6, markedTile(64, 36), 6, 3, 58.01f);  // second row, second column
    const int32_t x0 = 64, top = 36 + 11;
    EXPECT_EQ(sheetPixel(sheet, x0, top)[0], 255);
    EXPECT_EQ(sheetPixel(sheet, x0 + 63, top + 1)[2], 255);
    EXPECT_EQ(sheetPixel(sheet, x0 + 63, top + 35)[2], 255);
    EXPECT_EQ(sheetPixel(sheet, x0 - 1, top)[0], 0);  // the neighbour cell is untouched
    // Caption strip: grey ground with white text.
    int32_t white = 0, ground = 0;
    for (int32_t y = top + 36; y < top + 36 + 11; y++)
        for (int32_t x = x0; x < x0 + 64; x++) {
            const uint8_t* px = sheetPixel(sheet, x, y);
            white += px[0] == 255 && px[1] == 255;
            ground += px[0] == 40;
        }
    EXPECT_GT(white, 20);
    EXPECT_GT(ground, 64 * 11 / 2);
}

TEST(ContactSheet, LongCaptionsStopAtTheirOwnCell) {
    SheetLayout layout = sheetLayout(20, 12);
    Picture sheet = blackPicture(layout.width, layout.height);
    placeTile(sheet, layout, 0, markedTile(20, 12), 2, 1, 18.64f);  // "2 cube field T=18.64"
    for (int32_t y = 0; y < layout.height; y++)
        for (int32_t x = 20; x < layout.width; x++) ASSERT_EQ(sheetPixel(sheet, x, y)[0], 0) << x << "," << y;
}

TEST(ContactSheet, EveryMiddleClockShowsItsOwnSequence) {
    // Stepped frame by frame as the show would, each middle clock must land
    // inside the Sequence's draw window, so no tile comes out black.
    Timeline timeline;
    initTimeline(timeline);
    uint32_t frame = 0;
    for (int32_t s = 0; s < kSheetSequences; s++) {
        float middle = sequenceMiddle(s);
        for (; float(frame) / 60.0f < middle; frame++) stepTimeline(timeline, float(frame) / 60.0f);
        stepTimeline(timeline, middle);
        EXPECT_EQ(timeline.sequence, s);
        EXPECT_TRUE(sceneVisible(timeline)) << "Sequence " << s;
    }
    EXPECT_STREQ(sceneName(kSequences.sceneProgram[7]), "lattice");
    EXPECT_STREQ(sceneName(kSequences.sceneProgram[3]), "cube grid");
    EXPECT_STREQ(sceneName(7), "?");
}

TEST(TimeLeft, EachKindOfFrameIsChargedItsOwnRate) {
    FrameEstimate e;
    EXPECT_LT(secondsLeft(e), 0.0);
    for (int32_t i = 0; i < 12; i++) planFrame(e, 0);
    for (int32_t i = 0; i < 5; i++) planFrame(e, 2);
    finishFrame(e, 0, 0.1);
    finishFrame(e, 0, 0.3);
    finishFrame(e, 2, 1.0);
    // 10 flag frames at 0.2 s and 4 lattice frames at 1 s.
    EXPECT_NEAR(secondsLeft(e), 10 * 0.2 + 4 * 1.0, 1e-9);
    EXPECT_TRUE(estimateMeasured(e));
}

TEST(TimeLeft, UntimedKindsBorrowTheOverallRateAndSaySo) {
    FrameEstimate e;
    for (int32_t i = 0; i < 4; i++) planFrame(e, kBlackFrame);
    for (int32_t i = 0; i < 3; i++) planFrame(e, 1);
    finishFrame(e, kBlackFrame, 0.01);
    finishFrame(e, kBlackFrame, 0.03);
    EXPECT_FALSE(estimateMeasured(e));
    EXPECT_NEAR(secondsLeft(e), 2 * 0.02 + 3 * 0.02, 1e-9);
    finishFrame(e, 9, 5.0);  // unknown kinds are ignored
    EXPECT_NEAR(secondsLeft(e), 2 * 0.02 + 3 * 0.02, 1e-9);
}

TEST(TimeLeft, ProgressLine) {
    char line[256];
    formatProgress(line, sizeof(line), 50, 100, 65.0, 3600.0, true, 10);
    EXPECT_STREQ(line, "[#####.....] 50/100 frames  0.77 frames/s  1:05 elapsed  about 1:00:00 left");
    formatProgress(line, sizeof(line), 1, 3, 0.4, -1.0, false, 4);
    EXPECT_STREQ(line, "[#...] 1/3 frames  2.50 frames/s  0:00 elapsed  left unknown");
    formatProgress(line, sizeof(line), 3, 3, 2.0, 0.2, false, 4);
    EXPECT_STREQ(line, "[####] 3/3 frames  1.50 frames/s  0:02 elapsed  about 0:00 left so far");
    // A tiny buffer is cut short, never overrun.
    char small[8];
    std::memset(small, 'x', sizeof(small));
    formatProgress(small, 6, 1, 2, 0.0, 1.0, true, 100);
    EXPECT_EQ(std::strlen(small), 5u);
    EXPECT_EQ(small[7], 'x');
}

TEST(VideoFrames, TheWholeShowEndsWithTheFrameThatReaches115Seconds) {
    VideoOptions whole;
    EXPECT_EQ(videoFrameCount(whole), 6901);  // clocks 0 .. 115.0 at 60 per second
    whole.from = -0.17f;
    int32_t count = videoFrameCount(whole);
    EXPECT_GE(videoFrameClock(whole, count - 1), 115.0f);
    EXPECT_LT(videoFrameClock(whole, count - 2), 115.0f);
    whole.fps = 24;
    whole.from = 100.0f;
    count = videoFrameCount(whole);
    EXPECT_GE(videoFrameClock(whole, count - 1), 115.0f);
    EXPECT_LT(videoFrameClock(whole, count - 2), 115.0f);
}

TEST(VideoFrames, ClocksMatchTheReplaysSixtiethsAndLengthsRound) {
    VideoOptions v;
    for (int32_t i : {0, 1, 59, 1607, 6900}) EXPECT_EQ(videoFrameClock(v, i), float(i) / 60.0f) << i;
    v.seconds = 1.0f;
    EXPECT_EQ(videoFrameCount(v), 60);
    v.fps = 25;
    v.seconds = 0.5f;
    EXPECT_EQ(videoFrameCount(v), 13);  // 12.5 rounds up
}

TEST(VideoFrames, ASegmentsFramesAreTheShowsFramesOfTheSameIndex) {
    VideoOptions whole, segment;
    whole.fps = segment.fps = 24;
    segment.first = 1000;
    segment.last = 1099;
    EXPECT_TRUE(videoIsSegment(segment));
    EXPECT_FALSE(videoIsSegment(whole));
    EXPECT_EQ(videoFrameCount(segment), 100);
    // Bit for bit the clock the single run gives the same frame.
    for (int32_t i : {0, 1, 57, 99}) EXPECT_EQ(videoFrameClock(segment, i), videoFrameClock(whole, 1000 + i)) << i;
    EXPECT_EQ(lastShowFrame(60), 6900);
    EXPECT_EQ(lastShowFrame(10), 1150);
    EXPECT_EQ(lastShowFrame(24), 2760);
    EXPECT_EQ(lastShowFrame(7), 805);  // 115 * 7 = 805 exactly: that frame is the last
}

TEST(VideoFrames, FrameRangesAreWholeAndInsideTheShow) {
    const struct {
        const char* text;
        bool ok;
        int32_t first, last;
    } cases[] = {
        {"0-1150", true, 0, 1150}, {"7-7", true, 7, 7},     {"1150-1150", true, 1150, 1150},
        {"5-4", false, 0, 0},      {"0-1151", false, 0, 0}, {"-1-3", false, 0, 0},
        {"3", false, 0, 0},        {"3-", false, 0, 0},     {"-3", false, 0, 0},
        {"", false, 0, 0},         {"1-2-3", false, 0, 0},  {" 1-2", false, 0, 0},
        {"1-0x10", false, 0, 0},   {"99999999999999-1", false, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t first = -1, last = -1;
        EXPECT_EQ(parseFrameRange(c.text, 1150, first, last), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(first, c.first) << c.text;
            EXPECT_EQ(last, c.last) << c.text;
        }
    }
}

TEST(VideoFrames, SongFileSitsBesideTheVideo) {
    EXPECT_EQ(songPathFor("show.mp4"), "show.wav");
    EXPECT_EQ(songPathFor("out/show.v2.mkv"), "out/show.v2.wav");
    EXPECT_EQ(songPathFor("out.d/show"), "out.d/show.wav");
    EXPECT_EQ(songPathFor("show"), "show.wav");
}

}  // namespace
