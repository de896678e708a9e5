// The palette images as data (format, palettes, what the pictures must hold)
// and their expansion into RGBA for the palette textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "data/palette_images.h"
#include "data/timetable.h"
#include "render/loading_screen.h"
#include "render/palette_textures.h"
#include "render/programs.h"
#include "runtime/memory.h"

namespace {

// Index of image `image` at column x of the picture's row y, counted from the top.
uint8_t indexFromTop(int32_t image, int32_t x, int32_t y) {
    int32_t width = paletteImage.widths[image];
    int32_t height = paletteImage.heights[image];
    return paletteImage.indices[image][(height - 1 - y) * width + x];
}

}  // namespace

TEST(PaletteImages, FormatSizesAndSamplerNames) {
    EXPECT_EQ(paletteImage.widths[0], 400);
    EXPECT_EQ(paletteImage.heights[0], 117);
    EXPECT_EQ(paletteImage.widths[1], 163);
    EXPECT_EQ(paletteImage.heights[1], 199);
    EXPECT_STREQ(paletteImage.samplerNames[0], "frites");
    EXPECT_STREQ(paletteImage.samplerNames[1], "prout");
    for (int32_t image = 0; image < 2; image++) {
        std::set<int> used;
        int32_t count = paletteImage.widths[image] * paletteImage.heights[image];
        for (int32_t i = 0; i < count; i++) used.insert(paletteImage.indices[image][i]);
        // Every index used lies in the 183 entries the palette fills; the
        // entries beyond are all zero.
        EXPECT_LT(*used.rbegin(), 183) << "image " << image;
        for (int32_t e = 183; e < 256; e++)
            for (int32_t c = 0; c < 4; c++) ASSERT_EQ(paletteImage.palettes[image][e][c], 0) << image << ":" << e;
        for (int32_t e = 0; e < 183; e++) {
            uint8_t alpha = paletteImage.palettes[image][e][3];
            if (image == 0) {
                ASSERT_EQ(alpha, 255) << "caption entry " << e;
            } else {
                ASSERT_TRUE(alpha == 0 || alpha == 255) << "icon entry " << e;
            }
        }
    }
}

TEST(PaletteImages, CaptionIsWhiteGreyAntiAliasedTextOnBlack) {
    int32_t black = 0, white = 0, grey = 0;
    for (int32_t i = 0; i < 400 * 117; i++) {
        const uint8_t* entry = paletteImage.palettes[0][paletteImage.indices[0][i]];
        ASSERT_TRUE(entry[0] == entry[1] && entry[1] == entry[2]) << "pixel " << i << " is coloured";
        if (entry[0] == 0) black++;
        else if (entry[0] == 255) white++;
        else grey++;
    }
    // Mostly ground, a good share of ink, and soft edges between them.
    EXPECT_GT(black, 400 * 117 / 2);
    EXPECT_GT(white, 2000);
    EXPECT_GT(grey, 1000);
    // A margin of ground all round, and two lines of text with a gap between.
    for (int32_t x = 0; x < 400; x++) {
        ASSERT_EQ(indexFromTop(0, x, 0), 0);
        ASSERT_EQ(indexFromTop(0, x, 116), 0);
    }
    auto rowInk = [](int32_t y) {
        int32_t ink = 0;
        for (int32_t x = 0; x < 400; x++) ink += indexFromTop(0, x, y) != 0;
        return ink;
    };
    EXPECT_GT(rowInk(30), 20);
    EXPECT_GT(rowInk(85), 20);
    EXPECT_EQ(rowInk(58), 0);
}

TEST(PaletteImages, IconStandsInsideAWhiteOutlineOnATransparentGround) {
    auto entry = [](int32_t x, int32_t y) { return paletteImage.palettes[1][indexFromTop(1, x, y)]; };
    // The corners are ground.
    EXPECT_EQ(entry(0, 0)[3], 0);
    EXPECT_EQ(entry(162, 0)[3], 0);
    EXPECT_EQ(entry(0, 198)[3], 0);
    EXPECT_EQ(entry(162, 198)[3], 0);
    // Walking in from the left edge across the middle row: ground, then the
    // white outline, then colour.
    int32_t y = 140;
    int32_t x = 0;
    while (x < 163 && entry(x, y)[3] == 0) x++;
    ASSERT_LT(x, 80);
    while (x < 163 && entry(x, y)[0] < 240 && entry(x, y)[3] != 0) x++;  // soft outer edge
    int32_t whiteRun = 0;
    while (x < 163 && entry(x, y)[0] >= 240 && entry(x, y)[1] >= 240 && entry(x, y)[2] >= 240) {
        x++;
        whiteRun++;
    }
    EXPECT_GE(whiteRun, 2);
    // Saturated colours of most of the six hue sectors fill the figure.
    std::set<int> hues;
    for (int32_t i = 0; i < 163 * 199; i++) {
        const uint8_t* e = paletteImage.palettes[1][paletteImage.indices[1][i]];
        int hi = std::max({e[0], e[1], e[2]}), lo = std::min({e[0], e[1], e[2]});
        if (e[3] == 0 || hi - lo < 120) continue;
        int hue = e[0] == hi ? (e[1] > e[2] ? 0 : 5) : (e[1] == hi ? (e[2] > e[0] ? 2 : 1) : (e[0] > e[1] ? 4 : 3));
        hues.insert(hue);
    }
    EXPECT_GE(hues.size(), 5u);
}

TEST(PaletteExpansion, TransparentEntriesBecomeZeroWhateverTheyStore) {
    uint8_t palette[256][4] = {};
    const uint8_t magentaClear[4] = {255, 0, 255, 0};
    const uint8_t halfRed[4] = {200, 10, 20, 255};
    const uint8_t faint[4] = {1, 2, 3, 1};
    std::memcpy(palette[0], magentaClear, 4);
    std::memcpy(palette[7], halfRed, 4);
    std::memcpy(palette[255], faint, 4);
    const uint8_t indices[4] = {7, 0, 255, 7};
    uint8_t rgba[16];
    std::memset(rgba, 0xAB, sizeof(rgba));
    expandPaletteImage(palette, indices, 4, rgba);
    const uint8_t expected[16] = {200, 10, 20, 255, 0, 0, 0, 0, 1, 2, 3, 1, 200, 10, 20, 255};
    EXPECT_EQ(std::memcmp(rgba, expected, 16), 0);
}
