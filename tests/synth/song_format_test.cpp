// Song bytes: the bit reader's order and end handling, step and event times,
// encoder/decoder round trips, and the rejection of malformed song data.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/random.h"
#include "synth/song_encoder.h"
#include "synth/song_format.h"

namespace {

uint32_t floatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

InstrumentBytes filledInstrument(uint8_t value) {
    InstrumentBytes bytes;
    bytes.fill(value);
    return bytes;
}

// Two instruments; track 0 has a chord, a repeat of it six steps later with
// its note offs first, and track 1 one note.
SongSource smallSong() {
    SongSource song;
    song.tempo = 115;
    song.instruments = {filledInstrument(50), filledInstrument(7)};
    song.tracks = {
        {{0, 70, 80}, {0, 73, 80}, {0, 78, 80}, {6, 70, 0}, {0, 73, 0}, {0, 78, 0}, {0, 70, 80}, {0, 73, 80}, {0, 78, 80}},
        {{4, 39, 80}},
    };
    return song;
}

bool songIsEmpty(const DecodedSong& song) {
    if (song.instrumentCount != 0) return false;
    for (uint32_t t = 0; t < kMaxInstruments; ++t)
        if (song.tracks[t].items != nullptr || song.tracks[t].count != 0 || song.eventCounts[t] != 0) return false;
    return true;
}

}  // namespace

TEST(BitReader, BitsComeLeastSignificantFirstAndWordsAreLittleEndian) {
    const uint8_t data[] = {0xB4, 0x01, 0x02, 0x78, 0x56, 0x34, 0x12, 0xFF};
    BitReader reader;
    reader.init(data, sizeof(data));
    // 0xB4 = 1011 0100: read from bit 0 upwards.
    const uint32_t expected[] = {0, 0, 1, 0, 1, 1, 0, 1};
    for (uint32_t bit : expected) EXPECT_EQ(reader.readBit(), bit);
    EXPECT_EQ(reader.read16(), 0x0201u);
    EXPECT_EQ(reader.read32(), 0x12345678u);
    EXPECT_EQ(reader.read8(), 0xFFu);
    EXPECT_FALSE(reader.overrun);
    reader.release();
    reader.release();
}

TEST(BitReader, FieldsNarrowerThanAByteSpanByteBoundaries) {
    const uint8_t data[] = {0xAC, 0x35};  // bits LSB first: 0011 0101 1010 1100
    BitReader reader;
    reader.init(data, sizeof(data));
    EXPECT_EQ(reader.readBits(3), 0x4u);   // bits 0..2 of 0xAC
    EXPECT_EQ(reader.readBits(7), 0x35u);  // bits 3..7 of 0xAC, then bits 0..1 of 0x35
    EXPECT_EQ(reader.readBits(6), 0x0Du);  // bits 2..7 of 0x35
    EXPECT_FALSE(reader.overrun);
    reader.release();
}

TEST(BitReader, KeepsAPrivateCopyOfTheBytes) {
    uint8_t data[] = {0x11, 0x22};
    BitReader reader;
    reader.init(data, sizeof(data));
    data[0] = 0xEE;
    data[1] = 0xEE;
    EXPECT_EQ(reader.read16(), 0x2211u);
    reader.release();
}

TEST(BitReader, ReadsPastTheEndGiveZerosAndSetTheFlag) {
    const uint8_t data[] = {0xFF, 0xFF, 0xFF};
    BitReader reader;
    reader.init(data, sizeof(data));
    EXPECT_EQ(reader.read16(), 0xFFFFu);
    EXPECT_FALSE(reader.overrun);
    // One real byte, then zeros for the missing three.
    EXPECT_EQ(reader.read32(), 0xFFu);
    EXPECT_TRUE(reader.overrun);
    EXPECT_EQ(reader.bytePosition, 3u);
    EXPECT_EQ(reader.read8(), 0u);
    reader.release();

    BitReader empty;
    empty.init(nullptr, 0);
    EXPECT_EQ(empty.readBit(), 0u);
    EXPECT_TRUE(empty.overrun);  // even the first bit of an empty reader overruns
    empty.release();
}

TEST(SongTiming, StepDurationIsRoundedOnceFromExtendedPrecision) {
    EXPECT_EQ(stepDuration(115), 0.13043478f);
    // Reference values: 1 / (4 t k) computed exactly, rounded once to float.
    // A single-precision computation gives 1.0, 3.0 and 0.75 here instead.
    EXPECT_EQ(floatBits(stepDuration(15)), 0x3F7FFFFFu);  // 0.99999994
    EXPECT_EQ(floatBits(stepDuration(5)), 0x403FFFFFu);   // 2.9999998
    EXPECT_EQ(floatBits(stepDuration(20)), 0x3F3FFFFFu);  // 0.74999994
}

TEST(SongTiming, ProductIsRoundedToSinglePrecisionBeforeTheOffsetIsAdded) {
    const float step = stepDuration(115);
    EXPECT_EQ(eventTime(0.0f, step, 6), 0.7826087f);
    // Fused or double-precision arithmetic gives 1.9260869 (0x3FF68A04).
    EXPECT_EQ(floatBits(eventTime(0.1f, step, 14)), 0x3FF68A05u);
}

