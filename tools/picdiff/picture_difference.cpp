// Channel-by-channel comparison of two pictures.
#include "tools/picdiff/picture_difference.h"

PictureDifference pictureDifference(const uint8_t* a, const uint8_t* b, int32_t width, int32_t height,
                                    int32_t threshold) {
    PictureDifference d;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            const int32_t at = (y * width + x) * 3;
            int32_t most = 0;
            for (int32_t c = 0; c < 3; c++) {
                const int32_t diff = a[at + c] > b[at + c] ? a[at + c] - b[at + c] : b[at + c] - a[at + c];
                if (diff > most) most = diff;
            }
            if (most > 0) d.differing++;
            if (most > threshold) d.above++;
            if (most > d.largest) {
                d.largest = most;
                d.firstX = x;
                d.firstY = y;
            }
        }
    }
    return d;
}
