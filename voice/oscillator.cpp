// The spectral wavetable oscillator: block-rate spectrum build, phase
// pattern, 512-point transform and normalisation, and the per-frame unison
// playback with left and right as the two low lanes of one SSE vector.
#include "voice/oscillator.h"

#include <cmath>
#include <xmmintrin.h>
#include <emmintrin.h>

#include "runtime/math.h"
#include "runtime/params.h"
#include "runtime/random.h"
#include "voice/modulation.h"
#include "voice/synth_tables.h"
#include "voice/voice.h"

namespace {

// The low 64 bits of a vector; 32-bit x86 has no 64-bit move out of an SSE
// register, so there it takes two 32-bit moves.
inline uint64_t lowQuad(__m128i v) {
#if defined(__x86_64__)
    return uint64_t(_mm_cvtsi128_si64(v));
#else
    return uint64_t(uint32_t(_mm_cvtsi128_si32(v))) | uint64_t(uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(v, 4)))) << 32;
#endif
}

constexpr float kInvWaveSize = 0.001953125f;  // 1/512
constexpr float kCacheTolerance = 0.00001f;

// Frequency multipliers for round(8 * P8) = 0..8, four octaves up to four down.
constexpr float kOctave[9] = {16.0f, 8.0f, 4.0f, 2.0f, 1.0f, 0.5f, 0.25f, 0.125f, 0.0625f};

int32_t roundToInt(float x) {
    return int32_t(roundHalfUp(x));
}

// Index 0..limit from a setting, whatever the setting (NaN gives 0).
uint32_t clampedIndex(float x, int32_t limit) {
    const int32_t i = roundToInt(x);
    if (i < 0) return 0;
    return uint32_t(i > limit ? limit : i);
}

// clamp() that also sends NaN to lo, so a runaway modulation product
// cannot turn the partial layout into NaN.
float clampSetting(float lo, float v, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

bool isFinite(float x) {
    return x - x == 0.0f;
}

// The phase rule "while above 1, subtract 1", without the loop: for phases
// below 2^24 the subtractions are exact, so one subtraction of ceil(p) - 1
// gives the same bits, and it also ends for phases where p - 1 == p.
float wrapPhase(float p) {
    if (p > 1.0f) p -= std::ceil(p) - 1.0f;
    return p;
}

constexpr uint32_t bitReverse9(uint32_t i) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < 9; ++b) {
        r = (r << 1) | (i & 1u);
        i >>= 1;
    }
    return r;
}

// bitReverse9 of every index, made by the compiler.
struct BitReversal {
    uint16_t of[kWaveSize];
};
constexpr BitReversal makeBitReversal() {
    BitReversal t{};
    for (uint32_t i = 0; i < kWaveSize; ++i) t.of[i] = uint16_t(bitReverse9(i));
    return t;
}
constexpr BitReversal kBitReversal = makeBitReversal();

}  // namespace

void initOscillator(OscState& osc) {
    Random random;
    random.seedFromClock();
    for (uint32_t u = 0; u < kMaxUnison; ++u) {
        const float a = random.range(0.0f, 1.0f);
        const float b = random.range(0.0f, 1.0f);
        osc.phases[u][0] = a;
        // Can start above 1; playback wraps it before the first look-up.
        osc.phases[u][1] = a + 0.1f * b;
    }
    osc.rotation = random.range(0.0f, 100.0f);
    osc.incL = 0.0f;
    osc.incR = 0.0f;
}

