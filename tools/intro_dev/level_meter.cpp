// Short-term loudness and true peak of 16-bit stereo, through the meters library.
#include "tools/intro_dev/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "driver/music.h"
#include "tools/meters/loudness.h"

LevelReading measureLevel(const int16_t* frames, uint32_t count) {
    // A fresh meter per reading: after a seek or a loop the stretch heard is
    // not a continuation of the last one, so no state may carry over.
    std::vector<float> samples(size_t(count) * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = float(frames[i]) / 32768.0f;
    LoudnessMeter meter(kSampleRate);
    meter.add(samples.data(), count);
    return {float(meter.truePeak()), float(meter.shortTerm())};
}

bool LevelFollower::follow(const int16_t* frames, int64_t heardEnd) {
    if (frames == recording && std::llabs(heardEnd - end) < std::llround(kLevelStepSeconds * kSampleRate))
        return false;
    recording = frames;
    end = heardEnd;
    const int64_t begin = std::max<int64_t>(0, heardEnd - std::llround(kLevelWindowSeconds * kSampleRate));
    reading = heardEnd > begin ? measureLevel(frames + 2 * begin, uint32_t(heardEnd - begin))
                               : LevelReading{-INFINITY, -INFINITY};
    return true;
}

void levelBar(float db, char* out, int32_t width) {
    const float fill = db > -60.0f ? (db + 60.0f) / 60.0f : 0.0f;
    const int32_t filled = int32_t(std::lround(std::min(fill, 1.0f) * float(width)));
    for (int32_t i = 0; i < width; ++i) out[i] = i < filled ? '#' : '.';
    out[width] = '\0';
}