TEST(SongTiming, EventTimesFollowTheRunningStepSum) {
    const std::vector<uint8_t> bytes = encodeSong(smallSong());
    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), 2.5f, song));
    const DynArray& track = song.tracks[0];
    ASSERT_EQ(track.count, 9u);
    // Delta 0 first: exactly at the offset; same-step events keep stored order.
    const uint8_t notes[] = {70, 73, 78, 70, 73, 78, 70, 73, 78};
    const uint8_t velocities[] = {80, 80, 80, 0, 0, 0, 80, 80, 80};
    for (uint32_t i = 0; i < 9; ++i) {
        const NoteEvent& e = track.at<NoteEvent>(i);
        EXPECT_EQ(e.time, i < 3 ? 2.5f : 2.5f + 0.7826087f) << i;
        EXPECT_EQ(e.note, notes[i]) << i;
        EXPECT_EQ(e.velocity, velocities[i]) << i;
    }
    EXPECT_EQ(song.tracks[1].at<NoteEvent>(0).time, 2.5f + eventTime(0.0f, song.stepDuration, 4));
    releaseDecodedSong(song);
}

TEST(SongTiming, LargestDeltasAccumulateUnsignedTo32Bits) {
    // 65,535 events of 65,535 steps each: the sum passes 2^31 (a signed or
    // 16-bit accumulator would wrap) and ends at 4,294,836,225.
    SongSource source;
    source.tempo = 115;
    source.instruments = {filledInstrument(0)};
    source.tracks = {std::vector<SongStep>(65535, SongStep{65535, 60, 80})};
    const std::vector<uint8_t> bytes = encodeSong(source);
    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    const DynArray& track = song.tracks[0];
    ASSERT_EQ(track.count, 65535u);
    const float step = song.stepDuration;
    EXPECT_EQ(track.at<NoteEvent>(0).time, eventTime(0.0f, step, 65535u));
    EXPECT_EQ(track.at<NoteEvent>(32768).time, eventTime(0.0f, step, 32769u * 65535u));
    EXPECT_EQ(track.at<NoteEvent>(65534).time, eventTime(0.0f, step, 4294836225u));
    EXPECT_NEAR(track.at<NoteEvent>(65534).time, 4294836225.0 * 0.13043478, 1e4);
    for (uint32_t i = 1; i < track.count; ++i)
        ASSERT_LE(track.at<NoteEvent>(i - 1).time, track.at<NoteEvent>(i).time) << i;
    releaseDecodedSong(song);
}

TEST(SongDecoder, ParameterBytesAreHundredths) {
    SongSource source = smallSong();
    source.instruments[0][0] = 100;
    source.instruments[0][1] = 0;
    source.instruments[0][2] = 255;
    source.instruments[0][111] = 1;
    source.instruments[1][0] = 33;
    const std::vector<uint8_t> bytes = encodeSong(source);
    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    EXPECT_EQ(song.parameters[0][0], 1.0f);
    EXPECT_EQ(song.parameters[0][1], 0.0f);
    EXPECT_EQ(song.parameters[0][2], 2.55f);
    EXPECT_EQ(song.parameters[0][3], 0.5f);
    EXPECT_EQ(song.parameters[0][111], 0.01f);
    // Single-precision product 33 * 0.01f; 33 / 100 or a double product give 0x3EA8F5C3.
    EXPECT_EQ(floatBits(song.parameters[1][0]), 0x3EA8F5C2u);
    EXPECT_EQ(song.parameters[1][1], 0.07f);
    EXPECT_EQ(song.parameters[2][0], 0.0f);  // beyond the instrument count
    releaseDecodedSong(song);
}