bool buildSpectrum(const SynthTables& tables, const float* params, const ModState& mod, OscState& osc,
                   float brightness) {
    // Bright notes fill the whole table; above about 2 kHz only 4 bins stay.
    const float bins = floorInt(512.0f * clampSetting(0.0f, brightness, 1.0f));
    const uint32_t binCount = bins > 4.0f ? uint32_t(bins) : 4u;

    const float c3 = clampSetting(0.0f, params[kOscPartials] * modProduct(mod, kDestPartialCount), 1.0f);
    const float c1 = clampSetting(0.0f, params[kOscPartialWidth] * modProduct(mod, kDestPartialWidth), 1.0f);
    const float c2 = clampSetting(0.0f, params[kOscRolloff] * modProduct(mod, kDestRolloff), 1.0f);
    const float c4 = clampSetting(0.0f, params[kOscPartialSpacing] * 4.0f * modProduct(mod, kDestSpacing), 4.0f);

    const uint32_t partialCount = 1u + minUnsigned(uint32_t(floorInt(64.0f * c3)), 64u);

    if (partialCount == osc.cachedPartials && binCount == osc.cachedBins &&
        absLess(c2 - osc.cachedRolloff, kCacheTolerance) && absLess(c4 - osc.cachedSpacing, kCacheTolerance) &&
        absLess(c1 - osc.cachedWidth, kCacheTolerance)) {
        return false;
    }

    for (uint32_t i = 0; i < kWaveSize; ++i) {
        osc.spectrum[i] = {0.0f, 0.0f};
        osc.animated[i] = {0.0f, 0.0f};
    }

    // Partial j (1-based) sits at bin 1 + (2j - 1) * spacing, widens with j
    // and falls off as 1 / j^(1 + roll-off).
    float centre[kMaxPartials], width[kMaxPartials], amp[kMaxPartials];
    for (uint32_t n = 0; n < partialCount; ++n) {
        const float j = float(n + 1);
        const float twoJ = 1024.0f * (j * kInvWaveSize);
        centre[n] = 1.0f + (twoJ - 1.0f) * c4;
        width[n] = 0.3f + j * c1;
        amp[n] = 1.0f / power(j, 1.0f + c2);
    }

    // Each profile is e^-d, cut off at d = 5 widths from its centre. Partials
    // are visited in order, each over the bins it can reach (one bin of
    // margin; the exact test is still made), so every bin sums the same
    // terms in the same order as a full scan, at a fraction of the cost.
    float* const sums = &osc.spectrum[0].re;  // real parts, stride 2
    for (uint32_t n = 0; n < partialCount; ++n) {
        const float reach = 5.0f * width[n];
        const float first = floorInt(centre[n] - reach) - 1.0f;
        const float last = floorInt(centre[n] + reach) + 1.0f;
        const uint32_t begin = first > 0.0f ? uint32_t(first) : 0u;
        const uint32_t end = last < float(binCount) ? uint32_t(last) + 1u : binCount;
        for (uint32_t i = begin; i < end; ++i) {
            const float d = absValue(centre[n] - float(i)) / width[n];
            if (d < 5.0f) sums[2 * i] += tables.decay[uint32_t(floorInt(d / 5.0f * 4095.0f))] * amp[n];
        }
    }
    for (uint32_t i = 1; i < binCount; ++i) osc.spectrum[i].im = osc.spectrum[i].re;
    osc.spectrum[0] = {1.0f, 0.0f};

    osc.cachedBins = binCount;
    osc.cachedPartials = partialCount;
    osc.cachedSpacing = c4;
    osc.cachedRolloff = c2;
    osc.cachedWidth = c1;
    return true;
}

bool animateSpectrum(const SynthTables& tables, const float* params, OscState& osc) {
    if (absLess(osc.rotation, 0.00001f)) return false;
    const float a = params[kOscMotion];
    const bool on = !absLess(a, 0.00001f);

    // Each bin's phase turns at its own speed, set by the random phaseSines;
    // only angles up to pi/4 (sine entries 0..511) are reached. Four bins to
    // a vector, each lane with the arithmetic of one bin: the angle index is
    // floorInt's (-2^31 out of range, so entry 0) taken modulo 512.
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 aV = _mm_set1_ps(a);
    const __m128 turn = _mm_set1_ps(osc.rotation);
    const __m128 lowest = _mm_set1_ps(-2147483648.0f), limit = _mm_set1_ps(2147483648.0f);
    const __m128i mask = _mm_set1_epi32(int32_t(kWaveSize - 1));
    for (uint32_t i = 0; i < kWaveSize; i += 4) {
        const __m128 d = on ? _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(one, _mm_mul_ps(_mm_loadu_ps(tables.phaseSines + i), aV)), turn),
                                         _mm_set1_ps(512.0f))
                            : _mm_setzero_ps();
        const __m128 bin = _mm_cvtepi32_ps(_mm_setr_epi32(int32_t(i), int32_t(i + 1), int32_t(i + 2), int32_t(i + 3)));
        const __m128 x = _mm_mul_ps(_mm_mul_ps(bin, _mm_set1_ps(kInvWaveSize)), d);
        const __m128i truncated = _mm_cvttps_epi32(x);
        // Truncation rounds up below zero: one less where that happened.
        const __m128i below = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(truncated), x));
        const __m128i floored = _mm_add_epi32(truncated, below);
        const __m128i inRange = _mm_castps_si128(_mm_and_ps(_mm_cmpge_ps(x, lowest), _mm_cmplt_ps(x, limit)));
        const __m128i index = _mm_and_si128(_mm_and_si128(floored, inRange), mask);
        alignas(16) uint32_t idx[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), index);
        for (uint32_t k = 0; k < 4; k += 2) {
            const __m128 rotor = _mm_setr_ps(tables.sine[idx[k]], tables.sine[(idx[k] + 128) & (kWaveSize - 1)],
                                             tables.sine[idx[k + 1]], tables.sine[(idx[k + 1] + 128) & (kWaveSize - 1)]);
            _mm_storeu_ps(&osc.animated[i + k].re, _mm_mul_ps(rotor, _mm_loadu_ps(&osc.spectrum[i + k].re)));
        }
    }
    osc.animated[0] = {1.0f, 0.0f};

    osc.rotation += a * a * a * 0.01f;
    if (osc.rotation >= 100.0f) osc.rotation -= 100.0f;
    return true;
}

