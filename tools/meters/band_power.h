// Where a signal's power lies in frequency, through FFTW: a Welch power
// spectrum with its octave-band balance, and the energy of one short stretch
// in a band (a kick's first 100 ms below 100 Hz).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Octave bands by their nominal centres, 31.5 Hz to 16 kHz; each spans its
// centre / sqrt(2) to centre * sqrt(2).
constexpr int kOctaveBands = 10;
extern const double kOctaveCentres[kOctaveBands];

// Power by frequency of both channels together: Hann-windowed segments of
// `segment` frames overlapping by half, averaged (32768 frames: bins of
// 1.3 Hz, fine enough to keep a 40 Hz bass out of the 63 Hz octave). Only
// ratios of its bins are meaningful. A signal shorter than one segment is
// zero-padded to it.
struct PowerSpectrum {
    double binHz = 0.0;
    std::vector<double> power;  // bins 0 .. segment / 2
};
PowerSpectrum powerSpectrum(const float* interleaved, size_t frames, uint32_t sampleRate, size_t segment = 32768);

// Share of the total power that lies in low <= f < high, in dB (-inf for
// none; 0 dB for all of it).
double bandShareDb(const PowerSpectrum& spectrum, double low, double high);

// The octave-band balance: bandShareDb of each octave band.
std::array<double, kOctaveBands> octaveBalance(const PowerSpectrum& spectrum);

// Energy (sum of squared samples, both channels) that `frames` frames hold in
// low <= f < high, from one transform zero-padded to a power of two. The
// stretch is weighed evenly but for 5% cosine ramps at either end, which keep
// a strong tone outside the band from leaking into it; two signals measured
// over the same stretch compare directly.
double bandEnergy(const float* interleaved, size_t frames, uint32_t sampleRate, double low, double high);
