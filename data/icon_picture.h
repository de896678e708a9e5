// The program's icon: the rainbow figure of palette image 1, scaled down to
// 52 x 64 pixels with alpha. The Windows build carries it as its application
// icon (driver/win32/make_icon.cpp); on Linux it is the window's icon.
#pragma once
#include <cstdint>

constexpr int32_t kIconWidth = 52;
constexpr int32_t kIconHeight = 64;

// Pixel (x, y) of the icon, y counted from the top: R, G, B, A, each 0..255.
// Each is the average of the image pixels it covers, colours weighted by
// alpha so that the transparent surroundings do not darken the outline.
void iconPixel(int32_t x, int32_t y, uint8_t rgba[4]);
