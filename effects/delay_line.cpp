// DelayLine: initialisation, delay time and the per-sample loop.
#include "effects/delay_line.h"

#include <emmintrin.h>

#include "effects/effect_unit.h"

void initDelayLine(DelayLine& line, bool tapMode) {
    line.tapMode = tapMode;
    // A zero length would leave feedback mode with no wrap point.
    line.length = 1;
    line.readIndex = 0;
    line.writeIndex = 0;
}

void setTime(DelayLine& line, uint32_t sampleRate, float ms) {
    // 0.001 is the double constant; the product is rounded to a float once.
    const float frames = float((long double)sampleRate * (long double)ms * (long double)0.001);
    // Clamp before truncating so that huge, negative or NaN times stay in range.
    uint32_t length;
    if (!(frames >= 1.0f)) {
        length = 1;
    } else if (frames >= float(kDelayLineCapacity)) {
        length = kDelayLineCapacity;
    } else {
        length = uint32_t(frames);
    }
    line.length = length;
    if (line.tapMode) {
        line.readIndex = line.writeIndex >= length ? line.writeIndex - length
                                                   : line.writeIndex + kDelayLineCapacity - length;
    } else {
        if (line.writeIndex > length - 1) line.writeIndex = length - 1;
        if (line.readIndex > length - 1) line.readIndex = length - 1;
    }
}

void processDelayLine(DelayLine& line, float* samples, uint32_t n, float g) {
    const uint32_t wrap = line.tapMode ? kDelayLineCapacity : line.length;
    // Tap mode stores only the new input; feedback mode adds what comes back.
    const float k = line.tapMode ? 0.0f : 1.0f;
    float* buffer = line.buffer;
    uint32_t readIndex = line.readIndex;
    uint32_t writeIndex = line.writeIndex;
    if (!line.tapMode && readIndex == writeIndex && writeIndex < wrap) {
        // Feedback mode reads the entry it has just written: y = w + x. Within
        // a stretch that does not reach the end of the line every frame has an
        // entry of its own, so four frames go to a vector, each lane with the
        // arithmetic of one frame (zero or denormal w stored as +0).
        const __m128 kv = _mm_set1_ps(k), gv = _mm_set1_ps(g);
        const __m128i exponent = _mm_set1_epi32(0x7F800000);
        uint32_t index = writeIndex;
        for (uint32_t i = 0; i < n;) {
            const uint32_t room = wrap - index;
            const uint32_t run = n - i < room ? n - i : room;
            float* entries = buffer + index;
            float* in = samples + i;
            uint32_t f = 0;
            for (; f + 4 <= run; f += 4) {
                const __m128 x = _mm_loadu_ps(in + f);
                const __m128 w = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(kv, _mm_loadu_ps(entries + f)), x), gv);
                const __m128 tiny = _mm_castsi128_ps(
                    _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(w), exponent), _mm_setzero_si128()));
                const __m128 stored = _mm_andnot_ps(tiny, w);
                _mm_storeu_ps(entries + f, stored);
                _mm_storeu_ps(in + f, _mm_add_ps(stored, x));
            }
            for (; f < run; ++f) {
                const float x = in[f];
                entries[f] = flushTiny((k * entries[f] + x) * g);
                in[f] = entries[f] + x;
            }
            index += run;
            if (index >= wrap) index = 0;
            i += run;
        }
        line.readIndex = index;
        line.writeIndex = index;
        return;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const float x = samples[i];
        const float w = (k * buffer[writeIndex] + x) * g;
        buffer[writeIndex] = flushTiny(w);
        const float y = buffer[readIndex] + x;
        if (++readIndex >= wrap) readIndex = 0;
        if (++writeIndex >= wrap) writeIndex = 0;
        samples[i] = y;
    }
    line.readIndex = readIndex;
    line.writeIndex = writeIndex;
}
