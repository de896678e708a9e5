// The loudness of the show's music set-up: one plain tone through the Synth as
// the intro and songrender prepare it, against levels measured when the mix
// was balanced. The streamed output is only ever compared with an offline
// render that shares the master volume and the master stage gain, so a change
// to either would pass every other test and still be heard.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "driver/music.h"
#include "runtime/counter.h"
#include "synth/song_encoder.h"
#include "synth/synth.h"
#include "runtime/params.h"

namespace {

// One instrument holding middle C from the first step on: a plain tone,
// centred, one copy, octave as played, no envelope, filter or effect.
std::vector<uint8_t> plainToneSong() {
    SongSource source;
    InstrumentBytes tone{};
    tone[kVoiceLevel] = 50;   // gain 1 into the bus
    tone[kOscPartials] = 20;  // a handful of partials
    tone[kOscLevel] = 50;
    tone[kOscBalance] = 50;
    tone[kOscOctave] = 50;
    tone[kVoicePolyphony] = 100;
    source.instruments.push_back(tone);
    TrackWriter track;
    track.add(0, 60, 100);
    source.tracks.push_back(track.events);
    return encodeSong(source);
}

// Peak and RMS (of both channels, in 16-bit units) of the second half of the
// first second, when the tone has settled.
struct Level {
    double peak = 0.0;
    double rms = 0.0;
};

Level measure(const std::vector<uint8_t>& song) {
    pinCounter(31);
    Synth synth;
    EXPECT_TRUE(prepareSynth(synth, song.data(), uint32_t(song.size())));
    start(synth, 0.0f);
    Level level;
    double sum = 0.0;
    uint64_t samples = 0;
    for (int block = 0; block < 86; ++block) {  // 0.998 s
        const int16_t* out = nullptr;
        renderBlock(synth, &out);
        if (out == nullptr) {
            ADD_FAILURE() << "block " << block << " was not rendered";
            break;
        }
        if (block < 43) continue;
        for (uint32_t i = 0; i < 2 * kBlockFrames; ++i) {
            const double v = out[i];
            level.peak = std::max(level.peak, std::fabs(v));
            sum += v * v;
            ++samples;
        }
    }
    unpinCounter();
    level.rms = samples ? std::sqrt(sum / double(samples)) : 0.0;
    return level;
}

double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

}  // namespace

TEST(MusicLevel, APlainToneComesOutAtTheBalancedLevel) {
    const Level level = measure(plainToneSong());
    ASSERT_GT(level.rms, 0.0) << "no sound";
    // Measured with master volume 0.4 and the master stage's 2,000: the mix
    // of every song was balanced at these levels. 0.05 dB leaves room for
    // nothing but a change of the gain itself.
    constexpr double kPeak = 527.0, kRms = 372.162;
    EXPECT_NEAR(decibels(level.peak / kPeak), 0.0, 0.05) << "peak " << level.peak;
    EXPECT_NEAR(decibels(level.rms / kRms), 0.0, 0.05) << "rms " << level.rms;
}
