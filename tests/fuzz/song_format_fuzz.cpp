// libFuzzer target for the song decoder and the bit reader: any byte string
// must decode either to a consistent song or to a clean, empty failure.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "synth/song_format.h"

// Invariants of a decoded song; a violation aborts so the fuzzer keeps the input.
static void checkSong(const DecodedSong& song, bool ok, size_t size) {
    if (!ok) {
        if (song.instrumentCount != 0) __builtin_trap();
        for (const DynArray& track : song.tracks)
            if (track.items != nullptr || track.count != 0) __builtin_trap();
        return;
    }
    if (song.instrumentCount > kMaxInstruments || song.tempo == 0) __builtin_trap();
    if (song.bytesConsumed > size) __builtin_trap();
    uint64_t events = 0;
    for (uint32_t t = 0; t < kMaxInstruments; ++t) {
        const DynArray& track = song.tracks[t];
        if (track.count != song.eventCounts[t]) __builtin_trap();
        if (t >= song.instrumentCount && track.count != 0) __builtin_trap();
        events += track.count;
        // Times start at the offset (0) and never decrease along a track.
        float previous = 0.0f;
        for (uint32_t i = 0; i < track.count; ++i) {
            const float time = track.at<NoteEvent>(i).time;
            if (!std::isfinite(time) || time < previous) __builtin_trap();
            previous = time;
        }
        for (uint32_t j = 0; j < kParamCount; ++j)
            if (!(song.parameters[t][j] >= 0.0f && song.parameters[t][j] <= 2.55f)) __builtin_trap();
    }
    if (songByteSize(song.instrumentCount, events) != song.bytesConsumed) __builtin_trap();
}

// Reads fields of 1..32 bits, widths taken from the data itself, until the
// reader runs dry: it must flag the overrun exactly when more bits were asked
// for than the data holds.
static void exerciseReader(const uint8_t* data, uint32_t size) {
    BitReader reader;
    reader.init(data, size);
    uint64_t bitsRead = 0;
    uint32_t width = 1;
    while (!reader.overrun) {
        const uint32_t value = reader.readBits(width);
        bitsRead += width;
        if (width < 32 && (value >> width) != 0) __builtin_trap();
        if (reader.overrun != (bitsRead > uint64_t(size) * 8)) __builtin_trap();
        width = (value % 32) + 1;
    }
    reader.release();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    DecodedSong song;
    const bool ok = decodeSong(data, uint32_t(size), 0.0f, song);
    checkSong(song, ok, size);
    releaseDecodedSong(song);
    exerciseReader(data, uint32_t(size));
    return 0;
}
