// The development player's parts that run without a window or a device:
// scene texts read from the source tree exactly as the build embeds them,
// pictures replayed from a recording exactly as from a live Synth, the
// device callback's seeks, loops and pauses, the transport's arithmetic, the
// level meter, the song folder's compilation and the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/song.h"
#include "data/timetable.h"
#include "driver/music.h"
#include "driver/show.h"
#include "render/programs.h"
#include "runtime/counter.h"
#include "synth/synth.h"
#include "tests/probe/probe_allocations.h"
#include "tests/support/sanitizer_build.h"
#include "tests/support/scratch_folder.h"
#include "tools/intro_dev/level_meter.h"
#include "tools/intro_dev/player_options.h"
#include "tools/intro_dev/shader_source.h"
#include "tools/intro_dev/song_player.h"
#include "tools/intro_dev/transport.h"
#include "tools/replay/show_replay.h"
#include "tools/replay/song_recording.h"
#include "tools/songc/song_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string kShaders = std::string(INTRO_SOURCE_DIR) + "/shaders";

// A scratch copy of the shaders folder, removed afterwards.
struct ShaderCopy {
    const ScratchFolder scratch{"intro_dev_shaders"};
    const fs::path root = fs::path(scratch.path()) / "shaders";
    ShaderCopy() { fs::copy(kShaders, root, fs::copy_options::recursive); }
    void write(const std::string& file, const std::string& text) const {
        std::ofstream(root / file, std::ios::binary) << text;
    }
};

// Each scene's text, and the files it is made of: the scene first, every
// included piece once (the cube grid includes some).
TEST(ShaderText, EveryScene_ReadFromTheTree_IsTheTextTheBuildEmbedded) {
    int cubeGridPieces = 0;
    for (int slot = 0; slot < kSceneProgramCount; ++slot) {
        ShaderText text;
        std::string error;
        ASSERT_TRUE(readShaderText(kShaders, kSceneFiles[slot], text, error)) << error;
        EXPECT_EQ(text.text, kSceneSources[slot]) << kSceneFiles[slot];
        ASSERT_FALSE(text.files.empty());
        EXPECT_EQ(text.files[0], kSceneFiles[slot]);
        for (const std::string& file : text.files) {
            EXPECT_EQ(std::count(text.files.begin(), text.files.end(), file), 1) << file;
            if (std::string(kSceneFiles[slot]) == "cube_grid.frag.glsl") cubeGridPieces += file.rfind("lib/", 0) == 0;
        }
    }
    EXPECT_GT(cubeGridPieces, 0);
}

