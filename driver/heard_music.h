// HeardMusic: the music the sound device is playing now, as opposed to what
// the audio thread has rendered, about half a second further on. The audio
// thread records each block it renders (end time, end in the byte stream,
// voices); the frame loop turns the device's play position into the music
// time being heard and looks up the voices of the block being heard.
#pragma once
#include <atomic>
#include <cstdint>

#include "driver/note_feed.h"
#include "driver/voice_ring.h"

struct AudioOutput;
struct Synth;

constexpr uint64_t kNoBlock = ~uint64_t(0);

struct HeardMusic {
    VoiceRing voices{};  // the voices of each recent block, stamped with its start
    // The newest block as one word, so that the time and the stream position
    // are always read as a pair: float bits of its end time in the high half,
    // the low 32 bits of the stream byte where it ends in the low half.
    // kNoBlock until the first block.
    std::atomic<uint64_t> lastBlock{kNoBlock};
    const AudioOutput* output = nullptr;  // whose stream the blocks go to (the listener)
    VoiceFrame scratch;         // writer only: the voices being recorded
    VoiceFrame reading;         // reader only: the voices being looked up
};

// Empty record with a voice ring of kVoiceRingSlots blocks of up to
// `instruments` instruments; `output` is the stream listenToBlocks follows
// (null when blocks are recorded by hand). False when memory is short.
bool initHeardMusic(HeardMusic& music, uint32_t instruments, const AudioOutput* output);
void releaseHeardMusic(HeardMusic& music);

// Writer side (one thread): a block of `synth` that ended at `blockEnd`
// seconds and at byte `streamEnd` of the stream was just rendered. Stores its
// voices, stamped with its start, then its end as the newest pair. Never waits.
void recordBlock(HeardMusic& music, const Synth& synth, float blockEnd, uint64_t streamEnd);

// Start time of a block of `synth` that ended at `blockEnd` seconds, as the
// block's records are stamped: the same in the show and in offline replays.
float blockStartTime(const Synth& synth, float blockEnd);
// BlockListener of an AudioOutput; `context` is the HeardMusic. The block's
// bytes go into the ring right after the listener returns, so they end at the
// ring's `written` plus one block.
void listenToBlocks(void* context, const Synth& synth, float blockEnd);

// Where the device is in the stream: it has taken `consumed` bytes (only the
// low 32 bits count), of which the last `unplayed` are still to be played.
// The device takes a whole buffer at once and plays it over the following
// buffer period, so the count alone moves in steps of 23 ms.
struct DevicePosition {
    uint64_t consumed = 0;
    double unplayed = 0.0;  // bytes, 0 up to one device buffer
};

// Bytes of a take of `takeBytes` not yet played `elapsedMicros` after it:
// the take less what the device plays in that time, never below 0 (the next
// take is late) nor above the take (a time read before the take).
double unplayedBytes(uint32_t takeBytes, int32_t elapsedMicros, uint32_t bytesPerSecond);

// The device's position at `nowMicros` (deviceMicros()) from its latest take;
// before the first take, the consumed count with nothing unplayed.
DevicePosition devicePosition(const AudioOutput& output, uint32_t nowMicros);

// Music time heard at device position `at`, when the block ending at
// `blockEnd` s ends at stream byte `streamEnd` (low 32 bits): the block's end
// less the bytes in front of it that are still queued or being played. With
// the device past the block's end (it ran dry) it is the block's end.
float heardTimeOf(float blockEnd, uint32_t streamEnd, DevicePosition at, uint32_t bytesPerSecond);

// The music time heard at `at` from the newest record; `fallback` before
// any block was recorded.
float heardTime(const HeardMusic& music, DevicePosition at, uint32_t bytesPerSecond, float fallback);

// The picture clock of the next frame: the music time heard now less the
// pictures' `delay`, but never before `clock`, the previous frame's. The heard
// estimate can step back by a little (a take that comes early or late, the
// hand-over from the Synth's clock to the first recorded block), and a
// picture that runs backwards is seen as a stutter.
float nextPictureClock(float clock, float heard, float delay);

// The voices of the block being heard at `time` seconds (the newest recorded
// block that starts at or before it). When no such block is in the ring,
// `frame` is left as it was and false returned: the caller's previous frame
// stands in for one more frame.
bool heardVoices(HeardMusic& music, float time, VoiceFrame& frame);
