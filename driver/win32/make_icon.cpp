// Makes the application icon of the Windows build (a build-machine program):
// the program's icon picture (data/icon_picture.h, the rainbow figure at
// 52 x 64) written as a one-image .ico file of 32-bit pixels with alpha (the
// first argument). With a second argument it also writes the same picture as
// a one-image .ico whose image is a PNG stream, which Windows takes since
// Vista: a third of the size, so that the packed intro.exe can carry
// its icon within its size limit.
#include <cstdint>
#include <cstdio>
#include <vector>

#include <zlib.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"

// zlib's deflate at its strongest level for the PNG stream: a quarter
// smaller than the writer's own compressor on this picture.
static unsigned char* zlibCompress(unsigned char* data, int size, int* outSize, int /*quality*/);
#define STBIW_ZLIB_COMPRESS zlibCompress
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

static unsigned char* zlibCompress(unsigned char* data, int size, int* outSize, int /*quality*/) {
    uLongf length = compressBound(uLong(size));
    auto* out = static_cast<unsigned char*>(STBIW_MALLOC(length));
    if (out == nullptr || compress2(out, &length, data, uLong(size), Z_BEST_COMPRESSION) != Z_OK) {
        STBIW_FREE(out);
        return nullptr;
    }
    *outSize = int(length);
    return out;
}

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

// A one-image .ico file: the directory, its one entry (width, height, no
// palette, reserved, 1 plane, 32 bits, the image's size and where it starts,
// right after the entry), then the image.
std::vector<uint8_t> iconFile(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> out;
    put16(out, 0);  // reserved
    put16(out, 1);  // type: icon
    put16(out, 1);  // one image
    out.push_back(kWidth);
    out.push_back(kHeight);
    out.push_back(0);
    out.push_back(0);
    put16(out, 1);
    put16(out, 32);
    put32(out, uint32_t(image.size()));
    put32(out, 6 + 16);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

// The classic image: a bitmap header whose height counts the colour rows and
// the mask rows together, then the pixels bottom row first, then the mask.
std::vector<uint8_t> bitmapImage() {
    const uint32_t maskRowBytes = ((kWidth + 31) / 32) * 4;  // 1 bit per pixel, rows of whole 32-bit words
    const uint32_t pixelBytes = kWidth * kHeight * 4;
    std::vector<uint8_t> out;
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
    return out;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// The PNG image: RGBA rows top first, unfiltered (the smallest of the five
// filters on this picture of flat colour runs).
std::vector<uint8_t> pngImage() {
    std::vector<uint8_t> rgba(kWidth * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) iconPixel(x, y, &rgba[(y * kWidth + x) * 4]);
    }
    stbi_write_force_png_filter = 0;
    std::vector<uint8_t> out;
    if (!stbi_write_png_to_func(appendBytes, &out, kWidth, kHeight, 4, rgba.data(), kWidth * 4)) out.clear();
    return out;
}

bool writeFile(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* file = bytes.empty() ? nullptr : std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", path);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_icon output.ico [png_output.ico]\n");
        return 2;
    }
    if (!writeFile(argv[1], iconFile(bitmapImage()))) return 1;
    if (argc == 3 && !writeFile(argv[2], iconFile(pngImage()))) return 1;
    return 0;
}
