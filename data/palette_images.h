// The two indexed pictures of the show, made by generate_palette_images.cpp:
// image 0 the caption (sampler "frites"), image 1 the icon (sampler "prout").
#pragma once
#include <cstdint>

// Five parallel two-entry arrays, image 0 first. Each image is width x height
// palette indices, row by row; the first stored row is texture row 0, which
// the scenes show at the bottom. A palette entry whose alpha is 0 stands for
// transparent black whatever colour it stores.
struct PaletteImage {
    uint8_t palettes[2][256][4];  // R, G, B, A per entry
    const char* samplerNames[2];  // the sampler uniform that shows the image
    const uint8_t* indices[2];
    int32_t widths[2];
    int32_t heights[2];
};

extern const PaletteImage paletteImage;
