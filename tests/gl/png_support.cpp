// loadPng through stb_image, whose implementation lives in this one file.
#include "tests/gl/png_support.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

Image loadPng(const std::string& path) {
    Image image;
    int channels = 0;
    uint8_t* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    if (!data) return Image{};
    image.rgb.assign(data, data + size_t(image.width) * image.height * 3);
    stbi_image_free(data);
    return image;
}
