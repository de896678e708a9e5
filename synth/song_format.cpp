// BitReader and the song decoder. The decoder checks the layout's exact size
// against the length before it allocates anything, so malformed data fails
// early and the reader's overrun flag is only a second line of defence.
#include "synth/song_format.h"

#include "runtime/memory.h"

void BitReader::init(const void* data, uint32_t length) {
    bytes.init(1);
    bytePosition = 0;
    // 8 even for an empty reader: its very first read fetches, finds no byte
    // and reports the overrun instead of handing out the bits of a byte that
    // was never read.
    bitPosition = 8;
    currentByte = 0;
    overrun = false;
    if (data == nullptr || length == 0) return;
    bytes.resize(length);
    if (bytes.count != length) {  // no room for the copy: read nothing
        bytes.release();
        return;
    }
    copyBytes(bytes.items, data, length);
}

uint32_t BitReader::readBit() {
    if (bitPosition >= 8) {
        if (bytePosition >= bytes.count) {
            // Past the end: stay here and hand out zeros.
            overrun = true;
            return 0;
        }
        currentByte = bytes.items[bytePosition++];
        bitPosition = 0;
    }
    return (currentByte >> bitPosition++) & 1u;
}

uint32_t BitReader::readBits(uint32_t n) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < n && i < 32; ++i) value |= readBit() << i;
    return value;
}

void BitReader::release() {
    bytes.release();
}

float stepDuration(uint32_t tempo) {
    const long double stepsPerSecond = 4.0L * (long double)tempo * (long double)kMinutesPerSecond;
    return float(1.0L / stepsPerSecond);
}

float eventTime(float offset, float stepDuration, uint32_t stepSum) {
    const float product = stepDuration * float(stepSum);
    return offset + product;
}

uint64_t songByteSize(uint32_t instrumentCount, uint64_t totalEvents) {
    // count and tempo, counts, "INST", parameters, "SONG", tracks, "ENDS"
    return 4 + 2 * uint64_t(instrumentCount) + 4 + uint64_t(kParamCount) * instrumentCount + 4 +
           4 * totalEvents + 4;
}

// An empty song: every track initialised without storage.
static void emptySong(DecodedSong& song) {
    song.instrumentCount = 0;
    song.tempo = 0;
    song.stepDuration = 0.0f;
    song.bytesConsumed = 0;
    for (uint32_t t = 0; t < kMaxInstruments; ++t) {
        song.eventCounts[t] = 0;
        fillBytes(song.parameters[t], 0, sizeof(song.parameters[t]));
        song.tracks[t].init(sizeof(NoteEvent));
    }
}

void releaseDecodedSong(DecodedSong& song) {
    for (uint32_t t = 0; t < kMaxInstruments; ++t) song.tracks[t].release();
    emptySong(song);
}

DynArray takeTrack(DecodedSong& song, uint32_t t) {
    DynArray track = song.tracks[t];
    song.tracks[t].init(sizeof(NoteEvent));
    return track;
}

// Reads the tracks' deltas, notes and velocities into storage already sized
// to the counts. Times come from an unsigned running sum per track: 65,535
// events of 65,535 steps stay below 2^32, so the sum never wraps.
static void readTracks(BitReader& reader, DecodedSong& song, float timeOffset) {
    for (uint32_t t = 0; t < song.instrumentCount; ++t) {
        DynArray& track = song.tracks[t];
        const uint32_t count = song.eventCounts[t];
        uint32_t stepSum = 0;
        for (uint32_t i = 0; i < count; ++i) {
            stepSum += reader.read16();
            NoteEvent& event = track.at<NoteEvent>(i);
            event.time = eventTime(timeOffset, song.stepDuration, stepSum);
            event.padding[0] = 0;
            event.padding[1] = 0;
        }
        for (uint32_t i = 0; i < count; ++i) track.at<NoteEvent>(i).note = uint8_t(reader.read8());
        for (uint32_t i = 0; i < count; ++i) track.at<NoteEvent>(i).velocity = uint8_t(reader.read8());
    }
}

static bool failDecode(BitReader& reader, DecodedSong& song) {
    reader.release();
    releaseDecodedSong(song);
    return false;
}

bool decodeSong(const uint8_t* data, uint32_t length, float timeOffset, DecodedSong& out) {
    emptySong(out);
    // Instrument count and tempo, then the counts, are needed to know the size.
    if (data == nullptr || length < 4) return false;
    BitReader reader;
    reader.init(data, length);

    const uint32_t instrumentCount = reader.read16();
    const uint32_t tempo = reader.read16();
    if (instrumentCount > kMaxInstruments || tempo == 0) return failDecode(reader, out);
    if (length < songByteSize(instrumentCount, 0)) return failDecode(reader, out);

    uint64_t totalEvents = 0;
    for (uint32_t i = 0; i < instrumentCount; ++i) {
        out.eventCounts[i] = reader.read16();
        totalEvents += out.eventCounts[i];
    }
    const uint64_t size = songByteSize(instrumentCount, totalEvents);
    if (length < size) return failDecode(reader, out);

    out.instrumentCount = instrumentCount;
    out.tempo = tempo;
    out.stepDuration = stepDuration(tempo);
    out.bytesConsumed = uint32_t(size);
    for (uint32_t t = 0; t < instrumentCount; ++t) {
        out.tracks[t].init(sizeof(NoteEvent), out.eventCounts[t]);
        if (out.tracks[t].count != out.eventCounts[t]) return failDecode(reader, out);
    }

    reader.read32();  // "INST"
    for (uint32_t i = 0; i < instrumentCount; ++i)
        for (uint32_t j = 0; j < kParamCount; ++j) out.parameters[i][j] = float(reader.read8()) * 0.01f;
    reader.read32();  // "SONG"
    readTracks(reader, out, timeOffset);
    reader.read32();  // "ENDS"

    if (reader.overrun || reader.bytePosition != size) return failDecode(reader, out);
    reader.release();
    return true;
}
