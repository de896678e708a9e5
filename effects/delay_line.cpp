// DelayLine: initialisation, delay time and the per-sample loop.
#include "effects/delay_line.h"

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