namespace {

// The twiddles of fft512 for sign +1, stage after stage (spans 1, 2, ...,
// 256: 511 in all), made once by the very rotation the transform used to run
// inline, so every value is the one it computed. Sign -1 gives the same
// real parts and negated imaginary parts, exactly (negation commutes with
// every rounding of the rotation).
struct Twiddles {
    ComplexFloat w[kWaveSize - 1];
};

Twiddles makeTwiddles() {
    Twiddles t{};
    uint32_t at = 0;
    for (uint32_t m = 1; m < kWaveSize; m <<= 1) {
        const float theta = kPi / float(m);
        const float c = cosRad(theta);
        const float s = sinRad(theta);
        float wr = 1.0f, wi = 0.0f;
        for (uint32_t q = 0; q < m; ++q) {
            t.w[at++] = {wr, wi};
            const float oldWr = wr;
            wr = wr * c - wi * s;
            wi = wi * c + oldWr * s;
        }
    }
    return t;
}

}  // namespace

// One butterfly: t = data[j] x w; data[j] = data[i] - t; data[i] += t.
inline void butterfly(ComplexFloat& a, ComplexFloat& b, float wr, float wi) {
    const float tr = b.re * wr - b.im * wi;
    const float ti = b.im * wr + b.re * wi;
    b.re = a.re - tr;
    b.im = a.im - ti;
    a.re = a.re + tr;
    a.im = a.im + ti;
}

