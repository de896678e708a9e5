// Spectra through FFTW's real-input transform, planned with FFTW_ESTIMATE
// (no timing runs: a plan is made per call and costs microseconds).
#include "tools/meters/band_power.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

#include "tools/meters/loudness.h"  // powerDb

const double kOctaveCentres[kOctaveBands] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

namespace {

// One real-to-complex transform of a fixed size with its own buffers.
class RealTransform {
public:
    explicit RealTransform(size_t size)
        : size_(size),
          in_(fftw_alloc_real(size)),
          out_(fftw_alloc_complex(size / 2 + 1)),
          plan_(fftw_plan_dft_r2c_1d(int(size), in_, out_, FFTW_ESTIMATE)) {}
    ~RealTransform() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    double* input() { return in_; }
    // Transforms the input and adds |X_k|^2 to power[k] for k = 0 .. size / 2.
    void addPower(std::vector<double>& power) {
        fftw_execute(plan_);
        for (size_t k = 0; k <= size_ / 2; ++k) power[k] += out_[k][0] * out_[k][0] + out_[k][1] * out_[k][1];
    }

private:
    size_t size_;
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};

}  // namespace

PowerSpectrum powerSpectrum(const float* interleaved, size_t frames, uint32_t sampleRate, size_t segment) {
    PowerSpectrum spectrum;
    spectrum.binHz = double(sampleRate) / double(segment);
    spectrum.power.assign(segment / 2 + 1, 0.0);
    RealTransform transform(segment);
    std::vector<double> window(segment);
    for (size_t i = 0; i < segment; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(segment));
    const size_t hop = segment / 2;
    for (size_t begin = 0; begin == 0 || begin + segment <= frames; begin += hop) {
        for (int channel = 0; channel < 2; ++channel) {
            for (size_t i = 0; i < segment; ++i)
                transform.input()[i] =
                    begin + i < frames ? window[i] * double(interleaved[2 * (begin + i) + size_t(channel)]) : 0.0;
            transform.addPower(spectrum.power);
        }
    }
    return spectrum;
}

double bandShareDb(const PowerSpectrum& spectrum, double low, double high) {
    double band = 0.0, total = 0.0;
    for (size_t k = 0; k < spectrum.power.size(); ++k) {
        const double f = double(k) * spectrum.binHz;
        total += spectrum.power[k];
        if (f >= low && f < high) band += spectrum.power[k];
    }
    return total > 0.0 ? powerDb(band / total) : -INFINITY;
}

std::array<double, kOctaveBands> octaveBalance(const PowerSpectrum& spectrum) {
    std::array<double, kOctaveBands> shares;
    for (int b = 0; b < kOctaveBands; ++b)
        shares[size_t(b)] = bandShareDb(spectrum, kOctaveCentres[b] / M_SQRT2, kOctaveCentres[b] * M_SQRT2);
    return shares;
}

double bandEnergy(const float* interleaved, size_t frames, uint32_t sampleRate, double low, double high) {
    size_t size = 1024;
    while (size < frames) size *= 2;
    RealTransform transform(size);
    std::vector<double> power(size / 2 + 1, 0.0);
    // Cosine ramps over the first and last 5% of the stretch: cut edges
    // would spread a strong tone far outside the band into it.
    const size_t ramp = std::max<size_t>(1, frames / 20);
    auto taper = [&](size_t i) {
        const size_t edge = std::min(i, frames - 1 - i);
        return edge >= ramp ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * (double(edge) + 0.5) / double(ramp));
    };
    for (int channel = 0; channel < 2; ++channel) {
        for (size_t i = 0; i < size; ++i)
            transform.input()[i] = i < frames ? taper(i) * double(interleaved[2 * i + size_t(channel)]) : 0.0;
        transform.addPower(power);
    }
    // Parseval: the sum of squares is the power of every bin over the size;
    // the bins between 0 and the Nyquist bin stand for their mirror too.
    double energy = 0.0;
    for (size_t k = 0; k <= size / 2; ++k) {
        const double f = double(k) * double(sampleRate) / double(size);
        if (f >= low && f < high) energy += (k == 0 || k == size / 2 ? 1.0 : 2.0) * power[k];
    }
    return energy / double(size);
}
