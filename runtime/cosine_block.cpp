// cosRadBlock: many cosines at once, each the float cosRad gives. On glibc
// x86-64 two lanes of double precision at a time with an error bound, and
// cosRad itself for any value whose rounding to float the bound leaves open.
#include "runtime/math.h"

#if defined(__GLIBC__) && defined(__x86_64__)
#include <emmintrin.h>

namespace {

// pi/2 in three parts: the first two of 33 bits, so that k times either
// is exact for the k (below 2^20) of the range used here.
constexpr double kHalfPi1 = 1.57079632673412561417e+00;
constexpr double kHalfPi2 = 6.07710050630396597660e-11;
constexpr double kHalfPi3 = 2.02226624879595063154e-21;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// Terms of the two series on |r| <= pi/4, as 1/n! with alternating signs,
// up to r^12 for the cosine and r^13 for the sine: the first term left out
// is below 2^-40 of the value there.
constexpr double kCos[6] = {-1.0 / 2, 1.0 / 24, -1.0 / 720, 1.0 / 40320, -1.0 / 3628800, 1.0 / 479001600};
constexpr double kSin[6] = {-1.0 / 6, 1.0 / 120, -1.0 / 5040, 1.0 / 362880, -1.0 / 39916800, 1.0 / 6227020800.0};

// Polynomial in z with the coefficients c, by Horner's rule.
inline __m128d series(const double* c, __m128d z) {
    __m128d sum = _mm_set1_pd(c[5]);
    for (int i = 4; i >= 0; --i) sum = _mm_add_pd(_mm_mul_pd(sum, z), _mm_set1_pd(c[i]));
    return sum;
}

// cos(x) in both lanes, within 2^-40 of its value:
// x = k pi/2 + r, then cos(r), -sin(r), -cos(r) or sin(r) by k mod 4.
inline __m128d cosineLanes(__m128d x) {
    const __m128i k = _mm_cvtpd_epi32(_mm_mul_pd(x, _mm_set1_pd(kTwoOverPi)));
    const __m128d kd = _mm_cvtepi32_pd(k);
    __m128d r = _mm_sub_pd(x, _mm_mul_pd(kd, _mm_set1_pd(kHalfPi1)));
    r = _mm_sub_pd(r, _mm_mul_pd(kd, _mm_set1_pd(kHalfPi2)));
    r = _mm_sub_pd(r, _mm_mul_pd(kd, _mm_set1_pd(kHalfPi3)));
    const __m128d z = _mm_mul_pd(r, r);
    const __m128d cosine = _mm_add_pd(_mm_set1_pd(1.0), _mm_mul_pd(z, series(kCos, z)));
    const __m128d sine = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, z), series(kSin, z)));
    // k in both halves of each 64-bit lane: odd k takes the sine, k = 1 or
    // 2 (mod 4) negates.
    const __m128i kk = _mm_shuffle_epi32(k, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128d takeSine = _mm_castsi128_pd(_mm_cmpeq_epi32(_mm_and_si128(kk, _mm_set1_epi32(1)), _mm_set1_epi32(1)));
    const __m128i negate = _mm_slli_epi32(_mm_and_si128(_mm_add_epi32(kk, _mm_set1_epi32(1)), _mm_set1_epi32(2)), 30);
    const __m128d sign = _mm_castsi128_pd(_mm_and_si128(negate, _mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)));
    const __m128d chosen = _mm_or_pd(_mm_and_pd(takeSine, sine), _mm_andnot_pd(takeSine, cosine));
    return _mm_xor_pd(chosen, sign);
}

}  // namespace

void cosRadBlock(const float* x, float* out, uint32_t n) {
    // The lanes' error is below 2^-40 of the value (the series' cut; the
    // reduction and the rounding add a few units of 2^-52): when both ends
    // of an interval of 2^-38 around it round to the same float, so does the
    // cosine itself, and that float is cosRad's. That leaves about one value
    // in ten thousand, and everything outside cosRad's own double-precision
    // range, to cosRad.
    const __m128d magnitudeMask = _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX));
    const __m128d smallest = _mm_set1_pd(0x1p-13), limit = _mm_set1_pd(1024.0);
    const __m128d relativeError = _mm_set1_pd(0x1p-38), floorError = _mm_set1_pd(0x1p-80);
    uint32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const __m128d v = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(x + i))));
        const __m128d magnitude = _mm_and_pd(v, magnitudeMask);
        const __m128d inRange = _mm_and_pd(_mm_cmpge_pd(magnitude, smallest), _mm_cmplt_pd(magnitude, limit));
        const __m128d c = cosineLanes(v);
        const __m128d error = _mm_add_pd(_mm_mul_pd(_mm_and_pd(c, magnitudeMask), relativeError), floorError);
        const __m128 below = _mm_cvtpd_ps(_mm_sub_pd(c, error));
        const __m128 above = _mm_cvtpd_ps(_mm_add_pd(c, error));
        const int settled = _mm_movemask_ps(_mm_cmpeq_ps(below, above)) & _mm_movemask_pd(inRange);
        _mm_storel_pi(reinterpret_cast<__m64*>(out + i), _mm_cvtpd_ps(c));
        if (settled != 3) {
            if ((settled & 1) == 0) out[i] = cosRad(x[i]);
            if ((settled & 2) == 0) out[i + 1] = cosRad(x[i + 1]);
        }
    }
    for (; i < n; ++i) out[i] = cosRad(x[i]);
}

#else

void cosRadBlock(const float* x, float* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) out[i] = cosRad(x[i]);
}

#endif
