// libFuzzer target for the song compiler's text reader. An input is the
// instruments text, a NUL byte, then the score text (no NUL: both texts
// empty but the instruments). Whatever the bytes, the reader either refuses
// them with a "file:line: what" message or accepts a song that the program's
// own decoder loads with the same tracks: nothing accepted fails to load.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "synth/song_format.h"
#include "tools/songc/song_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const void* split = std::memchr(data, 0, size);
    const size_t instrumentsSize = split ? size_t(static_cast<const uint8_t*>(split) - data) : size;
    const std::string instruments(text, instrumentsSize);
    const std::string score = split ? std::string(text + instrumentsSize + 1, size - instrumentsSize - 1) : "";

    SongText song;
    std::string error;
    if (!parseSongText(instruments, "i.txt", score, "s.txt", song, error)) {
        if (error.rfind("i.txt", 0) != 0 && error.rfind("s.txt", 0) != 0) __builtin_trap();
        return 0;
    }
    if (song.tempo == 0 || song.instruments.size() > kMaxInstruments) __builtin_trap();
    if (song.tracks.size() != song.instruments.size()) __builtin_trap();
    const SongSource source = songSource(song, 80);
    const std::vector<uint8_t> bytes = encodeSong(source);
    if (bytes.empty()) __builtin_trap();
    DecodedSong decoded;
    if (!decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, decoded)) __builtin_trap();
    if (decoded.instrumentCount != song.instruments.size() || decoded.tempo != song.tempo) __builtin_trap();
    for (size_t t = 0; t < source.tracks.size(); ++t)
        if (decoded.eventCounts[t] != source.tracks[t].size()) __builtin_trap();
    releaseDecodedSong(decoded);
    return 0;
}
