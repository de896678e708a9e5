// Synth: the one object that owns the music: 32 Tracks of NoteEvents, up to
// 32 Instruments, the shared tables, the clock, the master volume and the
// buffers of one block. The audio thread renders it (renderBlock); the
// picture thread reads its clock and voices every frame.
#pragma once
#include <atomic>
#include <cstdint>

#include "runtime/dyn_array.h"
#include "synth/song_format.h"  // kMaxInstruments
#include "voice/instrument.h"
#include "voice/synth_tables.h"

inline constexpr uint32_t kTrackCount = kMaxInstruments;  // one Track per Instrument the song format allows
inline constexpr uint32_t kBlockFrames = 512;
inline constexpr uint32_t kStartRequest = 1;
inline constexpr uint32_t kStopRequest = 2;

// The picture thread reads these without ever making the audio thread wait.
static_assert(std::atomic<float>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free &&
              std::atomic<Instrument*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

struct Synth {
    DynArray tracks[kTrackCount];               // NoteEvents in time order; track t is played by instrument t
    std::atomic<uint32_t> instrumentCount;      // instruments (and tracks) loaded
    SynthTables tables;
    std::atomic<Instrument*> instruments[kTrackCount];  // null at and beyond instrumentCount
    float masterVolume;                         // master stage gain is masterVolume * 2000
    std::atomic<float> time;                    // seconds at the start of the next block
    std::atomic<bool> playing;                  // between start and stop
    alignas(16) float mixL[kBlockFrames];
    alignas(16) float mixR[kBlockFrames];
    alignas(16) float busL[kBlockFrames];
    alignas(16) float busR[kBlockFrames];
    alignas(16) int16_t output[kBlockFrames * 2];  // interleaved left, right

    // start and stop from another thread are requests (kStartRequest,
    // kStopRequest bits) carried out by whichever thread holds `voiceWork`:
    // the audio thread during and right after each block, or the caller when
    // no block is being rendered. Neither thread ever waits for the other.
    std::atomic<uint32_t> controlRequests;
    std::atomic<float> requestedStart;          // time for the pending start
    std::atomic<bool> voiceWork;

    // Empty tracks, nothing loaded. Call init before anything else.
    Synth();
    // Frees tracks and Instruments (the program never destroys its Synth;
    // tests and tools do).
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;
};

// Builds the tables, empties the instrument slots, master volume 0.1,
// nothing loaded, not playing.
void init(Synth& synth);
void setSampleRate(Synth& synth, uint32_t rate);
// Replaces the song with `length` bytes of song data whose events start at
// `timeOffset` seconds. Length 0 empties the Synth. Data that does not decode
// (or whose Instruments cannot be allocated) is rejected as a whole: false,
// and the previous song stays loaded as it was. Never call it while another
// thread renders blocks or reads the instruments.
bool loadSong(Synth& synth, const uint8_t* data, uint32_t length, float timeOffset);
// Plays from `time` seconds on. Stops playing and releases every held note.
// Both are safe to call from another thread while renderBlock runs: a block
// in progress finishes untouched and the change takes effect right after it
// (so `playing` and the voices may lag a call by up to one block); with no
// block in progress it takes effect before the call returns.
void start(Synth& synth, float time);
void stop(Synth& synth);
// Empties every track and frees every Instrument.
void clear(Synth& synth);
// Used by renderBlock: takes the voice work for one block (false when the
// controlling thread is applying a start or stop right now: the caller then
// renders nothing this time) and applies pending requests; endBlockWork
// gives it back and applies requests that came in during the block.
bool beginBlockWork(Synth& synth);
void endBlockWork(Synth& synth);

// The 16-bit master stage of one block: out[2i] and out[2i + 1] are mixL[i]
// and mixR[i] times gain, clipped to -32768..32767 and truncated toward zero
// (a NaN gives -32768). The mix arrays must be 16-byte aligned.
void masterStage(const float* mixL, const float* mixR, int16_t* output, float gain);

// Renders one block if playing: stores the address of the 512 interleaved
// stereo frames into *out and advances the clock. Does nothing otherwise.
void renderBlock(Synth& synth, const int16_t** out);
