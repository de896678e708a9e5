// The sound ring: two-region copies at the wrap, the play cursor, underruns.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/sound_ring.h"

namespace {

std::vector<uint8_t> pattern(uint32_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i) bytes[i] = uint8_t(first + i);
    return bytes;
}

struct Ring {
    SoundRing ring;
    Ring(uint32_t bytes, uint32_t ahead) { EXPECT_TRUE(initSoundRing(ring, bytes, ahead)); }
    ~Ring() { releaseSoundRing(ring); }
    std::vector<uint8_t> play(uint32_t count) {
        std::vector<uint8_t> out(count, 0xEE);
        playRing(ring, out.data(), count);
        return out;
    }
};

}  // namespace

TEST(SoundRing, StartsSilentWithTheWriterAhead) {
    Ring r(64, 32);
    EXPECT_EQ(r.ring.written.load(), 32u);
    EXPECT_EQ(r.play(32), std::vector<uint8_t>(32, 0));
    EXPECT_EQ(r.ring.underruns.load(), 0u);
    EXPECT_EQ(r.ring.consumed.load(), 32u);
    EXPECT_EQ(playCursor(r.ring), 32u);
}

TEST(SoundRing, AWrappingWriteLandsInTwoRegionsAndPlaysBackInOrder) {
    Ring r(64, 56);
    EXPECT_EQ(r.play(56), std::vector<uint8_t>(56, 0));
    const std::vector<uint8_t> block = pattern(16, 1);
    writeRing(r.ring, 56, block.data(), 16);  // 8 bytes at the end, 8 at the start
    EXPECT_EQ(r.ring.written.load(), 72u);
    EXPECT_EQ(r.play(16), block);  // the device wraps too
    EXPECT_EQ(playCursor(r.ring), 8u);
    EXPECT_EQ(r.ring.underruns.load(), 0u);
}

TEST(SoundRing, UnalignedSourceBytesAreCopiedExactly) {
    Ring r(32, 0);
    const std::vector<uint8_t> bytes = pattern(17, 100);
    writeRing(r.ring, 0, bytes.data() + 1, 16);
    EXPECT_EQ(r.play(16), std::vector<uint8_t>(bytes.begin() + 1, bytes.end()));
}

TEST(SoundRing, ADeviceTakingMoreThanWasWrittenCountsOneUnderrunPerTake) {
    Ring r(64, 16);
    r.play(16);  // exactly what was written: no underrun
    EXPECT_EQ(r.ring.underruns.load(), 0u);
    r.play(4);
    EXPECT_EQ(r.ring.underruns.load(), 1u);
    r.play(4);
    EXPECT_EQ(r.ring.underruns.load(), 2u);
    // The writer catches up past the play position: takes are clean again.
    const std::vector<uint8_t> block = pattern(32, 7);
    writeRing(r.ring, 16, block.data(), 32);
    r.play(24);
    EXPECT_EQ(r.ring.underruns.load(), 2u);
}
