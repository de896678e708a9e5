// The player's overlay: lines of text in the label font on a dark
// translucent panel in the window's top-left corner, error lines in red.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct OverlayLine {
    std::string text;
    bool error = false;
};

// The panel as an RGBA image (rows bottom-up, as glDrawPixels takes them):
// `scale` pixels a font pixel, lines longer than `maxColumns` characters
// wrapped. Width and height are returned through the pointers.
std::vector<uint8_t> overlayImage(const std::vector<OverlayLine>& lines, int32_t scale, int32_t maxColumns,
                                  int32_t* width, int32_t* height);
// Blends the panel onto the current frame buffer's top-left corner of a
// `windowWidth` x `windowHeight` window.
void drawOverlay(const std::vector<OverlayLine>& lines, int32_t windowWidth, int32_t windowHeight);
