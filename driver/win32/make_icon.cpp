// Makes the application icon of the Windows build (a build-machine program):
// the show's icon picture (palette image 1, the rainbow figure) scaled down to
// 52 x 64 by averaging, written as a one-image .ico file of 32-bit pixels
// with alpha. Its one argument is the output path.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/palette_images.h"

namespace {

constexpr int kWidth = 52;
constexpr int kHeight = 64;
constexpr int kImage = 1;  // the icon picture

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Average of the source pixels under icon pixel (x, y), with colours weighted
// by alpha so that transparent surroundings do not darken the edges. Rows
// count from the bottom in both pictures. Returns B, G, R, A.
void samplePixel(int x, int y, uint8_t bgra[4]) {
    const PaletteImage& image = paletteImage;
    const int width = image.widths[kImage];
    const int height = image.heights[kImage];
    const int x0 = x * width / kWidth, x1 = (x + 1) * width / kWidth;
    const int y0 = y * height / kHeight, y1 = (y + 1) * height / kHeight;
    double r = 0, g = 0, b = 0, a = 0;
    int count = 0;
    for (int sy = y0; sy < (y1 > y0 ? y1 : y0 + 1); ++sy) {
        for (int sx = x0; sx < (x1 > x0 ? x1 : x0 + 1); ++sx) {
            const uint8_t* entry = image.palettes[kImage][image.indices[kImage][sy * width + sx]];
            const double alpha = entry[3] / 255.0;
            r += entry[0] * alpha;
            g += entry[1] * alpha;
            b += entry[2] * alpha;
            a += alpha;
            ++count;
        }
    }
    const auto channel = [&](double sum) { return uint8_t(a > 0 ? std::lround(sum / a) : 0); };
    bgra[0] = channel(b);
    bgra[1] = channel(g);
    bgra[2] = channel(r);
    bgra[3] = uint8_t(std::lround(255.0 * a / count));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon output.ico\n");
        return 2;
    }
    const uint32_t maskRowBytes = ((kWidth + 31) / 32) * 4;  // 1 bit per pixel, rows of whole 32-bit words
    const uint32_t pixelBytes = kWidth * kHeight * 4;
    const uint32_t imageBytes = 40 + pixelBytes + maskRowBytes * kHeight;

    std::vector<uint8_t> out;
    // Icon directory: reserved, type 1 (icon), one image.
    put16(out, 0);
    put16(out, 1);
    put16(out, 1);
    // Its one entry: width, height, no palette, reserved, 1 plane, 32 bits,
    // size of the image and where it starts (right after this entry).
    out.push_back(kWidth);
    out.push_back(kHeight);
    out.push_back(0);
    out.push_back(0);
    put16(out, 1);
    put16(out, 32);
    put32(out, imageBytes);
    put32(out, 6 + 16);
    // The image: a bitmap header whose height counts the colour rows and the
    // mask rows together, then the pixels bottom row first, then the mask.
    put32(out, 40);
    put32(out, kWidth);
    put32(out, kHeight * 2);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);  // no compression
    put32(out, pixelBytes + maskRowBytes * kHeight);
    for (int i = 0; i < 4; ++i) put32(out, 0);  // resolution and palette fields
    std::vector<uint8_t> mask(maskRowBytes * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t bgra[4];
            samplePixel(x, y, bgra);
            out.insert(out.end(), bgra, bgra + 4);
            // Systems that ignore alpha fall back on the mask: set = transparent.
            if (bgra[3] < 128) mask[y * maskRowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    }
    out.insert(out.end(), mask.begin(), mask.end());

    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
