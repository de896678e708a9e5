// A float texture whose whole image is replaced from CPU memory; the two
// note-activity textures the scenes sample are DataTextures.
#pragma once
#include <GL/gl.h>

#include <cstdint>

class DataTexture {
public:
    // The texture name while no texture exists.
    static constexpr GLuint kNoTexture = 0xFFFFFFFFu;

    DataTexture() = default;

    // Makes the texture (mipmapped, linear, repeating) and uploads the first
    // image. Always succeeds. The texture does not keep `pixels`.
    bool create(int32_t width, int32_t height, const void* pixels, GLint internalFormat, GLenum format,
                GLenum type);
    // Replaces the whole image (rebuilding the mipmaps); does nothing, and
    // touches no GL state, before create.
    virtual void update(const void* pixels);
    // Binds the texture to GL_TEXTURE_2D of the active texture unit.
    virtual void bind();

    GLuint texture = kNoTexture;
    int32_t width = 0;   // texels per row
    int32_t height = 0;  // rows
    GLenum format = 0;   // of the CPU data: GL_RED for both uses
    GLenum type = 0;     // of the CPU data: GL_FLOAT for both uses
};
