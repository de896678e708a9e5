// Black pictures and PNG output (stb_image_write).
#include "tools/replay/picture.h"

#include <cstdio>

#include "tools/common/output_file.h"

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

namespace {

// stb hands the encoded PNG over in pieces; they are collected and written
// in one checked step, since stb's own file writer ignores write errors.
void appendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const auto* from = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), from, from + size);
}

}  // namespace

bool writePng(const Picture& picture, const char* path) {
    stbi_flip_vertically_on_write(1);
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(appendBytes, &png, picture.width, picture.height, 4, picture.rgba.data(),
                                picture.width * 4) ||
        png.empty()) {
        std::fprintf(stderr, "capture: cannot encode %s\n", path);
        return false;
    }
    return writeWholeFile("capture", path, png.data(), png.size());
}