void fft512(ComplexFloat* data, int32_t sign) {
    for (uint32_t i = 0; i < kWaveSize; ++i) {
        const uint32_t j = kBitReversal.of[i];
        if (j > i) {
            const ComplexFloat t = data[i];
            data[i] = data[j];
            data[j] = t;
        }
    }

    if (sign == 1 || sign == -1) {
        static const Twiddles twiddles = makeTwiddles();
        const ComplexFloat* w = twiddles.w;
        // Span 1: the one twiddle (1, 0), with its multiplications kept
        // (they decide the sign of zeros).
        for (uint32_t i = 0; i < kWaveSize; i += 2) butterfly(data[i], data[i + 1], w->re, w->im);
        ++w;
        // Wider spans: offsets q and q + 1 side by side in one vector, each
        // lane the scalar butterfly's arithmetic (a - b as a + (-b), which
        // is the same rounding).
        const __m128 negateEven = _mm_castsi128_ps(_mm_setr_epi32(int32_t(0x80000000u), 0, int32_t(0x80000000u), 0));
        const __m128 flip = _mm_castsi128_ps(_mm_set1_epi32(sign == 1 ? 0 : int32_t(0x80000000u)));
        for (uint32_t m = 2; m < kWaveSize; m <<= 1) {
            for (uint32_t q = 0; q < m; q += 2, w += 2) {
                // (wr, wr, wr', wr') and (wi, wi, wi', wi') of offsets q and q + 1.
                const __m128 pair = _mm_loadu_ps(&w->re);
                const __m128 wr = _mm_shuffle_ps(pair, pair, _MM_SHUFFLE(2, 2, 0, 0));
                const __m128 wi = _mm_xor_ps(_mm_shuffle_ps(pair, pair, _MM_SHUFFLE(3, 3, 1, 1)), flip);
                for (uint32_t i = q; i < kWaveSize; i += 2 * m) {
                    float* a = &data[i].re;
                    float* b = &data[i + m].re;
                    const __m128 bv = _mm_loadu_ps(b);
                    const __m128 swapped = _mm_shuffle_ps(bv, bv, _MM_SHUFFLE(2, 3, 0, 1));  // im, re
                    const __m128 t = _mm_add_ps(_mm_mul_ps(bv, wr), _mm_xor_ps(_mm_mul_ps(swapped, wi), negateEven));
                    const __m128 av = _mm_loadu_ps(a);
                    _mm_storeu_ps(b, _mm_sub_ps(av, t));
                    _mm_storeu_ps(a, _mm_add_ps(av, t));
                }
            }
        }
        return;
    }

    for (uint32_t m = 1; m < kWaveSize; m <<= 1) {
        const float theta = kPi / float(m);
        const float c = cosRad(theta);
        const float s = float(sign) * sinRad(theta);
        // The twiddle is rotated by theta after each offset, not recomputed.
        float wr = 1.0f, wi = 0.0f;
        for (uint32_t q = 0; q < m; ++q) {
            for (uint32_t i = q; i < kWaveSize; i += 2 * m) {
                const uint32_t j = i + m;
                const float tr = data[j].re * wr - data[j].im * wi;
                const float ti = data[j].im * wr + data[j].re * wi;
                data[j].re = data[i].re - tr;
                data[j].im = data[i].im - ti;
                data[i].re = data[i].re + tr;
                data[i].im = data[i].im + ti;
            }
            const float oldWr = wr;
            wr = wr * c - wi * s;
            wi = wi * c + oldWr * s;
        }
    }
}

void normalizeWave(ComplexFloat* data, uint32_t count) {
    float peak = 0.00001f;
    for (uint32_t i = 0; i < count; ++i) peak = maxOf(absValue(data[i].re), peak);
    const float scale = 1.0f / peak;
    float sum = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        data[i].re *= scale;
        sum += data[i].re;
    }
    const float mean = sum / float(count);
    for (uint32_t i = 0; i < count; ++i) data[i].re -= mean;
}

void refreshWavetable(const SynthTables& tables, const float* params, const ModState& mod, OscState& osc,
                      float brightness) {
    const bool rebuilt = buildSpectrum(tables, params, mod, osc, brightness);
    const bool patterned = animateSpectrum(tables, params, osc);
    // With the pattern standing still (P4 below 0.00001) every bin turns by
    // the same fixed angle whatever the rotation, so an unchanged spectrum
    // makes the same input as last time, and the transform would give the
    // table it holds. Half the refreshes of a song are such repeats.
    const WaveInput input = !patterned                              ? WaveInput::kSpectrum
                            : absLess(params[kOscMotion], 0.00001f) ? WaveInput::kStillPattern
                                                                    : WaveInput::kMovingPattern;
    if (!rebuilt && input != WaveInput::kMovingPattern && input == osc.transformed) return;
    osc.transformed = input;
    const ComplexFloat* source = patterned ? osc.animated : osc.spectrum;
    for (uint32_t i = 0; i < kWaveSize; ++i) osc.wavetable[i] = source[i];
    fft512(osc.wavetable, 1);
    normalizeWave(osc.wavetable, kWaveSize);
}

