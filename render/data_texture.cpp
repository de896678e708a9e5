// DataTexture: creation, whole-image updates and binding.
#include "render/data_texture.h"

#include <GL/glext.h>

bool DataTexture::create(int32_t newWidth, int32_t newHeight, const void* pixels, GLint internalFormat,
                         GLenum newFormat, GLenum newType) {
    width = newWidth;
    height = newHeight;
    format = newFormat;
    type = newType;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, pixels);
    return true;
}

void DataTexture::update(const void* pixels) {
    if (texture == kNoTexture) return;
    bind();
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, type, pixels);
}

void DataTexture::bind() {
    glBindTexture(GL_TEXTURE_2D, texture);
}
