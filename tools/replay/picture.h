// An RGBA picture as capture handles it: rows stored bottom-up, as GL reads
// them back, and written to PNG files top row first.
#pragma once
#include <cstdint>
#include <vector>

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes, row 0 at the bottom
};

// A black, opaque picture.
Picture blackPicture(int32_t width, int32_t height);
// Writes a PNG file; false (after one line on stderr) when it cannot.
bool writePng(const Picture& picture, const char* path);
