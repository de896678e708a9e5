// SongPlayer: the development player's music. A render thread records the
// whole song from its start, as fast as it can, into one of two recordings
// (the offline render, bit for bit); the sound device plays the other, or the
// same one behind the render, from any position. A seek only moves the
// position: a time not yet rendered plays silence until the render reaches
// it. A new song renders into the spare recording while the old one plays on,
// and takes over once it has caught up with the position, or at once when
// it would take more than 2 s to (a render hardly faster than real time).
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "tools/replay/song_recording.h"

struct Synth;

struct SongPlayer {
    SongRecording recordings[2];
    std::atomic<SongRecording*> heard{nullptr};  // what the device plays
    std::atomic<int64_t> position{0};  // frame of `heard` the device takes next
    std::atomic<bool> paused{false};
    // Frames [loopStart, loopEnd) repeat while loopEnd > loopStart.
    std::atomic<int64_t> loopStart{0};
    std::atomic<int64_t> loopEnd{0};
    // The device's latest take: the position after it in the low 32 bits,
    // its monotonic microseconds in the high 32; and the frames it advanced.
    std::atomic<uint64_t> lastTake{0};
    std::atomic<uint32_t> takeFrames{0};
    // Set at a seek or a song change (monotonic microseconds, never 0);
    // the device answers with the time it first played the new music.
    std::atomic<uint32_t> waitingSince{0};
    std::atomic<uint32_t> soundAt{0};

    // Render thread and its one job: `job` into `target`.
    std::thread renderer;
    std::atomic<bool> quit{false};
    std::atomic<bool> cancel{false};
    std::atomic<bool> go{false};
    std::atomic<bool> busy{false};
    Synth* job = nullptr;
    SongRecording* target = nullptr;
    std::atomic<float> renderShare{0.0f};  // last block's render time over its 11.6 ms
    std::atomic<float> renderFactor{0.0f};  // music seconds rendered per second, whole job

    Synth* synths[2] = {nullptr, nullptr};  // the Synth of each recording
    SongRecording* pending = nullptr;  // the new song's recording until it takes over
    uint32_t device = 0;  // SDL audio device id
    uint64_t seed = 1;
    bool silentDevice = false;  // no sound device: SDL's dummy driver keeps the clock
};

// Makes the recordings (`seconds` of music each), starts the render thread on
// `song` and opens the sound device (SDL's dummy driver when there is none),
// paused at frame 0. False after printing why.
bool openSongPlayer(SongPlayer& player, const uint8_t* song, uint32_t size, float seconds, uint64_t seed);
void closeSongPlayer(SongPlayer& player);
// Renders `song` into the spare recording; it takes over in updateSongPlayer
// once rendered past the position. False when the bytes do not load as a song.
bool changeSong(SongPlayer& player, const uint8_t* song, uint32_t size);
// The device callback: fills `length` bytes with recorded frames from the
// position on, following the loop, and silence where nothing is recorded
// yet, without moving on (the render is on its way there) or when paused.
// Only copies: never waits, never allocates.
void playSongFrames(SongPlayer& player, uint8_t* stream, int32_t length);
// Main thread, once a frame: hands over to a new song that has caught up or
// will not soon. True when it did so.
bool updateSongPlayer(SongPlayer& player);
// Moves the position (any frame; the device plays silence until the render
// gets there) and marks the seek for the sound latency.
void seekSong(SongPlayer& player, int64_t frame);
void pauseSong(SongPlayer& player, bool paused);
// Frame being heard now: the position when paused, else estimated from the
// device's last take and the time since.
int64_t heardFrame(const SongPlayer& player);
// Microseconds from the last seek or song change to its first sound, once
// the device has played it; -1 before that. Reading it clears it.
int64_t takeSoundLatency(SongPlayer& player);
// Monotonic microseconds modulo 2^32 (never 0: 0 means "none").
uint32_t playerMicros();
