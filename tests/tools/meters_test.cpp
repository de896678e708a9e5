// The meters on signals whose answers are known: the loudness standard's own
// calibration and range cases, the octave balance of pure tones, and the
// cut-note-end and kick-over-bass detectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <functional>
#include <vector>

#include "tools/meters/loudness.h"
#include "tools/meters/note_ends.h"
#include "tools/meters/band_power.h"
#include "tools/songreport/song_report.h"

namespace {

constexpr uint32_t kRate = 44100;

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

// Interleaved stereo of `seconds`, each channel given by a function of the
// frame index; values below the 16-bit step become 0, as in the song's output.
std::vector<float> stereo(double seconds, const std::function<double(size_t)>& left,
                          const std::function<double(size_t)>& right) {
    std::vector<float> s(2 * size_t(seconds * kRate));
    for (size_t i = 0; i < s.size() / 2; ++i) {
        const double l = left(i), r = right(i);
        s[2 * i] = std::fabs(l) < 1.0 / 32768.0 ? 0.0f : float(l);
        s[2 * i + 1] = std::fabs(r) < 1.0 / 32768.0 ? 0.0f : float(r);
    }
    return s;
}

std::function<double(size_t)> sine(double hz, double dbfs) {
    return [=](size_t i) { return fromDb(dbfs) * std::sin(2.0 * M_PI * hz * double(i) / kRate); };
}

double none(size_t) { return 0.0; }

}  // namespace

TEST(Loudness, StandardCalibrationAndRange) {
    auto stepped = [](size_t i) { return (i < 20 * kRate ? fromDb(-20) : fromDb(-30)) * sine(1000, 0)(i); };
    const struct {
        const char* what;
        std::vector<float> signal;
        double integrated, loudest, range, truePeak;
    } cases[] = {
        // BS.1770: a 1 kHz sine at -20 dBFS in one front channel reads -23.0.
        {"1 kHz -20 dBFS left", stereo(20, sine(1000, -20), none), -23.0, -23.0, 0.0, -20.0},
        // EBU Tech 3341 case 1: -23 dBFS in both channels reads -23.0.
        {"1 kHz -23 dBFS both", stereo(20, sine(1000, -23), sine(1000, -23)), -23.0, -23.0, 0.0, -23.0},
        // EBU Tech 3342 case 1: 20 s at -20 then 20 s at -30 dBFS, a range of 10 LU.
        {"-20 then -30 dBFS", stereo(40, stepped, stepped), -22.6, -20.0, 10.0, -20.0},
    };
    for (const auto& c : cases) {
        const Loudness l = measureLoudness(c.signal.data(), c.signal.size() / 2, kRate);
        EXPECT_NEAR(l.integrated, c.integrated, 0.1) << c.what;
        EXPECT_NEAR(l.maxShortTerm, c.loudest, 0.1) << c.what;
        EXPECT_NEAR(l.range, c.range, 0.1 + 0.1 * c.range) << c.what;
        EXPECT_NEAR(l.truePeak, c.truePeak, 0.1) << c.what;
    }
    EXPECT_EQ(measureLoudness(nullptr, 0, kRate).integrated, -INFINITY);
}

// A meter fed in odd pieces (a player's blocks) says what it says for the whole.
TEST(Loudness, PiecewiseFeedingMatchesTheWhole) {
    const std::vector<float> s =
        stereo(9.5, [](size_t i) { return (0.05 + 0.3 * double(i) / (9.5 * kRate)) * std::sin(0.01 * double(i)); },
               sine(440, -30));
    const Loudness whole = measureLoudness(s.data(), s.size() / 2, kRate);
    LoudnessMeter meter(kRate);
    for (size_t at = 0; at < s.size() / 2; at += 1237) meter.add(&s[2 * at], std::min<size_t>(1237, s.size() / 2 - at));
    const Loudness pieces = meter.figures();
    EXPECT_DOUBLE_EQ(pieces.integrated, whole.integrated);
    EXPECT_DOUBLE_EQ(pieces.maxShortTerm, whole.maxShortTerm);
    EXPECT_DOUBLE_EQ(pieces.truePeak, whole.truePeak);
    EXPECT_GT(whole.maxShortTerm, meter.shortTerm() - 1e-9);
}

TEST(Spectrum, PureTonesFallInTheirOctave) {
    const struct {
        double hz;
        int band;
    } cases[] = {{40, 0}, {100, 2}, {1000, 5}, {6000, 8}, {15000, 9}};
    for (const auto& c : cases) {
        const std::vector<float> s = stereo(2, sine(c.hz, -10), sine(c.hz, -30));
        const std::array<double, kOctaveBands> shares = octaveBalance(powerSpectrum(s.data(), s.size() / 2, kRate));
        for (int b = 0; b < kOctaveBands; ++b) {
            if (b == c.band) EXPECT_GT(shares[size_t(b)], -0.1) << c.hz << " Hz";
            else EXPECT_LT(shares[size_t(b)], -30.0) << c.hz << " Hz in band " << b;
        }
    }
    // Half the power at 50 Hz and half at 1 kHz: -3 dB each.
    const std::vector<float> two = stereo(2, sine(50, -20), sine(1000, -20));
    const PowerSpectrum spectrum = powerSpectrum(two.data(), two.size() / 2, kRate);
    EXPECT_NEAR(bandShareDb(spectrum, 0, 60), -3.01, 0.05);
    EXPECT_NEAR(bandShareDb(spectrum, 700, 1400), -3.01, 0.05);
    EXPECT_EQ(bandShareDb(spectrum, 200, 500) < -40.0, true);
}

