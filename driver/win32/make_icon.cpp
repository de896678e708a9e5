// Makes the application icon of the Windows build (a build-machine program):
// the program's icon picture (data/icon_picture.h, the rainbow figure at
// 52 x 64) written as a one-image .ico file of 32-bit pixels with alpha. Its
// one argument is the output path.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/icon_picture.h"

namespace {

constexpr int kWidth = kIconWidth;
constexpr int kHeight = kIconHeight;

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
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
            // Rows bottom first, pixels as B, G, R, A.
            uint8_t rgba[4];
            iconPixel(x, kHeight - 1 - y, rgba);
            const uint8_t bgra[4] = {rgba[2], rgba[1], rgba[0], rgba[3]};
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
