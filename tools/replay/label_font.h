// A 5 x 7 pixel bitmap font for the labels that capture writes into its
// pictures (contact-sheet captions), so no image tool is needed for text.
#pragma once
#include <cstdint>

// One glyph is 5 x 7 pixels; characters advance by 6 at scale 1.
constexpr int32_t kGlyphWidth = 5;
constexpr int32_t kGlyphHeight = 7;
constexpr int32_t kGlyphAdvance = 6;

// Rows of the glyph for `c`, top row first, bit 4 the leftmost pixel.
// Lower-case letters use the capitals; characters without a glyph show '?'.
const uint8_t* glyphRows(char c);

// Width in pixels of `text` drawn at `scale` (each glyph pixel a scale x
// scale square), without the gap after the last character.
int32_t labelWidth(const char* text, int32_t scale);

// Draws `text` with its top-left corner at (x, y), y counted down from the
// top row of an RGBA image whose rows are stored bottom-up, as GL reads them.
// Pixels that fall outside the image are skipped.
void drawLabel(uint8_t* rgba, int32_t width, int32_t height, int32_t x, int32_t y, const char* text,
               int32_t scale, const uint8_t color[3]);
