// The two palette images as RGBA textures: image 0 the caption, image 1 the
// icon, mipmapped and repeating.
#pragma once
#include <GL/gl.h>

#include <cstdint>

// Texture names, image 0 first; 0 until createPaletteTextures.
extern GLuint paletteTextures[2];

// Writes `count` RGBA pixels: for each index the four bytes of its palette
// entry, or four zero bytes when that entry's alpha is 0 (a transparent entry
// is transparent black whatever colour it stores).
void expandPaletteImage(const uint8_t palette[256][4], const uint8_t* indices, int32_t count, uint8_t* rgba);

// Makes both textures from paletteImage. The expanded pixels stay allocated.
void createPaletteTextures();
