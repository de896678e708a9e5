// Contact-sheet layout, tile placement and captions.
#include "tools/capture/contact_sheet.h"

#include <cstdio>
#include <cstring>

#include "data/timetable.h"
#include "render/programs.h"
#include "tools/replay/label_font.h"

namespace {

// Caption strip colours: white text on a dark grey band, so a black tile
// (a scene that is dark at that moment) still shows where it ends.
const uint8_t kLabelInk[3] = {255, 255, 255};
constexpr uint8_t kLabelGround = 40;

}  // namespace

SheetLayout sheetLayout(int32_t tileWidth, int32_t tileHeight, int32_t tiles) {
    SheetLayout layout{};
    layout.tileWidth = tileWidth;
    layout.tileHeight = tileHeight;
    layout.columns = kSheetColumns;
    layout.rows = (tiles + kSheetColumns - 1) / kSheetColumns;
    layout.labelScale = tileWidth >= 320 ? tileWidth / 160 : 1;
    // Two glyph pixels of margin above and below the text.
    layout.labelHeight = (kGlyphHeight + 4) * layout.labelScale;
    layout.width = tileWidth * layout.columns;
    layout.height = (tileHeight + layout.labelHeight) * layout.rows;
    return layout;
}

const char* sceneName(int32_t sceneProgram) {
    if (sceneProgram < 0 || sceneProgram >= kSceneProgramCount) return "?";
    return kSceneProgramNames[sceneProgram];
}

float sequenceMiddle(int32_t sequence) {
    return (float(kSequences.start[sequence]) + float(kSequences.duration[sequence]) * 0.5f) / 60.0f;
}

void placeTile(Picture& sheet, const SheetLayout& layout, int32_t index, const Picture& tile, int32_t sequence,
               int32_t sceneProgram, float clock) {
    int32_t column = index % layout.columns, row = index / layout.columns;
    int32_t cellHeight = layout.tileHeight + layout.labelHeight;
    int32_t x0 = column * layout.tileWidth;
    int32_t top = row * cellHeight;  // counted down from the top of the sheet
    // Tile rows, bottom-up in both pictures.
    for (int32_t y = 0; y < tile.height; y++) {
        int32_t sheetRow = sheet.height - 1 - (top + tile.height - 1 - y);
        std::memcpy(&sheet.rgba[(size_t(sheetRow) * sheet.width + x0) * 4], &tile.rgba[size_t(y) * tile.width * 4],
                    size_t(tile.width) * 4);
    }
    int32_t labelTop = top + layout.tileHeight;
    for (int32_t y = labelTop; y < labelTop + layout.labelHeight; y++) {
        uint8_t* line = &sheet.rgba[(size_t(sheet.height - 1 - y) * sheet.width + x0) * 4];
        for (int32_t x = 0; x < layout.tileWidth; x++) {
            line[x * 4 + 0] = line[x * 4 + 1] = line[x * 4 + 2] = kLabelGround;
            line[x * 4 + 3] = 255;
        }
    }
    char caption[64];
    std::snprintf(caption, sizeof(caption), "%d %s T=%.2f", int(sequence), sceneName(sceneProgram), double(clock));
    // Keep the text inside its own cell: drawLabel clips only at the sheet.
    int32_t scale = layout.labelScale;
    int32_t fits = (layout.tileWidth - 2 * scale + (kGlyphAdvance - kGlyphWidth) * scale) / (kGlyphAdvance * scale);
    if (fits < 0) fits = 0;
    if (fits < int32_t(sizeof(caption)) - 1) caption[fits] = 0;
    drawLabel(sheet.rgba.data(), sheet.width, sheet.height, x0 + 2 * scale, labelTop + 2 * scale, caption, scale,
              kLabelInk);
}
