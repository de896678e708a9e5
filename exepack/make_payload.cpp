// Build-machine program of the packed intro.exe: lays the sections of the
// small intro.exe out as the loader would map them (from the first section
// to the end of the last one that holds bytes; the headers stay behind) and
// writes that memory image, plus a header of the facts the unpacker needs.
//   make_payload intro.exe image.bin payload_layout.h
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t read32(const std::vector<uint8_t>& file, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, file.data() + at, 4);
    return value;
}
uint16_t read16(const std::vector<uint8_t>& file, size_t at) {
    uint16_t value = 0;
    std::memcpy(&value, file.data() + at, 2);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_payload intro.exe image.bin payload_layout.h\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 0x200 || read16(file, 0) != 0x5A4D) {
        std::fprintf(stderr, "make_payload: %s is not an executable\n", argv[1]);
        return 1;
    }
    const uint32_t pe = read32(file, 0x3C);
    const uint16_t sections = read16(file, pe + 6);
    const uint16_t optionalSize = read16(file, pe + 20);
    const uint32_t optional = pe + 24;
    if (read32(file, pe) != 0x4550 || read16(file, optional) != 0x10B) {
        std::fprintf(stderr, "make_payload: %s is not a 32-bit PE executable\n", argv[1]);
        return 1;
    }
    const uint32_t entry = read32(file, optional + 16);
    const uint32_t imageBase = read32(file, optional + 28);
    const uint32_t imageSize = read32(file, optional + 56);
    const uint32_t importRva = read32(file, optional + 96 + 8);  // data directory 1
    uint32_t first = UINT32_MAX, end = 0;
    std::vector<uint8_t> image(imageSize, 0);
    for (uint16_t s = 0; s < sections; ++s) {
        const uint32_t header = optional + optionalSize + 40u * s;
        const uint32_t virtualSize = read32(file, header + 8);
        const uint32_t rva = read32(file, header + 12);
        const uint32_t rawSize = read32(file, header + 16);
        const uint32_t rawAt = read32(file, header + 20);
        const uint32_t copied = rawSize < virtualSize ? rawSize : virtualSize;
        if (rva + virtualSize > imageSize || rawAt + copied > file.size()) {
            std::fprintf(stderr, "make_payload: section %u lies outside the file or the image\n", s);
            return 1;
        }
        std::memcpy(image.data() + rva, file.data() + rawAt, copied);
        if (rva < first) first = rva;
        if (copied > 0 && rva + copied > end) end = rva + copied;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data() + first), std::streamsize(end - first));
    std::FILE* layout = std::fopen(argv[3], "w");
    if (!out || layout == nullptr) {
        std::fprintf(stderr, "make_payload: cannot write the outputs\n");
        return 1;
    }
    std::fprintf(layout,
                 "// Made by make_payload from %s.\n#pragma once\n"
                 "constexpr uint32_t kImageBase = 0x%X;\nconstexpr uint32_t kImageSize = 0x%X;\n"
                 "constexpr uint32_t kPayloadRva = 0x%X;\nconstexpr uint32_t kPayloadSize = %u;\n"
                 "constexpr uint32_t kEntryRva = 0x%X;\nconstexpr uint32_t kImportRva = 0x%X;\n",
                 argv[1], imageBase, imageSize, first, end - first, entry, importRva);
    return std::fclose(layout) == 0 ? 0 : 1;
}
