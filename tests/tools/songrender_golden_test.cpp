// Golden renders: the SHA-256 of songrender's WAV file for a pinned seed,
// for the shipped song and for a small song that reaches every effect type,
// every filter slot and the noise band. Any change to the sound, however
// small (one rounding, one reordered sum), changes a hash and fails here.
// On purpose, a new sound is a new hash: render it, listen to and look at it,
// and only then put the hash printed by the failure into this file.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "effects/effect_registry.h"
#include "runtime/params.h"
#include "synth/song_format.h"
#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"
#include "voice/instrument.h"

namespace {

const std::string kSongrender = INTRO_BINARY_DIR "/tools/songrender";
const std::string kSongc = INTRO_BINARY_DIR "/tools/songc";
const std::string kEverySongDir = INTRO_SOURCE_DIR "/tests/tools/every_feature_song";

// FIPS 180-4 SHA-256, small and slow: enough for a few megabytes.
class Sha256 {
public:
    void add(const uint8_t* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            block_[fill_++] = data[i];
            if (fill_ == 64) {
                compress();
                fill_ = 0;
            }
        }
        length_ += n;
    }
    std::string hex() {
        const uint64_t bits = length_ * 8;
        const uint8_t one = 0x80, zero = 0;
        add(&one, 1);
        while (fill_ != 56) add(&zero, 1);
        for (int i = 7; i >= 0; --i) {
            const uint8_t b = uint8_t(bits >> (8 * i));
            add(&b, 1);
        }
        std::string out;
        char digits[9];
        for (uint32_t word : h_) {
            std::snprintf(digits, sizeof(digits), "%08x", word);
            out += digits;
        }
        return out;
    }

private:
    static uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress() {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(block_[4 * i]) << 24 | uint32_t(block_[4 * i + 1]) << 16 |
                   uint32_t(block_[4 * i + 2]) << 8 | uint32_t(block_[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        const uint32_t add[8] = {a, b, c, d, e, f, g, h};
        for (int i = 0; i < 8; ++i) h_[i] += add[i];
    }

    std::array<uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t block_[64] = {};
    size_t fill_ = 0;
    uint64_t length_ = 0;
};

std::string sha256(const std::vector<uint8_t>& bytes) {
    Sha256 h;
    h.add(bytes.data(), bytes.size());
    return h.hex();
}

class Golden : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.made()); }

    // SHA-256 of the WAV that songrender writes for `arguments` (plus -o).
    std::string renderHash(const std::string& arguments) {
        const std::string wav = dir + "/song.wav";
        const CommandRun run = runCommand(kSongrender + " " + arguments + " -o " + wav + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.output;
        const std::vector<uint8_t> bytes = readBytes(wav);
        EXPECT_GT(bytes.size(), 44u);
        return sha256(bytes);
    }
    const ScratchFolder scratch{"songrender_golden"};
    const std::string dir = scratch.path();
};

}  // namespace

TEST(Sha256, MatchesThePublishedTestVectors) {
    EXPECT_EQ(sha256({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(sha256({abc.begin(), abc.end()}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks, with the length spilling into the second.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256({two.begin(), two.end()}), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// The shipped song as the show plays it (115 s), seed 7.
TEST_F(Golden, ShippedSongRendersToTheSameBytes) {
    EXPECT_EQ(renderHash("--seed 7"), "a7ad773cefe24144dbfd9a16f026902fb243542dfb964cb7d587f716815d37bc")
        << "reproduce with: songrender --seed 7 -o song.wav";
}

// The every-feature song: 26 s with a long silence, seed 7.
TEST_F(Golden, EveryFeatureSongRendersToTheSameBytes) {
    EXPECT_EQ(renderHash("--song " + kEverySongDir + "/song.bin --seconds 26 --seed 7"),
              "0bf617fc58a18a4d9086da7c10e4041f52ba56fd3cc7eb4969a2b6090a0e650e")
        << "reproduce with: songrender --song tests/tools/every_feature_song/song.bin --seconds 26 --seed 7 -o song.wav";
}

// The stored bytes are what its source compiles to, and they really reach
// every effect type and every filter, so the hash above guards all of them.
TEST_F(Golden, EveryFeatureSongIsItsSourceAndReachesEveryFeature) {
    const std::string compiled = dir + "/song.bin";
    const CommandRun run = runCommand(kSongc + " " + kEverySongDir + " -o " + compiled + " --free 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<uint8_t> bytes = readBytes(kEverySongDir + "/song.bin");
    ASSERT_EQ(readBytes(compiled), bytes) << "compile the source again with songc --free";

    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    // Indexed by type, 1..kEffectTypeCount: a type added to the registry
    // fails this test until the song uses it.
    std::vector<bool> effectType(kEffectTypeCount + 1, false);
    bool filterOn[4] = {}, noiseBand = false;
    uint32_t unisonOdd = 0, unisonEven = 0;
    const uint32_t switches[4] = {kLowPassOn, kHighPassOn, kBandPassOn, kNotchOn};
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        const float* p = song.parameters[i];
        for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
            const int type = effectSlotType(p, s);
            if (type >= 1 && type <= kEffectTypeCount) effectType[type] = true;
        }
        for (int f = 0; f < 4; ++f) filterOn[f] |= p[switches[f]] > 0.5f;
        noiseBand |= p[kNoiseLevel] > 0.0f && p[kNoiseWidth] < 0.99f;
        const int copies = 1 + int(9.0f * p[kOscUnison] + 0.5f);
        (copies % 2 ? unisonOdd : unisonEven) += 1;
    }
    releaseDecodedSong(song);
    for (int t = 1; t <= kEffectTypeCount; ++t)
        EXPECT_TRUE(effectType[t]) << "effect type " << t << " (" << kEffectTypes[t].name << ") is not in the song";
    for (int f = 0; f < 4; ++f) EXPECT_TRUE(filterOn[f]) << "filter slot " << f;
    EXPECT_TRUE(noiseBand);
    EXPECT_GT(unisonOdd, 0u);
    EXPECT_GT(unisonEven, 0u);
}
