// PNG files as the capture tool writes them, read back for the tests that
// look at its pictures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// An RGB picture, top row first; empty (width 0) when a file did not load.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

Image loadPng(const std::string& path);
