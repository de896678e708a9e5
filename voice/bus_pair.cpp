// mixAdd: the one place where a signal is added into a bus with a level.
#include "voice/bus_pair.h"

#include <xmmintrin.h>

float mixGain(float x) {
    if (x <= 0.5f) {
        const float twice = x * 2.0f;
        return twice * twice;
    }
    return (x - 0.5f) * 20.0f + 1.0f;
}

// destination += gain x source, four frames to a vector (each lane the same
// single multiply and add as one frame alone).
static void addScaled(BusPair destination, BusPair source, uint32_t n, float gain) {
    float* dl = destination.left;
    float* dr = destination.right;
    const float* sl = source.left;
    const float* sr = source.right;
    const __m128 g = _mm_set1_ps(gain);
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_ps(dl + i, _mm_add_ps(_mm_loadu_ps(dl + i), _mm_mul_ps(g, _mm_loadu_ps(sl + i))));
        _mm_storeu_ps(dr + i, _mm_add_ps(_mm_loadu_ps(dr + i), _mm_mul_ps(g, _mm_loadu_ps(sr + i))));
    }
    for (; i < n; ++i) {
        dl[i] += gain * sl[i];
        dr[i] += gain * sr[i];
    }
}

void mixInto(BusPair destination, BusPair source, uint32_t n, float x) {
    addScaled(destination, source, n, mixGain(x));
}

bool mixAdd(BusPair destination, BusPair source, uint32_t n, float x) {
    const float gain = mixGain(x);
    if (n == 0) return false;
    addScaled(destination, source, n, gain);
    // The audibility sum stays a sequential float sum (left, then right,
    // frame by frame). Its addends are never negative, so once it exceeds
    // 1.0 it stays above; only a NaN further on could still turn it (into
    // NaN, which is not above 1.0), so the rest is only searched for one.
    const float* sl = source.left;
    const float* sr = source.right;
    float sum = 0.0f;
    uint32_t i = 0;
    for (; i < n && !(sum > 1.0f); ++i) {
        sum += sl[i] < 0.0f ? -sl[i] : sl[i];
        sum += sr[i] < 0.0f ? -sr[i] : sr[i];
    }
    if (!(sum > 1.0f)) return false;
    __m128 unordered = _mm_setzero_ps();
    for (; i + 4 <= n; i += 4) {
        const __m128 l = _mm_loadu_ps(sl + i);
        const __m128 r = _mm_loadu_ps(sr + i);
        unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(l, r));
    }
    for (; i < n; ++i)
        if (sl[i] != sl[i] || sr[i] != sr[i]) return false;
    return _mm_movemask_ps(unordered) == 0;
}
