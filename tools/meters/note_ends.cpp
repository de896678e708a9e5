// The cut-end detector works on 1 ms blocks counted back from the first
// silent frame: block j covers the j-th millisecond before the silence.
#include "tools/meters/note_ends.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kLookBackMs = 2000.0;  // how far back the last loud moment is sought

// Largest |sample| of either channel over frames [begin, end).
float peakOf(const float* interleaved, size_t begin, size_t end) {
    float peak = 0.0f;
    for (size_t i = 2 * begin; i < 2 * end; ++i) peak = std::max(peak, std::fabs(interleaved[i]));
    return peak;
}

}  // namespace

std::vector<size_t> cutNoteEnds(const float* interleaved, size_t frames, uint32_t sampleRate) {
    const size_t block = std::max<size_t>(1, sampleRate / 1000);
    const size_t silence = size_t(std::ceil(kSilenceMs * sampleRate / 1000.0));
    const size_t within = size_t(std::lround(kCutWithinMs));  // in blocks of 1 ms
    const size_t lookBack = size_t(kLookBackMs);
    const float loud = float(std::pow(10.0, kCutFromDbfs / 20.0));
    const double fall = std::pow(10.0, -kCutFallDb / 20.0);

    std::vector<size_t> cuts;
    size_t quietSince = 0;  // first frame of the current run of silent frames
    for (size_t i = 0; i < frames; ++i) {
        if (interleaved[2 * i] != 0.0f || interleaved[2 * i + 1] != 0.0f) {
            quietSince = i + 1;
            continue;
        }
        // Judge each silence once, when it has lasted long enough.
        if (i + 1 - quietSince != silence || quietSince == 0) continue;
        const size_t end = quietSince;
        // The last millisecond still above the threshold, and the level six
        // blocks later (0 once the silence has begun).
        for (size_t j = 0; j < lookBack && (j + 1) * block <= end; ++j) {
            const float peak = peakOf(interleaved, end - (j + 1) * block, end - j * block);
            if (peak <= loud) continue;
            const float after = j < within ? 0.0f
                                           : peakOf(interleaved, end - (j + 1 - within) * block,
                                                    end - (j - within) * block);
            if (after <= peak * fall) cuts.push_back(end);
            break;
        }
    }
    return cuts;
}
