// LoudnessMeter: a thin owner of one libebur128 state in stereo.
#include "tools/meters/loudness.h"

#include <algorithm>
#include <cmath>

LoudnessMeter::LoudnessMeter(uint32_t sampleRate)
    : state_(ebur128_init(2, sampleRate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK)),
      lookEvery_(sampleRate / 10) {}

LoudnessMeter::~LoudnessMeter() { ebur128_destroy(&state_); }

void LoudnessMeter::add(const float* interleaved, size_t frames) {
    // Fed in pieces that end on the 100 ms grid, so that the short-term
    // maximum does not depend on how the caller cuts the signal.
    addedPeak_ = 0.0;
    while (frames > 0) {
        const size_t piece = std::min(frames, lookEvery_ - sinceLook_);
        ebur128_add_frames_float(state_, interleaved, piece);
        for (unsigned channel = 0; channel < 2; ++channel) {
            double channelPeak = 0.0;
            ebur128_prev_true_peak(state_, channel, &channelPeak);
            addedPeak_ = std::max(addedPeak_, channelPeak);
        }
        interleaved += 2 * piece;
        frames -= piece;
        sinceLook_ += piece;
        if (sinceLook_ == lookEvery_) {
            sinceLook_ = 0;
            history_.push_back(shortTerm());
        }
    }
}

double LoudnessMeter::momentary() const {
    double value = -INFINITY;
    ebur128_loudness_momentary(state_, &value);
    return value;
}

double LoudnessMeter::shortTerm() const {
    double value = -INFINITY;
    ebur128_loudness_shortterm(state_, &value);
    return value;
}

double LoudnessMeter::truePeak() const {
    double peak = 0.0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double channelPeak = 0.0;
        ebur128_true_peak(state_, channel, &channelPeak);
        peak = std::max(peak, channelPeak);
    }
    return amplitudeDb(peak);
}

Loudness LoudnessMeter::figures() const {
    Loudness out;
    out.integrated = -INFINITY;
    ebur128_loudness_global(state_, &out.integrated);
    out.maxShortTerm = shortTerm();
    for (double value : history_) out.maxShortTerm = std::max(out.maxShortTerm, value);
    out.truePeak = truePeak();
    out.range = 0.0;
    ebur128_loudness_range(state_, &out.range);
    return out;
}

Loudness measureLoudness(const float* interleaved, size_t frames, uint32_t sampleRate) {
    LoudnessMeter meter(sampleRate);
    meter.add(interleaved, frames);
    return meter.figures();
}

double powerDb(double ratio) { return ratio > 0.0 ? 10.0 * std::log10(ratio) : -INFINITY; }
double amplitudeDb(double ratio) { return ratio > 0.0 ? 20.0 * std::log10(ratio) : -INFINITY; }
