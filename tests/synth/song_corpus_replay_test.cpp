// The song decoder fuzzer's corpus, kept in tests/fuzz/corpus, replayed
// through the fuzzer's own entry point: every input that once found new code
// must still decode to a consistent song or to a clean failure (a broken
// invariant traps, which fails this test).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/processes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(SongCorpus, EveryKeptInputDecodesConsistentlyOrFailsCleanly) {
    const std::string folder = INTRO_SOURCE_DIR "/tests/fuzz/corpus";
    std::vector<std::string> names;
    for (const std::string& name : namesIn(folder))
        if (name[0] != '.') names.push_back(name);
    // A corpus that lost its files would pass with nothing checked.
    ASSERT_GE(names.size(), 40u);
    for (const std::string& name : names) {
        const std::vector<uint8_t> bytes = readBytes(folder + "/" + name);
        SCOPED_TRACE(name);
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }
}
