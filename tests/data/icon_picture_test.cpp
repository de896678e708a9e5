// The program's icon: the rainbow figure scaled down to 52 x 64, upright,
// with its transparent surroundings and its colours kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "data/icon_picture.h"
#include "data/palette_images.h"

namespace {

constexpr int32_t kImage = 1;

// Share of opaque pixels of the full-size figure in rows [top, bottom) counted from its top.
double imageOpaqueShare(double top, double bottom) {
    const int32_t width = paletteImage.widths[kImage];
    const int32_t height = paletteImage.heights[kImage];
    int32_t opaque = 0, all = 0;
    for (int32_t y = int32_t(top * height); y < int32_t(bottom * height); ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t index = paletteImage.indices[kImage][(height - 1 - y) * width + x];
            opaque += paletteImage.palettes[kImage][index][3] >= 128;
            ++all;
        }
    }
    return double(opaque) / all;
}

// The same for the icon.
double iconOpaqueShare(double top, double bottom) {
    int32_t opaque = 0, all = 0;
    for (int32_t y = int32_t(top * kIconHeight); y < int32_t(bottom * kIconHeight); ++y) {
        for (int32_t x = 0; x < kIconWidth; ++x) {
            uint8_t rgba[4];
            iconPixel(x, y, rgba);
            opaque += rgba[3] >= 128;
            ++all;
        }
    }
    return double(opaque) / all;
}

}  // namespace

TEST(IconPicture, KeepsTheFiguresShapeUprightWithTransparentCorners) {
    // The figure's outline, band by band from the top: a flipped or shifted
    // icon puts the antennae and the feet in the wrong bands.
    for (int band = 0; band < 4; ++band) {
        const double top = band / 4.0, bottom = (band + 1) / 4.0;
        EXPECT_NEAR(iconOpaqueShare(top, bottom), imageOpaqueShare(top, bottom), 0.04) << "band " << band;
    }
    EXPECT_GT(iconOpaqueShare(0.0, 1.0), 0.4);
    for (const auto& corner : {std::pair{0, 0}, std::pair{kIconWidth - 1, 0}, std::pair{0, kIconHeight - 1},
                               std::pair{kIconWidth - 1, kIconHeight - 1}}) {
        uint8_t rgba[4];
        iconPixel(corner.first, corner.second, rgba);
        EXPECT_EQ(rgba[3], 0) << corner.first << ", " << corner.second;
    }
}

TEST(IconPicture, OpaquePixelsCarryTheRainbowNotTheBlackOfTransparentEntries) {
    // Hue sixths among clearly coloured opaque pixels: the stripes span the
    // rainbow. Averaging transparent black into the edge would darken it
    // instead: no opaque pixel may be near black except the drawn lines,
    // which are a small part.
    std::set<int> hues;
    int32_t opaque = 0, dark = 0;
    for (int32_t y = 0; y < kIconHeight; ++y) {
        for (int32_t x = 0; x < kIconWidth; ++x) {
            uint8_t p[4];
            iconPixel(x, y, p);
            if (p[3] < 128) continue;
            ++opaque;
            const int maximum = std::max({p[0], p[1], p[2]}), minimum = std::min({p[0], p[1], p[2]});
            if (maximum < 60) ++dark;
            if (maximum - minimum < 60) continue;
            const double c = maximum - minimum;
            double hue = maximum == p[0] ? (p[1] - p[2]) / c : maximum == p[1] ? 2.0 + (p[2] - p[0]) / c
                                                                                : 4.0 + (p[0] - p[1]) / c;
            if (hue < 0.0) hue += 6.0;
            hues.insert(int(hue) % 6);
        }
    }
    EXPECT_GE(hues.size(), 5u);
    EXPECT_LT(double(dark) / opaque, 0.1);
}

TEST(IconPicture, ItsSoftEdgeIsTheWhiteOutlineFadingOut) {
    // Pixels only partly covered by the figure lie on its white outline:
    // their colour stays bright and only their alpha falls. Colours averaged
    // with the transparent black around would dim them with their alpha.
    double brightness = 0.0;
    int32_t edge = 0;
    for (int32_t y = 0; y < kIconHeight; ++y) {
        for (int32_t x = 0; x < kIconWidth; ++x) {
            uint8_t p[4];
            iconPixel(x, y, p);
            if (p[3] == 0 || p[3] == 255) continue;
            brightness += std::min({p[0], p[1], p[2]});
            ++edge;
        }
    }
    ASSERT_GT(edge, 50);
    std::printf("%d edge pixels, mean of their darkest channel %.1f\n", edge, brightness / edge);
    EXPECT_GT(brightness / edge, 140.0);  // about 165 here; about 100 when dimmed
}
