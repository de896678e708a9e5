// Overlay text to an RGBA panel, blended onto the window.
#include "tools/intro_dev/overlay.h"

#include <GL/gl.h>

#include <algorithm>

#include "tools/replay/label_font.h"

namespace {

constexpr int32_t kMargin = 4;  // font pixels around the text
constexpr uint8_t kPanelAlpha = 170;
constexpr uint8_t kTextColor[3] = {230, 230, 230};
constexpr uint8_t kErrorColor[3] = {255, 96, 80};

// `lines` cut into pieces of at most `columns` characters, each line break
// of a text (a compile log has several) starting a new piece.
std::vector<OverlayLine> wrap(const std::vector<OverlayLine>& lines, int32_t columns) {
    std::vector<OverlayLine> pieces;
    for (const OverlayLine& line : lines) {
        size_t start = 0;
        while (start <= line.text.size()) {
            size_t end = line.text.find('\n', start);
            if (end == std::string::npos) end = line.text.size();
            for (size_t at = start; at < end || at == start; at += size_t(columns)) {
                pieces.push_back({line.text.substr(at, std::min(size_t(columns), end - at)), line.error});
                if (at + size_t(columns) >= end) break;
            }
            start = end + 1;
            if (end == line.text.size()) break;
        }
    }
    return pieces;
}

}  // namespace

std::vector<uint8_t> overlayImage(const std::vector<OverlayLine>& lines, int32_t scale, int32_t maxColumns,
                                  int32_t* width, int32_t* height) {
    const std::vector<OverlayLine> pieces = wrap(lines, maxColumns);
    int32_t columns = 0;
    for (const OverlayLine& piece : pieces) columns = std::max(columns, int32_t(piece.text.size()));
    const int32_t lineHeight = (kGlyphHeight + 3) * scale;
    *width = (columns * kGlyphAdvance + 2 * kMargin) * scale;
    *height = int32_t(pieces.size()) * lineHeight + 2 * kMargin * scale;
    std::vector<uint8_t> rgba(size_t(*width) * size_t(*height) * 4, 0);
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = kPanelAlpha;
    for (size_t i = 0; i < pieces.size(); ++i)
        drawLabel(rgba.data(), *width, *height, kMargin * scale, kMargin * scale + int32_t(i) * lineHeight,
                  pieces[i].text.c_str(), scale, pieces[i].error ? kErrorColor : kTextColor);
    return rgba;
}

void drawOverlay(const std::vector<OverlayLine>& lines, int32_t windowWidth, int32_t windowHeight) {
    const int32_t scale = windowWidth >= 800 ? 2 : 1;
    const int32_t columns = std::max(20, windowWidth / (kGlyphAdvance * scale) - 2 * kMargin);
    int32_t width = 0, height = 0;
    const std::vector<uint8_t> rgba = overlayImage(lines, scale, columns, &width, &height);
    // glDrawPixels at the window's top-left corner, with the identity
    // matrices: the raster position in clip coordinates.
    glViewport(0, 0, windowWidth, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const int32_t rows = std::min(height, windowHeight);
    glRasterPos2f(-1.0f, 1.0f - 2.0f * float(rows) / float(windowHeight));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
    // A panel taller or wider than the window shows its top-left part.
    glDrawPixels(std::min(width, windowWidth), rows, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data() + size_t(height - rows) * size_t(width) * 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glDisable(GL_BLEND);
}
