// Peak and RMS of 16-bit stereo.
#include "tools/intro_dev/level_meter.h"

#include <cmath>
#include <cstdlib>
#include <limits>

LevelReading measureLevel(const int16_t* frames, uint32_t count) {
    int32_t peak = 0;
    double squares = 0.0;
    for (uint32_t i = 0; i < count * 2; ++i) {
        const int32_t sample = frames[i];
        peak = std::max(peak, std::abs(sample));
        squares += double(sample) * double(sample);
    }
    const float silence = -std::numeric_limits<float>::infinity();
    LevelReading reading{"rms", silence, silence};
    if (peak > 0) reading.peak = float(20.0 * std::log10(double(peak) / 32768.0));
    if (squares > 0.0) reading.loudness = float(10.0 * std::log10(squares / double(count * 2) / (32768.0 * 32768.0)));
    return reading;
}

void levelBar(float db, char* out, int32_t width) {
    const float fill = db > -60.0f ? (db + 60.0f) / 60.0f : 0.0f;
    const int32_t filled = int32_t(std::lround(std::min(fill, 1.0f) * float(width)));
    for (int32_t i = 0; i < width; ++i) out[i] = i < filled ? '#' : '.';
    out[width] = '\0';
}
