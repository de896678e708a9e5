// picdiff: how far two pictures of the same size differ, to check that a
// change to a shader kept its pictures: the largest difference of any colour
// channel (0..255), how many pixels differ at all, and how many by more than
// a threshold. Exit status 0 when the largest difference is at most the
// threshold, 1 when it is larger, 2 when the pictures cannot be compared.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "tools/picdiff/picture_difference.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: picdiff a.png b.png [threshold]   (threshold 0..255, default 0)\n", stderr);
        return 2;
    }
    int threshold = 0;
    if (argc == 4) {
        char* end = nullptr;
        long value = std::strtol(argv[3], &end, 10);
        if (end == argv[3] || *end || value < 0 || value > 255) {
            std::fprintf(stderr, "picdiff: threshold must be 0..255\n");
            return 2;
        }
        threshold = int(value);
    }
    int w[2], h[2], channels;
    unsigned char* pixels[2];
    for (int i = 0; i < 2; i++) {
        pixels[i] = stbi_load(argv[1 + i], &w[i], &h[i], &channels, 3);
        if (!pixels[i]) {
            std::fprintf(stderr, "picdiff: cannot read %s: %s\n", argv[1 + i], stbi_failure_reason());
            return 2;
        }
    }
    if (w[0] != w[1] || h[0] != h[1]) {
        std::fprintf(stderr, "picdiff: sizes differ: %dx%d and %dx%d\n", w[0], h[0], w[1], h[1]);
        return 2;
    }
    const PictureDifference d = pictureDifference(pixels[0], pixels[1], w[0], h[0], threshold);
    std::printf("largest=%d differing=%d above=%d pixels=%d first=%d,%d\n", d.largest, d.differing, d.above,
                w[0] * h[0], d.firstX, d.firstY);
    stbi_image_free(pixels[0]);
    stbi_image_free(pixels[1]);
    return d.largest <= threshold ? 0 : 1;
}
