// FormantFilter: the resonator runs in extended precision on a double history.
// Its x87 arithmetic is outside the SSE flush-to-zero, and an x87 store that
// underflows takes a slow path, so values too small for the history (double)
// or the bus (float) are replaced by 0 before they are stored.
#include "effects/formant_filter.h"

#include "runtime/params.h"

#include <cfloat>

namespace {

// |v| < limit in extended precision: v is zero or would be denormal (or
// underflow to zero) once rounded to the narrower type.
inline bool tinierThan(long double v, long double limit) {
    return v < limit && v > -limit;
}

void filterChannel(const double* c, double* h, float a, float* samples, uint32_t n) {
    const long double wet = a;
    const long double dry = 1.0L - (long double)a;
    for (uint32_t i = 0; i < n; ++i) {
        const float x = samples[i];
        long double r = c[0] * (long double)x;
        for (int k = 0; k < kFormantOrder; ++k) r += c[k + 1] * (long double)h[k];
        for (int k = kFormantOrder - 1; k > 0; --k) h[k] = h[k - 1];
        h[0] = tinierThan(r, DBL_MIN) ? 0.0 : double(r);
        const long double y = wet * r + dry * x;
        samples[i] = tinierThan(y, FLT_MIN) ? 0.0f : float(y);
    }
}

}  // namespace

const double kFormantCoefficients[kFormantVowels][kFormantOrder + 1] = {
    {3.11044e-06, 8.943665402, -36.83889529, 92.01697887, -154.337906, 181.6233289, -151.8651235,
     89.09614114, -35.10298511, 8.388101016, -0.923313471},
    {4.36215e-06, 8.90438318, -36.55179099, 91.05750846, -152.422234, 179.1170248, -149.6496211,
     87.78352223, -34.60687431, 8.282228154, -0.914150747},
    {3.33819e-06, 8.893102966, -36.49532826, 90.96543286, -152.4545478, 179.4835618, -150.315433,
     88.43409371, -34.98612086, 8.407803364, -0.932568035},
    {1.13572e-06, 8.994734087, -37.2084849, 93.22900521, -156.6929844, 184.596544, -154.3755513,
     90.49663749, -35.58964535, 8.478996281, -0.929252233},
    {4.09431e-07, 8.997322763, -37.20218544, 93.11385476, -156.2530937, 183.7080141, -153.2631681,
     89.59539726, -35.12454591, 8.338655623, -0.910251753},
};

int formantVowel(float p99) {
    const float scaled = p99 * 4.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= float(kFormantVowels - 1)) return kFormantVowels - 1;
    return int(scaled);
}

EffectUnit* createFormantFilter() {
    return allocateUnit<FormantFilter>();
}

void processFormantFilter(EffectUnit* unit, uint32_t, const float* params, float* busL, float* busR,
                          uint32_t count) {
    auto* formant = static_cast<FormantFilter*>(unit);
    const double* c = kFormantCoefficients[formantVowel(params[kFormantVowel])];
    const float a = params[kFormantBlend];
    filterChannel(c, formant->leftHistory, a, busL, count);
    filterChannel(c, formant->rightHistory, a, busR, count);
}
