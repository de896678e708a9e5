// The song source fuzzer's corpus, kept in tests/fuzz/song_source_corpus,
// replayed through the fuzzer's own entry point: every kept text is still
// refused with a message or compiled to a song the decoder loads (a broken
// invariant traps, which fails this test).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/processes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(SongSourceCorpus, EveryKeptTextIsRefusedOrCompilesToALoadableSong) {
    const std::string folder = INTRO_SOURCE_DIR "/tests/fuzz/song_source_corpus";
    std::vector<std::string> names;
    for (const std::string& name : namesIn(folder))
        if (name[0] != '.') names.push_back(name);
    ASSERT_GE(names.size(), 100u);
    for (const std::string& name : names) {
        const std::vector<uint8_t> bytes = readBytes(folder + "/" + name);
        SCOPED_TRACE(name);
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }
}