OscillatorBlock decodeOscillator(const SynthTables& tables, const float* params, const ModState& mod, float frequency,
                                 float amp, float gainL, float gainR) {
    OscillatorBlock block{};
    block.silent = true;
    float level = params[kOscLevel] * 4.0f * amp;
    if (!(level > 0.0f) && !(maxOf(gainL, gainR) > 0.0f)) return block;

    const float balance = params[kOscBalance];
    const uint32_t copies = 1 + clampedIndex(9.0f * params[kOscUnison], kMaxUnison - 1);
    const bool fixed = params[kOscFixedPitch] >= 0.00001f;

    level = level * modProduct(mod, kDestOscLevel);
    // A runaway modulation product (inf or NaN) silences the oscillator
    // instead of carrying inf/NaN into the lane gains and the mix.
    if (!isFinite(level)) level = 0.0f;
    const float det = params[kOscStereoDetune] * modProduct(mod, kDestStereoDetune);
    const float drive = params[kOscDrive] * modProduct(mod, kDestDrive);
    const float spread = params[kOscUnisonSpread] * modProduct(mod, kDestUnisonSpread);
    const float pitch = modProduct(mod, kDestPitch);

    if (maxOf(maxOf(level, gainL), gainR) < 0.001f) return block;

    const float rate = float(tables.sampleRate);
    const float detHz = det * det * det * 10.0f;
    const float fixedHz = params[kOscFixedPitch] * params[kOscFixedPitch] * 1000.0f;

    const float f = frequency * kOctave[clampedIndex(8.0f * params[kOscOctave], 8)];
    float incL = f + detHz;
    float incR = f - detHz;
    if (fixed) incL = incR = fixedHz;
    block.incL = incL * pitch / rate;
    block.incR = pitch * incR / rate;
    block.spreadInc = ((spread * spread) * spread) * spread / rate * 10.0f;
    block.driveGain = 1.0f + drive * 32.0f;
    block.copies = copies;

    // Balance 0 is left only, 0.5 both at full gain, 1 right only.
    const float g = level * 0.1f;
    block.gainL = balance <= 0.5f ? g : (1.0f - (balance - 0.5f) * 2.0f) * g;
    block.gainR = balance >= 0.5f ? g : balance * 2.0f * g;
    block.silent = false;
    return block;
}

namespace {

// Plays `Pairs` vectors of two unison copies into the voice buffers (the
// last vector holds one copy when `OddCount`): frame by frame, the copies are
// added into the voice sample in copy order, as adding each copy over the
// whole block in turn would. Every copy ramps through the same gains, so one
// gain vector serves all. A template so that the phases stay in registers.
template <uint32_t Pairs, bool OddCount>
void playCopies(const ComplexFloat* table, __m128* phases, const __m128* incs, __m128 gain, __m128 gainStep,
                __m128 driveV, float* left, float* right, uint32_t count) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 tableScale = _mm_set1_ps(float(kWaveSize - 1));
    const __m128i indexMask = _mm_set1_epi32(int32_t(kWaveSize - 1));
    __m128 phase[Pairs], inc[Pairs];
    for (uint32_t p = 0; p < Pairs; ++p) {
        phase[p] = phases[p];
        inc[p] = incs[p];
    }
    for (uint32_t i = 0; i < count; ++i) {
        __m128 out = _mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i));
#pragma GCC unroll 5
        for (uint32_t p = 0; p < Pairs; ++p) {
            // Truncated look-up; phases lie in [0, 1] so the mask only guards.
            // The four indices (below 512) travel as 16-bit fields of one word.
            const __m128i index = _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(phase[p], tableScale)), indexMask);
            const uint64_t fields = lowQuad(_mm_packs_epi32(index, index));
            const __m128 lo = _mm_unpacklo_ps(_mm_load_ss(&table[fields & 0xFFFF].re),
                                              _mm_load_ss(&table[(fields >> 16) & 0xFFFF].re));
            const __m128 hi = _mm_unpacklo_ps(_mm_load_ss(&table[(fields >> 32) & 0xFFFF].re),
                                              _mm_load_ss(&table[fields >> 48].re));
            // Drive, then hard clip to [-1, 1]; a NaN sample clips to -1.
            const __m128 s = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_movelh_ps(lo, hi), driveV), minusOne), one);
            const __m128 product = _mm_mul_ps(s, gain);
            out = _mm_add_ps(out, product);
            if (!OddCount || p + 1 < Pairs) out = _mm_add_ps(out, _mm_movehl_ps(product, product));

            __m128 next = _mm_add_ps(phase[p], inc[p]);
            next = _mm_sub_ps(next, _mm_and_ps(_mm_cmpgt_ps(next, one), one));
            if (__builtin_expect(_mm_movemask_ps(_mm_cmpgt_ps(next, one)) != 0, 0)) {
                // Only increments above one cycle per frame get here.
                alignas(16) float lanes[4];
                _mm_store_ps(lanes, next);
                next = _mm_setr_ps(wrapPhase(lanes[0]), wrapPhase(lanes[1]), wrapPhase(lanes[2]), wrapPhase(lanes[3]));
            }
            phase[p] = next;
        }
        _mm_store_ss(left + i, out);
        _mm_store_ss(right + i, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
        gain = _mm_add_ps(gain, gainStep);
    }
    for (uint32_t p = 0; p < Pairs; ++p) phases[p] = phase[p];
}

}  // namespace