TEST(ShaderText, RefusesFilesItCannotMakeAProgramOf) {
    const ShaderCopy copy;
    copy.write("lib/hsv.glsl", "#include \"hsv.glsl\"\n");
    copy.write("flag.frag.glsl", "#version 120\n#include \"lib/new_piece.glsl\"\nvoid main() {}\n");
    std::ofstream(copy.root / "lib/new_piece.glsl") << "float x;\n";
    struct Case {
        const char* file;
        const char* says;
    } cases[] = {
        {"no_such.frag.glsl", "shaders/no_such.frag.glsl: cannot be read"},
        {"flag.frag.glsl", "shaders/lib/new_piece.glsl: not a shader file of this build"},
    };
    for (const Case& c : cases) {
        ShaderText text;
        std::string error;
        EXPECT_FALSE(readShaderText(copy.root.string(), c.file, text, error)) << c.file;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    // Whichever scene includes the piece that includes itself is refused.
    bool refused = false;
    for (int slot = 0; slot < kSceneProgramCount; ++slot) {
        ShaderText text;
        std::string error;
        if (!readShaderText(copy.root.string(), kSceneFiles[slot], text, error))
            refused = refused || error.find("included again from itself") != std::string::npos;
    }
    EXPECT_TRUE(refused);
}

TEST(ShaderText, MinifiesAsTheBuildDoes) {
    EXPECT_EQ(minifyShaderText("  #version 120 // v\n  float a; \t\n\tb; // c\n//\n"), "  #version 120\nfloat a;\nb;\n\n");
}

// Renders the show's song into a recording for `seconds` of music.
void recordSong(SongRecording& recording, Synth& synth, float seconds) {
    ASSERT_TRUE(initSongRecording(recording, std::max(seconds, 30.0f) + 1.0f));
    pinCounter(1);
    ASSERT_TRUE(prepareSynth(synth, kSong, kSongSize));
    start(synth, 0.0f);
    while (recordedFrames(recording) < uint64_t(seconds * kSampleRate) && recordSongBlock(recording, synth)) {
    }
}

// Entries of the two feeds that differ, and whether the timelines agree.
int feedDifferences(const ShowReplay& a, const ShowReplay& b) {
    if (a.feed.rows != b.feed.rows || a.timeline.sequence != b.timeline.sequence) return -1;
    int differing = 0;
    for (uint32_t i = 0; i < a.feed.rows * kFeedNotes; ++i) differing += a.feed.notes[i] != b.feed.notes[i];
    for (uint32_t i = 0; i < a.feed.rows; ++i) differing += a.feed.peaks[i] != b.feed.peaks[i];
    return differing;
}

// How far the replay comparison goes: a sanitizer build renders many times
// slower, and the early clocks already compare every step of the look-up.
constexpr float kReplayReach = kSanitizerBuild ? 13.0f : 42.0f;

TEST(SongRecording, ReplaysThePicturesOfALiveSynthExactly) {
    static Synth synth;
    SongRecording recording;
    recordSong(recording, synth, kReplayReach);
    ShowReplay recorded, live;
    ASSERT_TRUE(initRecordedReplay(recorded, recording, synth.instrumentCount.load()));
    ASSERT_TRUE(initReplay(live, true, 1));
    // Clocks in four Sequences, the last one far enough for the note feed's
    // history to matter, stepped alike in both.
    for (float clock : {3.5f, 12.25f, 30.0f, 41.3f}) {
        if (clock + kPictureDelay >= kReplayReach) break;
        advanceReplay(live, clock);
        advanceReplay(recorded, clock);
        EXPECT_EQ(feedDifferences(recorded, live), 0) << "clock " << clock;
    }
    releaseReplay(live);
    // Rewound and stepped again, as after a seek: a fresh live replay.
    ASSERT_TRUE(initReplay(live, true, 1));
    advanceReplay(live, 12.25f);
    restartReplay(recorded);
    advanceReplay(recorded, 12.25f);
    EXPECT_EQ(feedDifferences(recorded, live), 0);
    releaseReplay(live);
    releaseReplay(recorded);
    releaseSongRecording(recording);
}

TEST(SongRecording, HoldsTheOfflineRenderBitForBit) {
    static Synth recorded, offline;
    SongRecording recording;
    recordSong(recording, recorded, 3.0f);
    pinCounter(1);
    ASSERT_TRUE(prepareSynth(offline, kSong, kSongSize));
    start(offline, 0.0f);
    for (uint32_t block = 0; block < recording.blocks.load(); ++block) {
        const int16_t* out = nullptr;
        renderBlock(offline, &out);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::memcmp(out, recording.frames + size_t(block) * kBlockFrames * 2, kBlockFrames * 4), 0)
            << "block " << block;
    }
    releaseSongRecording(recording);
}

// A player whose recording holds frame i as the sample pair (i, -i), with
// `recorded` frames published; no device, no render thread.
struct CallbackPlayer {
    SongPlayer player;
    explicit CallbackPlayer(uint32_t recorded) {
        initSongRecording(player.recordings[0], 1.0f);
        for (uint32_t i = 0; i < player.recordings[0].capacityBlocks * kBlockFrames; ++i) {
            player.recordings[0].frames[2 * i] = int16_t(i);
            player.recordings[0].frames[2 * i + 1] = int16_t(-int32_t(i));
        }
        player.recordings[0].blocks.store(recorded / kBlockFrames);
        player.heard.store(&player.recordings[0]);
    }
    ~CallbackPlayer() { releaseSongRecording(player.recordings[0]); }
    // One take of `frames` frames: the left samples.
    std::vector<int16_t> take(uint32_t frames) {
        std::vector<int16_t> out(frames * 2, 99);
        playSongFrames(player, reinterpret_cast<uint8_t*>(out.data()), int32_t(frames * 4));
        std::vector<int16_t> left;
        for (uint32_t i = 0; i < frames; ++i) left.push_back(out[2 * i]);
        return left;
    }
};

