// AudioOutput: the one sound output of the program. It owns the platform's
// sound device with the one-second ring it plays from (sound_device.h: SDL2
// on Linux, DirectSound 8 on Windows) and the audio thread that
// keeps the ring filled half a second ahead of the play position with blocks
// rendered by the registered Synths. The Synths' clocks advance only as this
// thread renders, so the output is also the show's time base.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/sound_ring.h"
#include "runtime/dyn_array.h"

struct Synth;
struct SoundDevice;
class AudioThread;

// Told by the audio thread about every block a source rendered, right after
// it was rendered: `blockEnd` is the Synth's clock after the block, which
// covers the 512 frames before it. For per-block records such as the voice
// state of the block that is heard later; it runs on the audio thread and
// must never wait.
using BlockListener = void (*)(void* context, const Synth& synth, float blockEnd);

constexpr uint32_t kOutputBlockBytes = 2048;  // 512 frames of 16-bit stereo
constexpr uint32_t kDeviceFrames = 1024;      // the device's own buffer: 23 ms at 44.1 kHz
// Lowest rate whose half-second ring holds a whole block.
constexpr uint32_t kMinStreamRate = 2 * kOutputBlockBytes / kFrameBytes;  // 1,024

struct AudioOutput {
    SoundDevice* device;   // the platform's device state; null when none is open
    // The stream's accounting; on Linux also the looping buffer itself (its
    // frames null when there is none), on Windows the DirectSound buffer
    // holds the sound and `frames` stays null.
    SoundRing ring;
    uint32_t writeCursor;  // ring offset of the next block (audio thread only once it runs)
    uint32_t bufferBytes;  // ring size: sample rate x 4, one second
    uint32_t sampleRate;   // frames per second given to init
    // The sources, in registration order, as two lists: the audio thread walks
    // the published one while the main thread prepares the other and then
    // swaps them (see registerSource).
    DynArray sourceLists[2];
    std::atomic<uint32_t> publishedList;
    std::atomic<bool> stopRequested;
    AudioThread* thread;   // null when no thread exists
    BlockListener blockListener;  // null when nobody listens
    void* listenerContext;
    // Feed steps the audio thread has finished; the main thread watches it to
    // know when a swapped-out source list is no longer being walked.
    std::atomic<uint64_t> feedSteps;
    // Kept by the audio thread for tests and the picture clock.
    std::atomic<uint64_t> blocksWritten;   // every block, sound or silence
    std::atomic<uint64_t> sourceBlocks;    // blocks that a source rendered
    std::atomic<int64_t> firstSourceByte;  // stream byte of the first of those, -1 before
    // The device's latest take, for a picture clock that moves between takes:
    // the low 32 bits of the consumed count after it in the low half, the
    // monotonic microseconds (modulo 2^32) just after it in the high half;
    // kNoTake before the first. One word, so the pair is always read whole.
    std::atomic<uint64_t> lastTake;
    std::atomic<uint32_t> takeBytes;  // length of that take (the device buffer)
    const char* failure;   // why the last init failed, else null
};

// No take yet. A real take never looks like this: its consumed count is a
// multiple of 4.
constexpr uint64_t kNoTake = ~uint64_t(0);

// The program's single instance, prepared by prepareAudioOutput.
extern AudioOutput audioOutput;

// The static initialiser: zeroes the global output, sets its source lists up
// empty and registers the exit callback that releases them.
void prepareAudioOutput();
// Sets any output up empty (tests make their own instances this way).
void resetAudioOutput(AudioOutput& output);
// Frees both source lists (the exit callback does this for the global one).
void releaseSources(AudioOutput& output);

// Opens the default sound device at `rate` frames per second, 16-bit stereo,
// makes the ring and starts the audio thread and playback. False when a step
// failed; what was made stays until shutdown, and `failure` names the reason.
bool init(AudioOutput& output, uint32_t rate);
// Makes the zeroed ring of one second with the write cursor half a buffer
// ahead of the play cursor; on Linux the part of init that needs no device. False for
// a rate below kMinStreamRate or when memory is short.
bool initStream(AudioOutput& output, uint32_t rate);
// Stops playback, ends and deletes the thread, closes the device and frees
// the ring. Nothing happens to parts that do not exist.
void shutdown(AudioOutput& output);

// Gives the Synth the output's sample rate (once one is set) and appends it to
// the sources. Unregistering removes its first entry; a Synth that is not
// registered changes nothing. Both may be called while the audio thread runs:
// when they return, the thread no longer uses the previous list, so a Synth
// that was unregistered is not rendered any more and may go away.
void registerSource(AudioOutput& output, Synth& synth);
void unregisterSource(AudioOutput& output, Synth& synth);
uint32_t sourceCount(const AudioOutput& output);
// Sets (or with null clears) the block listener. Only while no audio thread
// runs, that is before init or after shutdown: false otherwise.
bool setBlockListener(AudioOutput& output, BlockListener listener, void* context);

// Audio thread: whether the write position is less than half a buffer, or
// more than half a buffer plus one block, ahead of the play cursor (the
// latter after the device overtook it). False without a ring.
bool needsData(AudioOutput& output);
// Audio thread: copies `count` bytes (a multiple of 4) to the write cursor,
// in two regions when they wrap, and moves the cursor on. Nothing without a ring.
void writeBlock(AudioOutput& output, const void* data, uint32_t count);

// Monotonic microseconds modulo 2^32 (wraps every 71 minutes: differences
// of times less than that apart are exact). Not the pinnable counter: the
// probe build pins that one, and this clock must run.
uint32_t deviceMicros();
// Device side, after each take of `bytes` bytes at `micros`: publishes the
// consumed count and the time as one pair. Never waits.
void recordTake(AudioOutput& output, uint32_t bytes, uint32_t micros);

// The latest take as recorded by recordTake.
struct DeviceTake {
    bool taken;         // false before the first take; the rest is then 0
    uint32_t consumed;  // low 32 bits of the consumed count after the take
    uint32_t micros;    // deviceMicros() just after it
    uint32_t bytes;     // its length
};
DeviceTake lastDeviceTake(const AudioOutput& output);

// Seconds of sound written but not yet taken by the device (0 without a ring).
// What is heard now is the music of the Synth clock minus this.
double queuedSeconds(const AudioOutput& output);

// A consistent-enough picture of the stream for tests and reports. Stream
// bytes count from the moment the device started; the first half second of
// the ring counts as written silence.
struct AudioCounters {
    uint64_t blocksWritten;
    uint64_t sourceBlocks;
    uint64_t underruns;      // device takes that found the writer behind
    uint64_t bytesConsumed;  // by the device
    uint64_t bytesWritten;   // stream byte up to which the ring is filled
    int64_t firstSourceByte;
};
AudioCounters readCounters(const AudioOutput& output);
