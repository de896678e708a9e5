// The layout of a contact sheet: one tile per shown Sequence, five to a row,
// each with a caption strip underneath saying which Sequence, which scene and
// at what clock the tile was taken.
#pragma once
#include <cstdint>

#include "tools/replay/picture.h"

struct SheetLayout {
    int32_t tileWidth, tileHeight;  // picture of one tile
    int32_t columns, rows;
    int32_t labelScale;   // glyph pixel size: 1 up to 319-pixel tiles, then 1 per 160
    int32_t labelHeight;  // caption strip under every tile
    int32_t width, height;  // the whole sheet
};

// The Sequences a sheet shows: every one the show draws before its end.
constexpr int32_t kSheetSequences = 10;
constexpr int32_t kSheetColumns = 5;

SheetLayout sheetLayout(int32_t tileWidth, int32_t tileHeight, int32_t tiles = kSheetSequences);

// Short name of a scene program slot (0..6) for captions; "?" out of range.
const char* sceneName(int32_t sceneProgram);
// Clock (seconds) of the middle frame of a Sequence's draw window.
float sequenceMiddle(int32_t sequence);

// Copies `tile` into cell `index` (row by row from the top left) of `sheet`
// and writes the caption below it: "<sequence> <scene> T=<clock>".
void placeTile(Picture& sheet, const SheetLayout& layout, int32_t index, const Picture& tile,
               int32_t sequence, int32_t sceneProgram, float clock);