TEST(SongPlayerCallback, PlaysSeeksLoopsPausesAndWaitsForTheRender) {
    CallbackPlayer c(4 * kBlockFrames);  // frames 0..2047 recorded
    seekSong(c.player, 100);
    EXPECT_EQ(c.take(3), (std::vector<int16_t>{100, 101, 102}));
    EXPECT_EQ(c.player.position.load(), 103);
    // A loop of frames 200..203 from inside it.
    seekSong(c.player, 202);
    c.player.loopStart.store(200);
    c.player.loopEnd.store(204);
    EXPECT_EQ(c.take(6), (std::vector<int16_t>{202, 203, 200, 201, 202, 203}));
    c.player.loopEnd.store(0);
    // Paused: silence, the position stays (at the loop's end, which the
    // next take would have wrapped).
    pauseSong(c.player, true);
    EXPECT_EQ(c.take(2), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(c.player.position.load(), 204);
    EXPECT_EQ(heardFrame(c.player), 204);
    pauseSong(c.player, false);
    // Past what is recorded: silence up to the render's reach, then the wait.
    seekSong(c.player, 2046);
    EXPECT_EQ(c.take(4), (std::vector<int16_t>{2046, 2047, 0, 0}));
    EXPECT_EQ(c.player.position.load(), 2048);
    c.player.recordings[0].blocks.store(5);
    EXPECT_EQ(c.take(2), (std::vector<int16_t>{2048, 2049}));
    EXPECT_GE(takeSoundLatency(c.player), 0);
}

TEST(SongPlayerCallback, NeverAllocates) {
    if (!probeCountsAllocations()) GTEST_SKIP() << "allocations are not counted in this build";
    CallbackPlayer c(8 * kBlockFrames);
    std::vector<uint8_t> out(1024 * 4);
    const uint64_t before = countedAllocationsOfAllCode();
    armAllocationCount(true);
    for (int i = 0; i < 200; ++i) {
        if (i % 17 == 0) seekSong(c.player, i * 13);
        if (i % 40 == 0) c.player.loopEnd.store(c.player.loopEnd.load() ? 0 : 3000);
        playSongFrames(c.player, out.data(), int32_t(out.size()));
    }
    armAllocationCount(false);
    EXPECT_EQ(countedAllocationsOfAllCode(), before);
}

TEST(SongRecording, RecordsWithoutAllocating) {
    if (!probeCountsAllocations()) GTEST_SKIP() << "allocations are not counted in this build";
    static Synth synth;
    SongRecording recording;
    recordSong(recording, synth, 0.0f);
    // The count does see an allocation of this code.
    const uint64_t before = countedAllocations();
    armAllocationCount(true);
    std::vector<int>* canary = new std::vector<int>(16);
    armAllocationCount(false);
    delete canary;
    EXPECT_GT(countedAllocations(), before);
    const uint64_t counted = countedAllocations();
    armAllocationCount(true);
    while (recordedFrames(recording) < uint64_t(30 * kSampleRate) && recordSongBlock(recording, synth)) {
    }
    armAllocationCount(false);
    EXPECT_EQ(countedAllocations(), counted);
    EXPECT_GE(recordedFrames(recording), uint64_t(30 * kSampleRate));
    releaseSongRecording(recording);
}

TEST(Transport, MovesOnTheSongsGrid) {
    const MusicGrid grid = songGrid(kSong, kSongSize);
    const double beat = grid.stepSeconds * 4, bar = beat * 4;
    EXPECT_NEAR(beat, 60.0 / 115.0, 1e-6);
    struct Case {
        double time;
        int32_t steps, direction;
        double expected;
    } cases[] = {
        {0.0, 4, +1, beat},          {beat, 4, +1, 2 * beat},   {1.5 * beat, 4, +1, 2 * beat},
        {1.5 * beat, 4, -1, beat},   {beat, 4, -1, 0.0},        {0.1, 4, -1, 0.0},
        {0.0, 16, +1, bar},          {10 * bar, 16, -1, 9 * bar}, {10 * bar - 1e-9, 16, +1, 11 * bar},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(moveOnGrid(grid, c.time, c.steps, c.direction), c.expected, 1e-9)
            << c.time << " by " << c.steps * c.direction;
    EXPECT_EQ(gridPosition(grid, 0.0), "1:1:1");
    EXPECT_EQ(gridPosition(grid, bar + beat + grid.stepSeconds * 2.5), "2:2:3");
    EXPECT_EQ(gridPosition(grid, 10 * bar), "11:1:1");
}

TEST(Transport, FindsTheShowsSequences) {
    for (int32_t s = 0; s < kSequenceCount; ++s) {
        EXPECT_EQ(sequenceAt(sequenceStart(s)), s);
        if (s > 0) {
            EXPECT_EQ(sequenceAt(sequenceStart(s) - 0.01), s - 1);
            EXPECT_DOUBLE_EQ(moveBySequence(sequenceStart(s) + 0.5, -1), sequenceStart(s - 1));
        }
    }
    EXPECT_DOUBLE_EQ(sequenceStart(3), kSequences.start[3] / 60.0 + double(kPictureDelay));
    EXPECT_DOUBLE_EQ(moveBySequence(sequenceStart(3) + 1.0, +1), sequenceStart(4));
    EXPECT_DOUBLE_EQ(moveBySequence(sequenceStart(kSequenceCount - 1), +1), sequenceStart(kSequenceCount - 1));
    const TimeRange third = sequenceRange(sequenceStart(3) + 2.0, 145.0);
    EXPECT_DOUBLE_EQ(third.start, sequenceStart(3));
    EXPECT_DOUBLE_EQ(third.end, sequenceStart(4));
    EXPECT_DOUBLE_EQ(sequenceRange(140.0, 144.5).end, 144.5);
}

// Stereo 16-bit sine pieces: `seconds` of `hz` at `db` of full scale in the
// left channel and `rightDb` in the right (-inf: silent), starting at `phase`.
void appendSine(std::vector<int16_t>& out, double seconds, double hz, double db, double rightDb, double phase = 0.0) {
    const double left = 32768.0 * std::pow(10.0, db / 20.0), right = 32768.0 * std::pow(10.0, rightDb / 20.0);
    const size_t frames = size_t(std::lround(seconds * kSampleRate));
    for (size_t i = 0; i < frames; ++i) {
        const double wave = std::sin(2.0 * M_PI * hz * double(i) / kSampleRate + phase);
        out.push_back(int16_t(std::lround(std::min(left * wave, 32767.0))));
        out.push_back(int16_t(std::lround(std::min(right * wave, 32767.0))));
    }
}

TEST(LevelMeter, ReadsShortTermLoudnessAndTruePeak) {
    struct Piece { double seconds, hz, db, rightDb, phase; };
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        double shortTerm, truePeak;  // -inf: silence
    } cases[] = {
        // A 1 kHz sine in both channels reads its level in dBFS as LUFS.
        {"-23 dBFS sine", {{3.0, 1000.0, -23.0, -23.0, 0.0}}, -23.0, -23.0},
        {"-6 dBFS sine", {{3.0, 1000.0, -6.0, -6.0, 0.0}}, -6.0, -6.0},
        {"one channel", {{3.0, 1000.0, -23.0, -INFINITY, 0.0}}, -26.0, -23.0},
        // Samples at 45 degrees off the crests: 3 dB below the wave's peak.
        {"peak between samples", {{3.0, kSampleRate / 4.0, -6.0, -6.0, M_PI / 4.0}}, NAN, -6.0},
        // Both readings are of the last 3 s.
        {"loud then quiet", {{2.0, 1000.0, -6.0, -6.0, 0.0}, {3.0, 1000.0, -23.0, -23.0, 0.0}}, -23.0, -23.0},
        {"silence", {{3.0, 1000.0, -INFINITY, -INFINITY, 0.0}}, -INFINITY, -INFINITY},
    };
    for (const auto& c : cases) {
        std::vector<int16_t> frames;
        for (const Piece& piece : c.pieces) appendSine(frames, piece.seconds, piece.hz, piece.db, piece.rightDb, piece.phase);
        LevelFollower follower;
        follower.follow(frames.data(), int64_t(frames.size() / 2));
        const LevelReading level = follower.reading();
        if (std::isinf(c.shortTerm)) {
            EXPECT_TRUE(std::isinf(level.shortTerm) && level.shortTerm < 0) << c.name;
        } else if (!std::isnan(c.shortTerm)) {
            EXPECT_NEAR(level.shortTerm, c.shortTerm, 0.1) << c.name;
        }
        if (std::isinf(c.truePeak)) {
            EXPECT_TRUE(std::isinf(level.truePeak) && level.truePeak < 0) << c.name;
        } else {
            EXPECT_NEAR(level.truePeak, c.truePeak, 0.15) << c.name;
        }
    }
    char bar[11];
    levelBar(-30.0f, bar, 10);
    EXPECT_STREQ(bar, "#####.....");
    levelBar(-INFINITY, bar, 10);
    EXPECT_STREQ(bar, "..........");
}

TEST(LevelMeter, FollowerMeasuresAgainOnlyWhenTheHeardPositionMovesOn) {
    std::vector<int16_t> song, other;
    appendSine(song, 2.0, 1000.0, -6.0, -6.0);
    appendSine(song, 4.0, 1000.0, -23.0, -23.0);
    appendSine(other, 6.0, 1000.0, -6.0, -6.0);
    const int64_t step = std::llround(kLevelStepSeconds * kSampleRate), second = kSampleRate;
    const struct {
        const int16_t* frames;
        int64_t end;
        bool measures;
        float shortTerm, truePeak;  // the reading after the call; -inf: silence
    } steps[] = {
        {song.data(), 0, true, -INFINITY, -INFINITY},  // nothing heard yet
        {song.data(), step - 1, false, -INFINITY, -INFINITY},
        {song.data(), step, true, -16.8f, -6.0f},  // 250 ms of -6 dBFS in a 3 s window: -6 - 10.8
        // Played on: 2 s of -6 and 1 s of -23 in the window, then none of the loud part.
        {song.data(), 3 * second, true, -7.7f, -6.0f},
        {song.data(), 5 * second + step, true, -23.0f, -23.0f},
        {song.data(), 5 * second + step, false, -23.0f, -23.0f},  // paused
        {song.data(), 4 * second, true, -10.6f, -6.0f},            // a step back: 1 s loud, 2 s quiet
        {other.data(), 4 * second, true, -6.0f, -6.0f},            // a new song
    };
    LevelFollower follower;
    for (size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(follower.follow(steps[i].frames, steps[i].end), steps[i].measures) << "step " << i;
        const LevelReading& reading = follower.reading();
        for (const auto& [got, want] : {std::pair{reading.shortTerm, steps[i].shortTerm},
                                        std::pair{reading.truePeak, steps[i].truePeak}}) {
            if (std::isinf(want)) {
                EXPECT_TRUE(std::isinf(got)) << "step " << i;
            } else {
                EXPECT_NEAR(got, want, 0.2f) << "step " << i;
            }
        }
    }
}

TEST(SongFolder, CompilesTheTreesSourceToTheEmbeddedSong) {
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(compileSongFolder(std::string(INTRO_SOURCE_DIR) + "/data/song", kPieceVelocity, bytes, error)) << error;
    EXPECT_EQ(bytes, std::vector<uint8_t>(kSong, kSong + kSongSize));
    EXPECT_FALSE(compileSongFolder("/nonexistent", kPieceVelocity, bytes, error));
    EXPECT_NE(error.find("cannot read /nonexistent/instruments.txt: No such file"), std::string::npos) << error;
}

TEST(PlayerOptions, ReadsGoodAndRefusesBadArguments) {
    struct Case {
        std::vector<const char*> args;
        bool ok;
    } cases[] = {
        {{"--at", "40", "--size", "192x108", "--scale", "0.5", "--loop", "27.45-44.4", "--paused"}, true},
        {{"--seed", "7", "--source", "/tmp", "--shots", "/tmp"}, true},
        {{"--scale", "0.2"}, false},
        {{"--scale", "1.5"}, false},
        {{"--at", "-1"}, false},
        {{"--at", "146"}, false},
        {{"--loop", "30-20"}, false},
        {{"--loop", "30"}, false},
        {{"--size", "960"}, false},
        {{"--size", "0x540"}, false},
        {{"--at"}, false},
        {{"--seed", "4294967296"}, false},
        {{"--fullscreen"}, false},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"intro_dev"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        PlayerOptions options;
        EXPECT_EQ(parsePlayerOptions(int(argv.size()), argv.data(), options), c.ok) << c.args[0];
        if (c.ok && std::string(c.args[0]) == "--at") {
            EXPECT_DOUBLE_EQ(options.at, 40.0);
            EXPECT_EQ(options.width, 192);
            EXPECT_EQ(options.height, 108);
            EXPECT_DOUBLE_EQ(options.scale, 0.5);
            EXPECT_DOUBLE_EQ(options.loop.start, 27.45);
            EXPECT_DOUBLE_EQ(options.loop.end, 44.4);
            EXPECT_TRUE(options.paused);
        }
    }
}

}  // namespace
