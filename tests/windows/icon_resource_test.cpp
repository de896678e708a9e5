// The application icon as Windows finds it in the shipped files: the icon
// group resource of the packed 32-bit intro.exe (one PNG image) and of the
// 64-bit intro.exe (one 32-bit bitmap image) read from the files' resource
// directories, decoded and compared with the icon picture pixel by pixel.
// A build that is absent is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "data/icon_picture.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kIconType = 3;       // RT_ICON
constexpr uint32_t kIconGroupType = 14;  // RT_GROUP_ICON

std::optional<uint32_t> read16(const Bytes& file, size_t at) {
    if (at > file.size() || file.size() - at < 2) return std::nullopt;
    return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8;
}

std::optional<uint32_t> read32(const Bytes& file, size_t at) {
    auto low = read16(file, at);
    auto high = read16(file, at + 2);
    if (!low || !high) return std::nullopt;
    return *low | *high << 16;
}

// A PE file's resources: the data of resource (type, id) in its first
// language, or nothing when the file has none or any field points outside it.
class Resources {
public:
    explicit Resources(Bytes file) : file_(std::move(file)) {
        auto peAt = read32(file_, 0x3C);
        if (!peAt || read32(file_, *peAt) != 0x4550u) return;  // "PE\0\0"
        auto sections = read16(file_, *peAt + 6);
        auto optionalSize = read16(file_, *peAt + 20);
        auto magic = read16(file_, *peAt + 24);
        if (!sections || !optionalSize || !magic || (*magic != 0x10B && *magic != 0x20B)) return;
        // The data directories follow 96 (PE32) or 112 (PE32+) bytes of
        // the optional header; the resource table is the third.
        const size_t directories = *peAt + 24 + (*magic == 0x10B ? 96 : 112);
        auto rva = read32(file_, directories + 2 * 8);
        if (!rva || *rva == 0) return;
        sectionTable_ = *peAt + 24 + *optionalSize;
        sections_ = *sections;
        root_ = fileOffset(*rva);
    }

    std::optional<Bytes> find(uint32_t type, uint32_t id) const {
        if (!root_) return std::nullopt;
        auto typeDir = entry(*root_, type);
        auto idDir = typeDir ? entry(*root_ + *typeDir, id) : std::nullopt;
        auto languageDir = idDir ? entry(*root_ + *idDir, std::nullopt) : std::nullopt;
        if (!languageDir || (*languageDir & 0x80000000u)) return std::nullopt;  // must be data, not a directory
        auto dataRva = read32(file_, *root_ + *languageDir);
        auto size = read32(file_, *root_ + *languageDir + 4);
        auto at = dataRva ? fileOffset(*dataRva) : std::nullopt;
        if (!at || !size || *at > file_.size() || file_.size() - *at < *size) return std::nullopt;
        return Bytes(file_.begin() + long(*at), file_.begin() + long(*at + *size));
    }

private:
    // Where the file holds the byte at rva, through the section table.
    std::optional<size_t> fileOffset(uint32_t rva) const {
        for (uint32_t i = 0; i < sections_; ++i) {
            const size_t header = sectionTable_ + i * 40;
            auto virtualSize = read32(file_, header + 8);
            auto virtualAddress = read32(file_, header + 12);
            auto rawAt = read32(file_, header + 20);
            if (!virtualSize || !virtualAddress || !rawAt) return std::nullopt;
            if (rva >= *virtualAddress && rva - *virtualAddress < *virtualSize) return *rawAt + (rva - *virtualAddress);
        }
        return std::nullopt;
    }

    // The offset (from the root, directory flag kept) of the entry of a
    // directory with the numeric name id, or its first entry for nullopt.
    std::optional<uint32_t> entry(size_t directory, std::optional<uint32_t> id) const {
        auto named = read16(file_, directory + 12);
        auto numbered = read16(file_, directory + 14);
        if (!named || !numbered) return std::nullopt;
        for (uint32_t i = 0; i < *named + *numbered; ++i) {
            auto name = read32(file_, directory + 16 + i * 8);
            auto target = read32(file_, directory + 20 + i * 8);
            if (!name || !target) return std::nullopt;
            if (!id || *name == *id) {
                if (id && !(*target & 0x80000000u)) return std::nullopt;  // a type or id leads to a directory
                return id ? *target & 0x7FFFFFFFu : *target;
            }
        }
        return std::nullopt;
    }

    Bytes file_;
    size_t sectionTable_ = 0;
    uint32_t sections_ = 0;
    std::optional<size_t> root_;
};

