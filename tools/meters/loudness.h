// Loudness by EBU R 128 (ITU-R BS.1770), measured by libebur128: integrated
// loudness, the largest short-term loudness, true peak and loudness range of
// a stereo signal, whole or fed piece by piece (a live overlay).
#pragma once
#include <ebur128.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Decibels of a power ratio and of an amplitude ratio; -inf for 0.
double powerDb(double ratio);
double amplitudeDb(double ratio);

// Figures of one signal; -inf where nothing passed the gates (silence).
struct Loudness {
    double integrated = 0.0;    // LUFS
    double maxShortTerm = 0.0;  // LUFS, the loudest 3 s window, looked at every 100 ms
    double truePeak = 0.0;      // dBTP, the larger of the two channels, 4x oversampled
    double range = 0.0;         // LRA in LU
};

// A running meter over interleaved stereo frames (left, right; full scale
// is 1.0). Not copyable: it owns libebur128's state.
class LoudnessMeter {
public:
    explicit LoudnessMeter(uint32_t sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Feeds frames; the short-term loudness is looked at every 100 ms of signal.
    void add(const float* interleaved, size_t frames);
    // Loudness of the last 400 ms and the last 3 s, LUFS.
    double momentary() const;
    double shortTerm() const;
    // dBTP of everything fed, the larger of the two channels.
    double truePeak() const;
    // dBTP of what the last call of add() fed, the larger of the two channels.
    double addedTruePeak() const { return amplitudeDb(addedPeak_); }
    // Everything fed so far.
    Loudness figures() const;
    // The short-term loudness at the end of every whole 100 ms fed so far
    // (entry k: the 3 s ending at (k + 1) * 100 ms; the first 3 s of a
    // signal count silence before it).
    const std::vector<double>& shortTermHistory() const { return history_; }

private:
    ebur128_state* state_;
    size_t sinceLook_ = 0;  // frames fed since the short-term loudness was last looked at
    size_t lookEvery_;
    double addedPeak_ = 0.0;  // linear
    std::vector<double> history_;
};

// The figures of a whole signal.
Loudness measureLoudness(const float* interleaved, size_t frames, uint32_t sampleRate);
