// Test harness for the effect units: a unit made through the type tables and
// freed on scope exit, a parameter block, and block-wise processing of whole
// signals.
#pragma once
#include <cstdint>
#include <vector>

#include "effects/effect_registry.h"
#include "runtime/params.h"  // kParamCount and the parameter names

constexpr uint32_t kTestRate = 44100;
constexpr uint32_t kTestBlock = 512;

// One unit of one type, destroyed through the table when the test ends.
struct TestUnit {
    int type;
    EffectUnit* unit;
    explicit TestUnit(int t) : type(t), unit(effectCreateFor(t)()) {}
    ~TestUnit() { effectDestroyFor(type)(unit); }
    TestUnit(const TestUnit&) = delete;
    TestUnit& operator=(const TestUnit&) = delete;

    template <class T>
    T& state() { return *static_cast<T*>(unit); }

    // Processes the signals in place in blocks of `block` frames (the last
    // one shorter when the length is not a multiple).
    void run(const std::vector<float>& params, std::vector<float>& left, std::vector<float>& right,
             uint32_t block = kTestBlock, uint32_t rate = kTestRate) {
        for (size_t start = 0; start < left.size(); start += block) {
            const uint32_t n = uint32_t(left.size() - start < block ? left.size() - start : block);
            effectProcessFor(type)(unit, rate, params.data(), left.data() + start,
                                   right.data() + start, n);
        }
    }
};

// A parameter block of zeros.
inline std::vector<float> zeroParams() {
    return std::vector<float>(kParamCount, 0.0f);
}

// Uniform noise in [-amplitude, amplitude] from a fixed xorshift sequence.
inline std::vector<float> noise(size_t frames, uint32_t seed, float amplitude = 1.0f) {
    std::vector<float> out(frames);
    uint32_t s = seed * 2654435761u + 1u;
    for (float& v : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        v = (float(s) / 4294967296.0f * 2.0f - 1.0f) * amplitude;
    }
    return out;
}

// A unit impulse at frame 0 of `frames` frames.
inline std::vector<float> impulse(size_t frames, float height = 1.0f) {
    std::vector<float> out(frames, 0.0f);
    out[0] = height;
    return out;
}