// The icon group 1's one image as RGBA rows top first, checking the group's
// directory entry against the image; empty (with a test failure) otherwise.
Bytes iconImage(const Resources& resources, bool png) {
    auto group = resources.find(kIconGroupType, 1);
    if (!group) {
        ADD_FAILURE() << "no icon group 1";
        return {};
    }
    // The group: reserved 0, type 1, one entry of 14 bytes ending in the
    // icon resource's id.
    EXPECT_EQ(group->size(), 6u + 14u);
    if (group->size() < 20) return {};
    EXPECT_EQ(read16(*group, 0), 0u);
    EXPECT_EQ(read16(*group, 2), 1u);
    EXPECT_EQ(read16(*group, 4), 1u);
    EXPECT_EQ((*group)[6], kIconWidth);
    EXPECT_EQ((*group)[7], kIconHeight);
    EXPECT_EQ(read16(*group, 10), 1u);   // planes
    EXPECT_EQ(read16(*group, 12), 32u);  // bits per pixel
    auto image = resources.find(kIconType, *read16(*group, 18));
    if (!image) {
        ADD_FAILURE() << "the group's icon image is missing";
        return {};
    }
    EXPECT_EQ(read32(*group, 14), uint32_t(image->size()));

    const size_t pixels = size_t(kIconWidth) * kIconHeight;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool isPng = image->size() >= 8 && std::memcmp(image->data(), signature, 8) == 0;
    EXPECT_EQ(isPng, png);
    Bytes rgba;
    if (isPng) {
        int width = 0, height = 0, channels = 0;
        stbi_uc* decoded = stbi_load_from_memory(image->data(), int(image->size()), &width, &height, &channels, 4);
        if (decoded == nullptr) {
            ADD_FAILURE() << "the PNG does not decode: " << stbi_failure_reason();
            return {};
        }
        EXPECT_EQ(width, kIconWidth);
        EXPECT_EQ(height, kIconHeight);
        if (width == kIconWidth && height == kIconHeight) rgba.assign(decoded, decoded + pixels * 4);
        stbi_image_free(decoded);
    } else {
        // A bitmap header (height counting colour and mask rows), then B, G,
        // R, A rows bottom first.
        EXPECT_EQ(read32(*image, 4), uint32_t(kIconWidth));
        EXPECT_EQ(read32(*image, 8), uint32_t(kIconHeight * 2));
        EXPECT_EQ(read16(*image, 14), 32u);
        if (image->size() < 40 + pixels * 4) {
            ADD_FAILURE() << "the bitmap is cut short";
            return {};
        }
        for (int y = 0; y < kIconHeight; ++y) {
            for (int x = 0; x < kIconWidth; ++x) {
                const uint8_t* bgra = &(*image)[40 + (size_t(kIconHeight - 1 - y) * kIconWidth + x) * 4];
                rgba.insert(rgba.end(), {bgra[2], bgra[1], bgra[0], bgra[3]});
            }
        }
    }
    return rgba;
}

std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Shipped {
    const char* path;  // from the source folder
    bool png;
};

const Shipped kShipped[] = {
    {"build-windows32/intro.exe", true},     // packed: the icon must fit in its size limit
    {"build-windows/driver/intro.exe", false},
};

TEST(IconResource, ShippedFilesCarryTheIconPicture) {
    int checked = 0;
    for (const Shipped& shipped : kShipped) {
        SCOPED_TRACE(shipped.path);
        auto file = readFile(std::string(INTRO_SOURCE_DIR) + "/" + shipped.path);
        if (!file) continue;
        ++checked;
        Bytes rgba = iconImage(Resources(std::move(*file)), shipped.png);
        if (rgba.empty()) continue;
        int differ = 0;
        for (int y = 0; y < kIconHeight; ++y) {
            for (int x = 0; x < kIconWidth; ++x) {
                uint8_t expected[4];
                iconPixel(x, y, expected);
                if (std::memcmp(expected, &rgba[(size_t(y) * kIconWidth + x) * 4], 4) != 0) ++differ;
            }
        }
        EXPECT_EQ(differ, 0) << "pixels unlike the icon picture";
    }
    if (checked == 0) GTEST_SKIP() << "no Windows build";
}

// Files cut anywhere (inside the headers, the resource directory, the icon)
// have no icon found, and reading them stays within the bytes there are.
TEST(IconResource, CutFilesHaveNoIconAndAreReadSafely) {
    auto file = readFile(std::string(INTRO_SOURCE_DIR) + "/" + kShipped[0].path);
    if (!file) GTEST_SKIP() << "no packed build";
    const Resources whole(*file);
    ASSERT_TRUE(whole.find(kIconGroupType, 1));
    ASSERT_TRUE(whole.find(kIconType, 1));
    EXPECT_FALSE(whole.find(kIconGroupType, 2));
    EXPECT_FALSE(whole.find(16, 1));  // no version resource
    const Bytes icon = *whole.find(kIconType, 1);
    const size_t iconAt = size_t(std::search(file->begin(), file->end(), icon.begin(), icon.end()) - file->begin());
    const size_t lengths[] = {0, 0x3C, 0x80, 0x100, 0x200, iconAt, iconAt + icon.size() - 1};
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        const Resources cut(Bytes(file->begin(), file->begin() + long(length)));
        EXPECT_FALSE(cut.find(kIconType, 1));
    }
}

}  // namespace