TEST(SongDecoder, RandomSongsRoundTrip) {
    Random random;
    random.seed(20240611);
    for (int round = 0; round < 20; ++round) {
        SongSource source;
        source.tempo = uint16_t(random.rangeInt(1, 400));
        const uint32_t n = random.rangeInt(0, kMaxInstruments + 1);
        std::vector<std::vector<uint32_t>> sums(n);
        for (uint32_t i = 0; i < n; ++i) {
            InstrumentBytes bytes;
            for (auto& b : bytes) b = uint8_t(random.rangeInt(0, 101));
            source.instruments.push_back(bytes);
            std::vector<SongStep> track(random.rangeInt(0, 300));
            uint32_t sum = 0;
            for (auto& e : track) {
                // Mostly short gaps, sometimes the same step, now and then the largest.
                const uint32_t kind = random.rangeInt(0, 10);
                e.delta = uint16_t(kind == 0 ? 0 : kind == 1 ? 65535 : random.rangeInt(1, 64));
                e.note = uint8_t(random.rangeInt(0, 128));
                e.velocity = uint8_t(random.rangeInt(0, 2) * 80);
                sum += e.delta;
                sums[i].push_back(sum);
            }
            source.tracks.push_back(track);
        }
        std::vector<uint8_t> bytes = encodeSong(source);
        const uint32_t size = uint32_t(bytes.size());
        bytes.insert(bytes.end(), {1, 2, 3});  // trailing bytes are ignored
        const float offset = float(round) * 0.25f;

        DecodedSong song;
        ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), offset, song)) << round;
        EXPECT_EQ(song.bytesConsumed, size);
        EXPECT_EQ(song.tempo, source.tempo);
        ASSERT_EQ(song.instrumentCount, n);
        for (uint32_t i = 0; i < n; ++i) {
            for (uint32_t j = 0; j < kParamCount; ++j)
                ASSERT_EQ(song.parameters[i][j], float(source.instruments[i][j]) * 0.01f) << round << " " << i;
            const DynArray& track = song.tracks[i];
            ASSERT_EQ(track.count, source.tracks[i].size());
            ASSERT_EQ(song.eventCounts[i], track.count);
            for (uint32_t e = 0; e < track.count; ++e) {
                const NoteEvent& event = track.at<NoteEvent>(e);
                ASSERT_EQ(event.note, source.tracks[i][e].note);
                ASSERT_EQ(event.velocity, source.tracks[i][e].velocity);
                ASSERT_EQ(event.time, eventTime(offset, song.stepDuration, sums[i][e]));
            }
        }
        for (uint32_t t = n; t < kMaxInstruments; ++t) EXPECT_EQ(song.tracks[t].count, 0u);
        releaseDecodedSong(song);
        EXPECT_TRUE(songIsEmpty(song));
    }
}

TEST(SongDecoder, TakenTrackOutlivesTheSong) {
    const std::vector<uint8_t> bytes = encodeSong(smallSong());
    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    DynArray track = takeTrack(song, 0);
    EXPECT_EQ(song.tracks[0].items, nullptr);
    releaseDecodedSong(song);
    ASSERT_EQ(track.count, 9u);
    EXPECT_EQ(track.at<NoteEvent>(8).note, 78);
    track.release();
}

TEST(SongDecoder, EmptySongIsValid) {
    SongSource source;
    source.tempo = 90;
    const std::vector<uint8_t> bytes = encodeSong(source);
    ASSERT_EQ(bytes.size(), 16u);
    DecodedSong song;
    ASSERT_TRUE(decodeSong(bytes.data(), 16, 0.0f, song));
    EXPECT_TRUE(songIsEmpty(song));
    EXPECT_EQ(song.bytesConsumed, 16u);
    releaseDecodedSong(song);
}

TEST(SongDecoder, EveryTruncationIsRejectedWithNothingLeft) {
    const std::vector<uint8_t> bytes = encodeSong(smallSong());
    ASSERT_EQ(bytes.size(), songByteSize(2, 10));
    for (uint32_t length = 0; length < bytes.size(); ++length) {
        // An exact-size heap copy, so that any read past it is caught by ASan.
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
        DecodedSong song;
        EXPECT_FALSE(decodeSong(cut.data(), length, 0.0f, song)) << length;
        EXPECT_TRUE(songIsEmpty(song)) << length;
    }
}

TEST(SongDecoder, RejectsMalformedHeaders) {
    DecodedSong song;
    EXPECT_FALSE(decodeSong(nullptr, 100, 0.0f, song));

    // 33 instruments, although the bytes are all there.
    SongSource many;
    many.instruments.assign(33, filledInstrument(1));
    many.tracks.assign(33, {{1, 60, 80}});
    std::vector<uint8_t> bytes = encodeSong(many);
    EXPECT_FALSE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    EXPECT_TRUE(songIsEmpty(song));

    // Tempo 0 would make every event time NaN or infinite.
    SongSource still = smallSong();
    still.tempo = 0;
    bytes = encodeSong(still);
    EXPECT_FALSE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
    EXPECT_TRUE(songIsEmpty(song));

    // A count raised past the data: one more event than stored, and the largest count.
    for (uint8_t high : {0x00, 0xFF}) {
        bytes = encodeSong(smallSong());
        bytes[6] = high == 0 ? 10 : 0xFF;  // track 1's count, low byte
        bytes[7] = high;
        EXPECT_FALSE(decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song));
        EXPECT_TRUE(songIsEmpty(song));
    }
}

TEST(SongEncoder, TrackWriterBridgesLongGapsWithSilentEvents) {
    TrackWriter writer;
    EXPECT_TRUE(writer.add(3, 60, 80));
    EXPECT_TRUE(writer.add(3, 64, 80));
    EXPECT_TRUE(writer.add(3 + 65535 + 10, 60, 0));
    EXPECT_FALSE(writer.add(5, 60, 80));
    ASSERT_EQ(writer.events.size(), 4u);
    EXPECT_EQ(writer.events[0].delta, 3);
    EXPECT_EQ(writer.events[1].delta, 0);
    EXPECT_EQ(writer.events[2].delta, 65535);
    EXPECT_EQ(writer.events[2].note, 0);  // filler: no note
    EXPECT_EQ(writer.events[3].delta, 10);
    EXPECT_EQ(writer.events[3].note, 60);
}
