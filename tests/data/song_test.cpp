// The piece against the pictures: while the cube grid is shown, every
// instrument row of the peak texture that the grid samples rises and falls,
// so every cube is pushed around by the music.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/song.h"
#include "data/timetable.h"
#include "driver/music.h"
#include "driver/note_feed.h"
#include "driver/show.h"
#include "runtime/counter.h"
#include "synth/synth.h"

namespace {

constexpr int32_t kGridSequence = 3;   // the cube grid
constexpr uint32_t kGridRows = 10;     // rows the grid's shader addresses

struct RowMotion {
    float lowest = 1e9f, highest = 0.0f;
    int32_t rises = 0;  // frames in which the peak went up
};

}  // namespace

TEST(Song, MovesEveryRowTheCubeGridSamples) {
    pinCounter(5);
    Synth synth;
    ASSERT_TRUE(prepareSynth(synth, kSong, kSongSize));
    start(synth, 0.0f);
    NoteFeed feed;
    ASSERT_TRUE(initNoteFeed(feed, synth.instrumentCount.load()));
    ASSERT_GE(feed.rows, kGridRows);

    std::vector<RowMotion> rows(kGridRows);
    VoiceFrame frame{};
    const int32_t first = kSequences.start[kGridSequence], last = kSequences.start[kGridSequence + 1];
    for (int32_t f = 0; f < last; ++f) {
        // The voices heard at this frame's clock, as the show's feed sees them.
        const float music = float(f) / 60.0f + kPictureDelay;
        while (synth.time.load() <= music) {
            const int16_t* out = nullptr;
            renderBlock(synth, &out);
        }
        readVoiceFrame(synth, frame);
        std::vector<float> before(feed.peaks, feed.peaks + kGridRows);
        stepNoteFeed(feed, frame);
        if (f < first) continue;
        for (uint32_t i = 0; i < kGridRows; ++i) {
            rows[i].lowest = std::min(rows[i].lowest, feed.peaks[i]);
            rows[i].highest = std::max(rows[i].highest, feed.peaks[i]);
            rows[i].rises += feed.peaks[i] > before[i];
        }
    }
    for (uint32_t i = 0; i < kGridRows; ++i) {
        std::printf("row %u: %.3f to %.3f, %d rises\n", i, double(rows[i].lowest), double(rows[i].highest),
                    rows[i].rises);
        // The full loudness of a held note, falls to two thirds of it or
        // less between notes, and new notes at least three times (the
        // risers swell three times over the grid).
        EXPECT_GE(rows[i].highest, 0.75f) << "row " << i;
        EXPECT_LE(rows[i].lowest, 0.5f) << "row " << i;
        EXPECT_GE(rows[i].rises, 3) << "row " << i;
    }
    releaseNoteFeed(feed);
    unpinCounter();
}
