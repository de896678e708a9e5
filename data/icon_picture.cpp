// Scaling the icon picture down from the palette image.
#include "data/icon_picture.h"

#include <cmath>

#include "data/palette_images.h"

namespace {
constexpr int32_t kImage = 1;  // the rainbow figure

uint8_t level(double value) {
    return uint8_t(std::lround(value < 0.0 ? 0.0 : (value > 255.0 ? 255.0 : value)));
}
}  // namespace

void iconPixel(int32_t x, int32_t y, uint8_t rgba[4]) {
    const PaletteImage& image = paletteImage;
    const int32_t width = image.widths[kImage];
    const int32_t height = image.heights[kImage];
    // The image's first stored row is its bottom one.
    const int32_t row = kIconHeight - 1 - y;
    const int32_t x0 = x * width / kIconWidth, x1 = (x + 1) * width / kIconWidth;
    const int32_t y0 = row * height / kIconHeight, y1 = (row + 1) * height / kIconHeight;
    double r = 0.0, g = 0.0, b = 0.0, a = 0.0;
    int32_t count = 0;
    for (int32_t sy = y0; sy < (y1 > y0 ? y1 : y0 + 1); ++sy) {
        for (int32_t sx = x0; sx < (x1 > x0 ? x1 : x0 + 1); ++sx) {
            const uint8_t* entry = image.palettes[kImage][image.indices[kImage][sy * width + sx]];
            const double alpha = entry[3] / 255.0;
            r += entry[0] * alpha;
            g += entry[1] * alpha;
            b += entry[2] * alpha;
            a += alpha;
            ++count;
        }
    }
    rgba[0] = a > 0.0 ? level(r / a) : 0;
    rgba[1] = a > 0.0 ? level(g / a) : 0;
    rgba[2] = a > 0.0 ? level(b / a) : 0;
    rgba[3] = level(255.0 * a / count);
}
