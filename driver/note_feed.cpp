// Note-activity feed: per-frame decay and lift of the note and peak arrays,
// and the lock-free read of a Synth's voices that feeds them.
#include "driver/note_feed.h"

#include "runtime/memory.h"
#include "runtime/math.h"
#include "synth/synth.h"

namespace {

// 1.2 / 128: velocity byte to loudness, held in double precision.
constexpr double kLoudnessPerVelocity = 0.009375;

}  // namespace

bool initNoteFeed(NoteFeed& feed, uint32_t instrumentCount) {
    const uint32_t rows = minUnsigned(instrumentCount, kFeedInstruments);
    // One spare entry each, so that zero instruments still give real blocks.
    feed.notes = static_cast<float*>(allocate((rows * kFeedNotes + 1) * sizeof(float)));
    feed.peaks = static_cast<float*>(allocate((rows + 1) * sizeof(float)));
    if (feed.notes == nullptr || feed.peaks == nullptr) {
        releaseNoteFeed(feed);
        return false;
    }
    fillWords(feed.notes, 0, (rows * kFeedNotes + 1) * sizeof(float));
    fillWords(feed.peaks, 0, (rows + 1) * sizeof(float));
    feed.rows = rows;
    return true;
}

void releaseNoteFeed(NoteFeed& feed) {
    deallocate(feed.notes);
    deallocate(feed.peaks);
    feed.notes = nullptr;
    feed.peaks = nullptr;
    feed.rows = 0;
}

float noteLoudness(int32_t velocity) {
    return float(double(velocity) * kLoudnessPerVelocity);
}

void stepNoteFeed(NoteFeed& feed, const VoiceFrame& frame) {
    // The instrument count is fixed after loading; guarding it anyway keeps a
    // bad snapshot from writing past the rows made at start-up.
    const uint32_t count = minUnsigned(minUnsigned(frame.instrumentCount, feed.rows), kFeedInstruments);

    for (uint32_t i = 0; i < count; ++i) {
        float* row = feed.notes + i * kFeedNotes;
        for (uint32_t note = 0; note < kFeedNotes; ++note) row[note] *= kFeedDecay;
        const VoiceState* voices = frame.voices + i * kFeedVoices;
        for (uint32_t v = 0; v < kFeedVoices; ++v) {
            if (!voices[v].active) continue;
            const float value = noteLoudness(voices[v].velocity);
            float& entry = row[uint32_t(voices[v].note) & 0x7F];
            if (value > entry) entry = value;
        }
    }

    // Unlike a note entry, a peak above the current loudest keeps decaying
    // even below it, and only takes it again once it has fallen that far.
    for (uint32_t i = 0; i < count; ++i) {
        float loudest = 0.0f;
        const VoiceState* voices = frame.voices + i * kFeedVoices;
        for (uint32_t v = 0; v < kFeedVoices; ++v) {
            if (!voices[v].active) continue;
            const float value = noteLoudness(voices[v].velocity);
            if (value > loudest) loudest = value;
        }
        float& peak = feed.peaks[i];
        peak = loudest >= peak ? loudest : peak * kFeedDecay;
    }
}

void readVoiceFrame(const Synth& synth, VoiceFrame& frame) {
    const uint32_t count = minUnsigned(synth.instrumentCount.load(std::memory_order_relaxed), kFeedInstruments);
    frame.instrumentCount = count;
    for (uint32_t i = 0; i < count; ++i) {
        const Instrument* instrument = synth.instruments[i].load(std::memory_order_relaxed);
        VoiceState* out = frame.voices + i * kFeedVoices;
        for (uint32_t v = 0; v < kFeedVoices; ++v) {
            if (instrument == nullptr) {
                out[v] = VoiceState{false, 0, 0};
                continue;
            }
            const Voice& voice = instrument->voices[v];
            out[v] = VoiceState{voiceActive(voice), voiceNote(voice), voiceVelocity(voice)};
        }
    }
}
