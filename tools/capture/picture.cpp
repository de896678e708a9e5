// Black pictures and PNG output (stb_image_write).
#include "tools/capture/picture.h"

#include <cstdio>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

Picture blackPicture(int32_t width, int32_t height) {
    Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 0)};
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return picture;
}

bool writePng(const Picture& picture, const char* path) {
    stbi_flip_vertically_on_write(1);
    if (stbi_write_png(path, picture.width, picture.height, 4, picture.rgba.data(), picture.width * 4)) return true;
    std::fprintf(stderr, "capture: cannot write %s\n", path);
    return false;
}
