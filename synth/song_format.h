// The song byte layout: NoteEvent, the bit-level BitReader over a private copy
// of the bytes, and the decoder that turns song bytes into parameters and
// timed note lists, rejecting malformed data as a whole.
#pragma once
#include <cstdint>

#include "runtime/dyn_array.h"
#include "runtime/params.h"

// Song layout (little-endian, unpadded), N instruments, C[t] events in track t:
//   u16 N (<= 32), u16 tempo (beats per minute), N x u16 C[t], "INST",
//   N x 112 parameter bytes (hundredths), "SONG",
//   per track t: C[t] x u16 step delta, C[t] x u8 note, C[t] x u8 velocity,
//   "ENDS".
// Total 4 + 2N + 4 + 112N + 4 + 4 * sum(C) + 4 bytes; one step is a sixteenth
// note. Tags are read and skipped without comparison.
constexpr uint32_t kMaxInstruments = 32;
// The largest song the layout can describe: 32 instruments whose tracks all
// hold the most events a u16 count allows (8,392,144 bytes). Readers of song
// files refuse anything longer before reading it whole.
constexpr uint64_t kLargestSongBytes = 4 + 2 * kMaxInstruments + 4 + uint64_t(kParamCount) * kMaxInstruments + 4 +
                                       4 * uint64_t(kMaxInstruments) * 65535 + 4;
// The single-precision float nearest to 1/60 (minutes to seconds).
constexpr float kMinutesPerSecond = 0.016666668f;

// One element of a Track: 8 bytes.
struct NoteEvent {
    float time;        // seconds from the start of the song
    uint8_t note;      // MIDI note number; 0 = no note, skipped at playback
    uint8_t velocity;  // 0 = note off, else note on with this velocity
    uint8_t padding[2];
};
static_assert(sizeof(NoteEvent) == 8, "Tracks hold 8-byte events");

// Reads bits least significant first from a private copy of a byte block.
// Reading past the end yields 0 bits and sets `overrun`, so a caller can tell
// truncated data from real zeros by testing the flag once after its reads.
struct BitReader {
    DynArray bytes;         // 1-byte elements: the copy being read
    uint32_t bytePosition;  // index of the next byte to fetch
    uint32_t bitPosition;   // bits taken from currentByte, 0..8 (8: fetch before next bit)
    uint8_t currentByte;
    bool overrun;           // a read went past the end of the data

    // Copies `length` bytes from `data` (nothing when data is null or length 0).
    // If the copy cannot be allocated the reader is empty and the first read overruns.
    void init(const void* data, uint32_t length);
    // Next bit, 0 or 1.
    uint32_t readBit();
    // n bits (1..32); bit i of the result is the i-th bit read.
    uint32_t readBits(uint32_t n);
    uint32_t read8() { return readBits(8); }
    // Little-endian when read from a byte boundary.
    uint32_t read16() { return readBits(16); }
    uint32_t read32() { return readBits(32); }
    // Frees the copy; safe to call twice.
    void release();
};

// Length of one step (a sixteenth note) in seconds: 1 / (4 * tempo * 1/60),
// formed in extended precision and rounded once to float. Tempo 115 gives
// 0.13043478 s. Tempo 0 gives +infinity (the decoder rejects it).
float stepDuration(uint32_t tempo);

// Time of an event whose running step sum is `stepSum`:
// offset + float(stepDuration * float(stepSum)), each operation in single
// precision, the product rounded before the sum.
float eventTime(float offset, float stepDuration, uint32_t stepSum);

// Exact byte size of a song with `instrumentCount` instruments and
// `totalEvents` events over all tracks (64-bit: never wraps).
uint64_t songByteSize(uint32_t instrumentCount, uint64_t totalEvents);

// A fully decoded song. Every one of the 32 tracks is an initialised DynArray
// of NoteEvents (tracks at and beyond instrumentCount are empty, no storage),
// so releaseDecodedSong is always safe, even after a failed decode.
struct DecodedSong {
    uint32_t instrumentCount;                        // 0..32
    uint32_t tempo;                                  // beats per minute, > 0
    float stepDuration;                              // seconds per step
    uint32_t eventCounts[kMaxInstruments];           // events of track t (0 beyond instrumentCount)
    float parameters[kMaxInstruments][kParamCount];  // byte * 0.01, see runtime/params.h
    DynArray tracks[kMaxInstruments];                // NoteEvent elements, sorted by time
    uint32_t bytesConsumed;                          // bytes the layout occupies (<= length)
};

// Decodes `length` bytes of song data; events get times from `timeOffset`
// seconds on. All or nothing: on success `out` holds the whole song; on
// failure it holds an empty song (instrumentCount 0, no storage) and false is
// returned. Rejected: null data, fewer bytes than the layout needs (any
// truncation), more than 32 instruments, tempo 0 (every time would be
// infinite or NaN), and a track whose storage cannot be allocated.
// Accepted: 0 instruments (an empty song of 16 bytes), and trailing bytes
// after the "ENDS" tag, which are ignored (see bytesConsumed).
// `out` need not be initialised; anything it held is overwritten, not freed.
bool decodeSong(const uint8_t* data, uint32_t length, float timeOffset, DecodedSong& out);

// Moves track t's storage out of the song (the caller owns it from now on)
// and leaves an empty track behind.
DynArray takeTrack(DecodedSong& song, uint32_t t);

// Frees the storage of every track and leaves an empty song.
void releaseDecodedSong(DecodedSong& song);
