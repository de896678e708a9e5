// The difference of two RGB pictures of the same size, channel by channel.
#pragma once
#include <cstdint>

struct PictureDifference {
    int32_t largest = 0;    // largest difference of one channel, 0..255
    int32_t differing = 0;  // pixels with any channel different
    int32_t above = 0;      // pixels with a channel differing by more than the threshold
    int32_t firstX = -1, firstY = -1;  // the first pixel (row by row) with the largest difference
};

// a and b hold width x height pixels of three bytes each.
PictureDifference pictureDifference(const uint8_t* a, const uint8_t* b, int32_t width, int32_t height,
                                    int32_t threshold);
