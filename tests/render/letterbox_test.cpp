// The letterbox rectangle that puts the 16:9 picture on windows of other
// shapes: centred, as large as fits, never outside the window.
#include <gtest/gtest.h>

#include <array>

#include "render/presentation.h"

namespace {

// x, y, width, height of the box for a 1600 x 900 picture.
std::array<int32_t, 4> box(int32_t width, int32_t height) {
    const Viewport v = letterbox(width, height, 1600, 900);
    return {v.x, v.y, v.width, v.height};
}

using Box = std::array<int32_t, 4>;

}  // namespace

TEST(Letterbox, BarsGoWhereTheWindowIsLongerThan16By9) {
    EXPECT_EQ(box(1600, 900), (Box{0, 0, 1600, 900}));
    EXPECT_EQ(box(3840, 2160), (Box{0, 0, 3840, 2160}));
    EXPECT_EQ(box(1920, 1200), (Box{0, 60, 1920, 1080}));    // 16:10
    EXPECT_EQ(box(1280, 1024), (Box{0, 152, 1280, 720}));    // 5:4
    EXPECT_EQ(box(2560, 1080), (Box{320, 0, 1920, 1080}));   // 21:9
    EXPECT_EQ(box(1366, 768), (Box{0, 0, 1365, 768}));       // a little wider: 768 * 16 / 9 = 1365.3
    EXPECT_EQ(box(1600, 901), (Box{0, 0, 1600, 900}));       // the odd bar row goes to the top
}

TEST(Letterbox, TinyEmptyAndHugeWindows) {
    EXPECT_EQ(box(1, 1), (Box{0, 0, 1, 1}));  // never empty for a real window
    EXPECT_EQ(box(2, 100), (Box{0, 49, 2, 1}));
    EXPECT_EQ(box(0, 900), (Box{0, 0, 0, 0}));
    EXPECT_EQ(box(1600, -5), (Box{0, 0, 0, 0}));
    EXPECT_EQ(letterbox(1600, 900, 0, 900).width, 0);
    // Products beyond 32 bits.
    EXPECT_EQ(box(2000000000, 1000000000), (Box{111111111, 0, 1777777778, 1000000000}));
}