TEST(NoteEnds, CutsAreCountedAndFadesAreNot) {
    const double stop = 0.5;  // s: where each test sound ends
    const size_t stopFrame = size_t(stop * kRate);
    auto until = [](std::function<double(size_t)> f, size_t end) {
        return [=](size_t i) { return i < end ? f(i) : 0.0; };
    };
    auto release = [&](double tau) {  // an exponential release from `stop`, time constant tau (s)
        return [=](size_t i) {
            const double t = double(i) / kRate;
            return sine(100, -20)(i) * (t < stop ? 1.0 : std::exp(-(t - stop) / tau));
        };
    };
    auto straight = [&](double length) {  // a straight fade of `length` s ending at `stop`
        return [=](size_t i) { return sine(100, -20)(i) * std::clamp((stop - double(i) / kRate) / length, 0.0, 1.0); };
    };
    const struct {
        const char* what;
        std::vector<float> signal;
        size_t cuts;
    } cases[] = {
        {"loud tone switched off", stereo(1, until(sine(100, -20), stopFrame), none), 1},
        {"tone at -40 dBFS switched off", stereo(1, until(sine(100, -40), stopFrame), none), 1},
        {"tone at -50 dBFS switched off", stereo(1, until(sine(100, -50), stopFrame), none), 0},
        {"right channel alone switched off", stereo(1, none, until(sine(60, -25), stopFrame)), 1},
        // 52 dB in 6 ms, then the 16-bit step swallows it.
        {"1 ms release", stereo(1, release(0.001), none), 1},
        {"20 ms release", stereo(1, release(0.020), none), 0},
        // A straight fade's last moments fall from -45 dBFS to nothing in 2 ms.
        {"30 ms straight fade", stereo(1, straight(0.030), none), 1},
        {"300 ms straight fade", stereo(1, straight(0.300), none), 0},
        {"tone running to the end", stereo(1, sine(100, -20), none), 0},
        {"2 ms gap, then the tone ends",
         stereo(1, [&](size_t i) { return i >= 8820 && i < 8908 ? 0.0 : until(sine(100, -20), stopFrame)(i); }, none),
         1},
        {"two notes, each switched off",
         stereo(1, [&](size_t i) { return (i < 8820 || (i >= 13230 && i < stopFrame)) ? sine(100, -20)(i) : 0.0; },
                none),
         2},
    };
    for (const auto& c : cases) {
        const std::vector<size_t> cuts = cutNoteEnds(c.signal.data(), c.signal.size() / 2, kRate);
        EXPECT_EQ(cuts.size(), c.cuts) << c.what;
        // A switched-off tone is found where its silence begins.
        if (c.cuts > 0 && std::string(c.what).find("switched off") != std::string::npos) {
            EXPECT_EQ(cuts.back(), stopFrame) << c.what;
        }
    }
}

TEST(KickOverBass, KnownRatios) {
    const size_t window = size_t(kKickWindowSeconds * kRate);
    // Kicks: 100 ms bursts of 60 Hz (six whole periods) at 0.2 s, 0.6 s and 1.0 s.
    const std::vector<size_t> strikes = {size_t(0.2 * kRate), size_t(0.6 * kRate), size_t(1.0 * kRate)};
    auto kickAt = [&](double dbfs) {
        return [=](size_t i) {
            for (size_t s : strikes)
                if (i >= s && i < s + window) return sine(60, dbfs)(i - s);
            return 0.0;
        };
    };
    const struct {
        const char* what;
        std::vector<float> kick, bass;
        std::vector<size_t> strikes;
        size_t kicks;
        double least, median, tolerance;
    } cases[] = {
        {"kick 6 dB over a bass on its note", stereo(1.5, kickAt(-10), kickAt(-10)), stereo(1.5, sine(60, -16), sine(60, -16)),
         strikes, 3, 6.0, 6.0, 0.1},
        {"bass on another note of the band, as loud", stereo(1.5, kickAt(-10), none), stereo(1.5, sine(70, -10), none),
         strikes, 3, 0.0, 0.0, 0.5},
        {"bass only above the band", stereo(1.5, kickAt(-20), kickAt(-20)), stereo(1.5, sine(300, -6), sine(300, -6)),
         strikes, 3, 25.0, 25.0, -1.0},  // above 25 dB: only leakage (29 here)
        {"no bass", stereo(1.5, kickAt(-20), none), stereo(1.5, none, none), strikes, 3, INFINITY, INFINITY, 0.0},
        {"bass swelling under the second kick",
         stereo(1.5, kickAt(-10), none),
         stereo(1.5, [](size_t i) { return i > 0.5 * kRate && i < 0.9 * kRate ? sine(60, -4)(i) : sine(60, -22)(i); }, none),
         strikes, 3, -6.0, 12.0, 0.1},
        {"a kick past the end is left out", stereo(1.5, kickAt(-10), none), stereo(1.5, sine(60, -16), none),
         {strikes[0], size_t(1.45 * kRate)}, 1, 6.0, 6.0, 0.1},
    };
    for (const auto& c : cases) {
        const KickOverBass k = kickOverBass(c.kick, c.bass, c.strikes, kRate);
        EXPECT_EQ(k.kicks, c.kicks) << c.what;
        if (c.tolerance < 0.0) {
            EXPECT_GT(k.least, c.least) << c.what;
        } else if (std::isinf(c.least)) {
            EXPECT_EQ(k.least, c.least) << c.what;
            EXPECT_EQ(k.median, c.median) << c.what;
        } else {
            EXPECT_NEAR(k.least, c.least, c.tolerance) << c.what;
            EXPECT_NEAR(k.median, c.median, c.tolerance) << c.what;
        }
    }
    EXPECT_EQ(kickOverBass({}, {}, {}, kRate).kicks, 0u);
}
