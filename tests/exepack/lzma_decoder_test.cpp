// The packed intro's LZMA decoder against xz's compressor: what xz writes
// decodes to the original bytes exactly, for several literal and position
// settings and for inputs that exercise literals, short and long distances
// and repeated distances, including the real program; a stream cut short, or
// asked for more than it holds, is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exepack/lzma_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Raw LZMA of `data` as the build's compressor makes it; empty when xz failed.
Bytes compress(const Bytes& data, LzmaProperties properties) {
    const std::string in = testing::TempDir() + "lzma_input.bin";
    const std::string out = testing::TempDir() + "lzma_output.bin";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    const std::string command = "xz --format=raw --lzma1=preset=6,lc=" + std::to_string(properties.lc) +
                                ",lp=" + std::to_string(properties.lp) + ",pb=" + std::to_string(properties.pb) +
                                " -c " + in + " > " + out;
    if (std::system(command.c_str()) != 0) return {};
    return readFile(out);
}

bool decode(const Bytes& packed, Bytes& out, LzmaProperties properties) {
    std::vector<uint16_t> probabilities(lzmaProbabilityCount(properties));
    return lzmaDecode(packed.data(), uint32_t(packed.size()), out.data(), uint32_t(out.size()), properties,
                      probabilities.data());
}

// Mostly noise (literals), with copies of earlier stretches from near and
// far (up to 200 KB back: long distances with direct bits) and runs.
Bytes mixed() {
    Bytes data;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    while (data.size() < 400000) {
        const uint32_t kind = next() % 4;
        if (kind == 0 || data.size() < 1000) {
            for (int i = 0; i < 300; ++i) data.push_back(uint8_t(next() >> 24));
        } else if (kind == 1) {
            const size_t from = data.size() - 1 - next() % std::min<size_t>(data.size() - 1, 200000);
            const size_t length = 2 + next() % 300;
            for (size_t i = 0; i < length; ++i) data.push_back(data[from + i]);
        } else if (kind == 2) {
            data.insert(data.end(), 2 + next() % 100, uint8_t(next()));
        } else {
            const std::string text = "voice " + std::to_string(next() % 32) + " note " + std::to_string(next() % 128) + "; ";
            data.insert(data.end(), text.begin(), text.end());
        }
    }
    return data;
}

struct Input {
    const char* name;
    Bytes data;
};

std::vector<Input> inputs() {
    std::vector<Input> list;
    list.push_back({"one byte", Bytes{42}});
    list.push_back({"zeros", Bytes(100000, 0)});
    list.push_back({"mixed", mixed()});
    // The real program: the Linux intro of this build and, when it was
    // built, the small 32-bit Windows intro.exe.
    for (const std::string& path : {std::string(INTRO_BINARY_DIR) + "/driver/intro",
                                   std::string(INTRO_SOURCE_DIR) + "/build-windows32/exepack/intro.exe"}) {
        Bytes program = readFile(path);
        if (!program.empty()) list.push_back({"program", std::move(program)});
    }
    return list;
}

const LzmaProperties kSettings[] = {{3, 0, 2}, {1, 0, 0}, {0, 2, 4}, {4, 0, 0}};

}  // namespace

TEST(LzmaDecoder, DecodesWhatXzWritesExactly) {
    const std::vector<Input> list = inputs();
    ASSERT_GE(list.size(), 4u) << "the program was not built";
    for (const Input& input : list) {
        for (const LzmaProperties& properties : kSettings) {
            SCOPED_TRACE(std::string(input.name) + " lc=" + std::to_string(properties.lc) + " lp=" +
                         std::to_string(properties.lp) + " pb=" + std::to_string(properties.pb));
            const Bytes packed = compress(input.data, properties);
            ASSERT_FALSE(packed.empty()) << "xz failed";
            Bytes out(input.data.size(), 0xA5);
            EXPECT_TRUE(decode(packed, out, properties));
            EXPECT_TRUE(out == input.data);
        }
    }
}

TEST(LzmaDecoder, RefusesAStreamCutShortOrAskedForMore) {
    const Bytes data = mixed();
    const LzmaProperties properties{3, 0, 2};
    const Bytes packed = compress(data, properties);
    ASSERT_FALSE(packed.empty());
    for (const size_t kept : {size_t(0), size_t(3), packed.size() / 2, packed.size() - 8}) {
        SCOPED_TRACE(kept);
        const Bytes cut(packed.begin(), packed.begin() + ptrdiff_t(kept));
        Bytes out(data.size());
        EXPECT_FALSE(decode(cut, out, properties));
    }
    // One byte more than was packed: the stream's end marker comes first.
    Bytes more(data.size() + 1);
    EXPECT_FALSE(decode(packed, more, properties));
}
