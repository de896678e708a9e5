// SongRecording: a song rendered once from its start and kept whole in
// memory, its 16-bit stereo frames and the voices of every block, so that any
// time of it can be played or its pictures replayed without rendering again.
// One thread renders into it block by block and publishes each block; any
// number of readers use the blocks published so far and never wait.
#pragma once
#include <atomic>
#include <cstdint>

#include "driver/note_feed.h"

struct Synth;

struct SongRecording {
    uint32_t capacityBlocks = 0;  // blocks the arrays hold
    int16_t* frames = nullptr;    // capacityBlocks x 512 interleaved stereo frames
    float* blockStarts = nullptr;  // per block, as the show stamps its voice records
    VoiceState* voices = nullptr;  // per block, kFeedInstruments x kFeedVoices
    uint32_t* instrumentCounts = nullptr;  // per block
    std::atomic<uint32_t> blocks{0};  // published blocks
    std::atomic<bool> finished{false};  // the song stopped or the arrays are full
};

// Makes an empty recording for `seconds` of music at 44.1 kHz. False when
// memory is short (nothing is then held).
bool initSongRecording(SongRecording& recording, float seconds);
void releaseSongRecording(SongRecording& recording);
// Writer side, while no reader uses the recording: empties it.
void clearSongRecording(SongRecording& recording);
// Writer side: renders the Synth's next block into the recording and
// publishes it. False, with `finished` set, once the song has stopped or the
// recording is full. Never allocates.
bool recordSongBlock(SongRecording& recording, Synth& synth);
// Published frames (512 per block).
uint64_t recordedFrames(const SongRecording& recording);
// The voices of the block being heard at `time` seconds: the last published
// block that starts at or before it, as the show's voice ring answers. False
// (and `frame` left as it was) when no such block is published yet.
bool recordedVoices(const SongRecording& recording, float time, VoiceFrame& frame);