void runOscillator(const OscillatorBlock& block, OscState& osc, float& gainL, float& gainR, BusPair out,
                   uint32_t count) {
    if (block.silent) return;
    float* const left = out.left;
    float* const right = out.right;
    float incL = block.incL;
    float incR = block.incR;

    const float invCount = 1.0f / float(count);
    // Lanes: 0 left, 1 right; the upper two are unused and stay harmless.
    const __m128 driveV = _mm_set1_ps(block.driveGain);
    const __m128 startGain = _mm_setr_ps(gainL, gainR, 0.0f, 0.0f);
    const __m128 gainStep =
        _mm_mul_ps(_mm_sub_ps(_mm_setr_ps(block.gainL, block.gainR, 0.0f, 0.0f), startGain), _mm_set1_ps(invCount));
    const ComplexFloat* table = osc.wavetable;
    const uint32_t copies = block.copies;

    // Each copy's increments as the copy-by-copy rule forms them: a copy
    // plays |inc|, and the next one's left runs spreadInc faster, its right
    // spreadInc slower.
    float copyInc[kMaxUnison][2];
    for (uint32_t u = 0; u < copies; ++u) {
        incL = absValue(incL);
        incR = absValue(incR);
        // A non-finite increment would turn the phase into NaN for good.
        copyInc[u][0] = isFinite(incL) ? incL : 0.0f;
        copyInc[u][1] = isFinite(incR) ? incR : 0.0f;
        incL += block.spreadInc;
        incR -= block.spreadInc;
    }

    // Two copies to a vector: lanes 0 and 1 are copy 2p's left and right,
    // lanes 2 and 3 copy 2p + 1's (idle when the count is odd).
    constexpr uint32_t kMaxPairs = (kMaxUnison + 1) / 2;
    const uint32_t pairs = (copies + 1) / 2;
    __m128 phase[kMaxPairs], inc[kMaxPairs];
    for (uint32_t p = 0; p < pairs; ++p) {
        const uint32_t u = 2 * p;
        const bool second = u + 1 < copies;
        phase[p] = _mm_setr_ps(wrapPhase(osc.phases[u][0]), wrapPhase(osc.phases[u][1]),
                               second ? wrapPhase(osc.phases[u + 1][0]) : 0.0f,
                               second ? wrapPhase(osc.phases[u + 1][1]) : 0.0f);
        inc[p] = _mm_setr_ps(copyInc[u][0], copyInc[u][1], second ? copyInc[u + 1][0] : 0.0f,
                             second ? copyInc[u + 1][1] : 0.0f);
    }
    const __m128 gain = _mm_movelh_ps(startGain, startGain);
    const __m128 gainStep2 = _mm_movelh_ps(gainStep, gainStep);
    switch (copies) {
        case 1: playCopies<1, true>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 2: playCopies<1, false>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 3: playCopies<2, true>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 4: playCopies<2, false>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 5: playCopies<3, true>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 6: playCopies<3, false>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 7: playCopies<4, true>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 8: playCopies<4, false>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        case 9: playCopies<5, true>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
        default: playCopies<5, false>(table, phase, inc, gain, gainStep2, driveV, left, right, count); break;
    }

    for (uint32_t p = 0; p < pairs; ++p) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, phase[p]);
        const uint32_t u = 2 * p;
        osc.phases[u][0] = lanes[0];
        osc.phases[u][1] = lanes[1];
        if (u + 1 < copies) {
            osc.phases[u + 1][0] = lanes[2];
            osc.phases[u + 1][1] = lanes[3];
        }
    }

    osc.incL = incL;
    osc.incR = incR;
    gainL = block.gainL;
    gainR = block.gainR;
}

void renderOscillator(const SynthTables& tables, const float* params, Voice& voice, float amp, BusPair out,
                      uint32_t count) {
    const OscillatorBlock block =
        decodeOscillator(tables, params, voice.mod, voice.frequency, amp, voice.oscGainL, voice.oscGainR);
    runOscillator(block, voice.osc, voice.oscGainL, voice.oscGainR, out, count);
}
