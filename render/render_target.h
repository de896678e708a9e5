// An offscreen frame buffer: a colour texture and a depth render buffer of a
// fixed size (plus a depth texture made with it and attached nowhere).
#pragma once
#include <GL/gl.h>

#include <cstdint>

struct RenderTarget {
    // Makes the GL objects and leaves the window's frame buffer bound and no
    // texture bound to GL_TEXTURE_2D.
    RenderTarget(int32_t width, int32_t height);

    GLuint framebuffer = 0;
    GLuint depthRenderbuffer = 0;
    GLuint colorTexture = 0;  // colour attachment 0, RGBA 8 bits per channel
    GLuint depthTexture = 0;  // same size; not attached
    int32_t width = 0;        // pixels
    int32_t height = 0;
    GLenum colorFormat = 0;   // internal format of the colour texture
};
