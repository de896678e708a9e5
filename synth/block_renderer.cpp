// renderBlock: note dispatch, one bus per Instrument mixed into the block,
// and the 16-bit master stage. Runs on the audio thread.
#include <emmintrin.h>

#include "runtime/memory.h"
#include "synth/song_format.h"
#include "synth/synth.h"

// Index of the first event of a track whose time is not below `time`.
// Tracks come from the song decoder, whose times never decrease along a
// track (a running sum of steps times a positive step), so a binary search
// finds where the events of a block begin.
static uint32_t firstEventFrom(const DynArray& track, float time) {
    uint32_t lo = 0, hi = track.count;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (track.at<NoteEvent>(mid).time < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Applies every event of every track with time <= event time < next, in
// track order. Nothing is remembered from block to block: a start at any
// time, or a clock moved back, just searches from there.
static void dispatchNotes(Synth& synth, float time, float next) {
    const uint32_t count = synth.instrumentCount.load(std::memory_order_relaxed);
    for (uint32_t t = 0; t < count && t < kTrackCount; ++t) {
        Instrument* instrument = synth.instruments[t].load(std::memory_order_relaxed);
        if (instrument == nullptr) continue;
        const DynArray& track = synth.tracks[t];
        for (uint32_t e = firstEventFrom(track, time); e < track.count; ++e) {
            const NoteEvent& event = track.at<NoteEvent>(e);
            if (!(event.time < next)) break;
            if (!(time <= event.time) || event.note == 0) continue;
            if (event.velocity == 0)
                noteOff(*instrument, event.note);
            else
                noteOn(*instrument, event.note, event.velocity);
        }
    }
}

// Left and right are interleaved into the lanes of one vector, so each step
// handles two stereo frames. A NaN becomes silence: it is masked to +0 before
// the clip (max/min alone would send it to -32768, a full-scale offset); the
// mask is all ones for every other value, which passes through unchanged.
void masterStage(const float* mixL, const float* mixR, int16_t* output, float gain) {
    const __m128 g = _mm_set1_ps(gain);
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    for (uint32_t i = 0; i < kBlockFrames; i += 4) {
        const __m128 l = _mm_load_ps(mixL + i);
        const __m128 r = _mm_load_ps(mixR + i);
        __m128 a = _mm_mul_ps(_mm_unpacklo_ps(l, r), g);
        __m128 b = _mm_mul_ps(_mm_unpackhi_ps(l, r), g);
        a = _mm_min_ps(_mm_max_ps(_mm_and_ps(a, _mm_cmpord_ps(a, a)), lo), hi);
        b = _mm_min_ps(_mm_max_ps(_mm_and_ps(b, _mm_cmpord_ps(b, b)), lo), hi);
        const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
        _mm_store_si128(reinterpret_cast<__m128i*>(output + 2 * i), packed);
    }
}

void renderBlock(Synth& synth, const int16_t** out) {
    if (!beginBlockWork(synth)) return;
    const uint32_t sampleRate = synth.tables.sampleRate;
    if (!synth.playing.load(std::memory_order_relaxed) || sampleRate == 0) {
        endBlockWork(synth);
        return;
    }
    const float time = synth.time.load(std::memory_order_relaxed);
    // Block end in extended precision, rounded once.
    const float next = float((long double)time + 512.0L / (long double)sampleRate);

    dispatchNotes(synth, time, next);

    // Each instrument's render in its steps, so that the voice filters of
    // all instruments run together: a filter's recursion waits on every
    // frame, and independent voices share that wait. Instruments do not
    // touch each other, so every value is the one of rendering them in turn.
    Instrument* instruments[kTrackCount];
    VoiceBlock voices[kTrackCount];
    uint32_t later[kTrackCount];
    for (uint32_t i = 0; i < kTrackCount; ++i) {
        instruments[i] = synth.instruments[i].load(std::memory_order_relaxed);
        if (instruments[i] != nullptr)
            later[i] = startVoices(synth.tables, *instruments[i], kBlockFrames, 0, voices[i]);
    }
    filterVoices(synth.tables, instruments, voices, kTrackCount, kBlockFrames);

    fillWords(synth.mixL, 0, sizeof(synth.mixL));
    fillWords(synth.mixR, 0, sizeof(synth.mixR));
    const BusPair mix{synth.mixL, synth.mixR};
    const BusPair bus{synth.busL, synth.busR};
    for (uint32_t i = 0; i < kTrackCount; ++i) {
        if (instruments[i] == nullptr) continue;
        fillWords(synth.busL, 0, sizeof(synth.busL));
        fillWords(synth.busR, 0, sizeof(synth.busR));
        addVoices(*instruments[i], voices[i], bus, kBlockFrames);
        finishRender(synth.tables, *instruments[i], later[i], bus, kBlockFrames);
        mixInto(mix, bus, kBlockFrames, 1.0f);  // level 1.0: every bus joins the mix at gain 11
    }

    masterStage(synth.mixL, synth.mixR, synth.output, synth.masterVolume * 2000.0f);

    *out = synth.output;
    synth.time.store(next, std::memory_order_relaxed);
    endBlockWork(synth);
}
