// The song compiler: the checked-in song bytes are exactly what the text
// source compiles to, the piece keeps its facts, a song that breaks one is
// refused with the fact named, and faults in the text are reported where
// they are.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/song.h"
#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"
#include "tools/songc/piece_facts.h"
#include "tools/songc/song_source.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

const std::string kSourceDir = std::string(INTRO_SOURCE_DIR) + "/data/song/";

struct Source {
    std::string instruments = readFile(kSourceDir + "instruments.txt");
    std::string score = readFile(kSourceDir + "score.txt");
};

// Compiles texts; empty bytes and the message when they do not parse.
std::vector<uint8_t> compile(const std::string& instruments, const std::string& score, std::string& error) {
    SongText text;
    if (!parseSongText(instruments, "instruments.txt", score, "score.txt", text, error)) return {};
    return encodeSong(songSource(text, 80));
}

std::vector<uint8_t> compile(const std::string& instruments, const std::string& score) {
    std::string error;
    std::vector<uint8_t> bytes = compile(instruments, score, error);
    EXPECT_EQ(error, "");
    return bytes;
}

std::string withReplaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

bool mentions(const std::vector<std::string>& faults, const std::string& what) {
    for (const std::string& fault : faults)
        if (fault.find(what) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(SongSource, CompilesToTheCheckedInAndEmbeddedBytes) {
    const Source source;
    const std::vector<uint8_t> bytes = compile(source.instruments, source.score);
    const std::string file = readFile(std::string(INTRO_SOURCE_DIR) + "/data/song.bin");
    const std::vector<uint8_t> binary(file.begin(), file.end());
    ASSERT_EQ(bytes.size(), binary.size()) << "data/song.bin is stale: run songc data/song -o data/song.bin";
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), binary.begin())) << "data/song.bin differs from its source";
    ASSERT_EQ(kSongSize, bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), kSong)) << "the embedded song is not data/song.bin";
}

TEST(PieceFacts, HoldForTheShippedSong) {
    const std::vector<uint8_t> bytes(kSong, kSong + kSongSize);
    const SongFigures figures = measureSong(bytes);
    EXPECT_EQ(pieceFaults(bytes, figures), std::vector<std::string>{});
    EXPECT_EQ(figures.totalEvents, 4604u);
    EXPECT_EQ(figures.noteOns, figures.noteOffs);
    EXPECT_EQ(figures.restrikes, 435u);
}

// Each edit breaks one fact of the piece, and the fault says which.
TEST(PieceFacts, NameWhatAnEditedSourceBreaks) {
    const Source source;
    struct Case {
        const char* what;
        std::string instruments, score;
        const char* fault;
    };
    const Case cases[] = {
        {"one chord fewer", source.instruments, withReplaced(source.score, "  @1096 last_chord\n", ""),
         "event counts"},
        {"another tempo", source.instruments, withReplaced(source.score, "tempo 115", "tempo 120"), "tempo 120"},
        {"the first chord voiced higher", source.instruments,
         withReplaced(source.score, "  0 6 A#4 C#5 F#5\n", "  0 6 C#5 F#5 A#5\n"), "track 0 opens with"},
        {"the last bass notes held a bar", source.instruments,
         withReplaced(source.score, "@1096 pair_low_D# ..1104", "@1096 pair_low_D#"), "last event at"},
        {"a bass note a semitone lower",
         source.instruments, withReplaced(source.score, "  0 16 D#1 D#2\n", "  0 16 D1 D#2\n"), "notes 26 to 85"},
        {"a chorus on the lead", withReplaced(source.instruments, "  fx reverb\n  reverb.room 60\n  reverb.damp 55",
                                              "  fx chorus\n  fx reverb\n  reverb.room 60\n  reverb.damp 55"),
         source.score, "effect types 1, 2, 3, 4, 5, 7"},
        {"the lead back before the breakdown", source.instruments,
         withReplaced(source.score, "  @276 tune_c\n", "  @276 tune_c\n  @340 tune_d\n"), "event counts"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = compile(c.instruments, c.score);
        const std::vector<std::string> faults = pieceFaults(bytes, measureSong(bytes));
        EXPECT_TRUE(mentions(faults, c.fault)) << c.what << ": no fault mentions '" << c.fault << "'";
    }
}

TEST(SongSource, ReadsNotesPatternsAndPlacements) {
    const std::string instruments = "instrument one\n  voice.level 50\n  mod env1 1.0 osc.level\n  fx reverb\nend\n";
    const std::string score =
        "tempo 100\n"
        "pattern p 8   # a comment\n"
        "  0 2 C4 Eb4\n"
        "  grid D#2 1 ..x.x\n"
        "end\n"
        "track one\n"
        "  @16 p x2 +2 ..28\n"
        "end\n";
    SongText text;
    std::string error;
    ASSERT_TRUE(parseSongText(instruments, "i", score, "s", text, error)) << error;
    EXPECT_EQ(text.tempo, 100);
    EXPECT_EQ(text.instruments[0][0], 50);
    EXPECT_EQ(text.instruments[0][44], 18);  // source env1: the first byte with round(14 x) = 3
    EXPECT_EQ(text.instruments[0][45], 50);  // amount 1
    EXPECT_EQ(text.instruments[0][46], 12);  // target osc.level: round(39 x) = 5
    EXPECT_EQ(text.instruments[0][74], 45);  // reverb: round(10 x) = 5
    // C4 = 60 and Eb4 = 63 lifted by 2, D#2 = 39 lifted by 2; the second
    // copy starts at 24 and is cut at 28, so its step-26 note is shortened.
    const std::vector<std::vector<uint32_t>> expected = {{16, 2, 62}, {16, 2, 65}, {18, 1, 41}, {20, 1, 41},
                                                         {24, 2, 62}, {24, 2, 65}, {26, 1, 41}};
    ASSERT_EQ(text.tracks[0].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(text.tracks[0][i].step, expected[i][0]) << i;
        EXPECT_EQ(text.tracks[0][i].length, expected[i][1]) << i;
        EXPECT_EQ(text.tracks[0][i].note, expected[i][2]) << i;
    }
}

// A note that ends where another starts: its off is stored first, so the
// voice is released before the new one strikes.
TEST(SongSource, StoresOffsBeforeOnsOfOneStep) {
    const std::vector<SongStep> events = trackEvents({{0, 4, 60}, {4, 4, 60}, {4, 2, 64}}, 80);
    const std::vector<std::vector<int>> expected = {{0, 60, 80}, {4, 60, 0}, {0, 60, 80}, {0, 64, 80},
                                                    {2, 64, 0},  {2, 60, 0}};
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].delta, expected[i][0]) << i;
        EXPECT_EQ(events[i].note, expected[i][1]) << i;
        EXPECT_EQ(events[i].velocity, expected[i][2]) << i;
    }
}

// Every fault, hostile ones included (sources written to break the reader),
// fails at its line with what is wrong, and none is read in some surprising way.
TEST(SongSource, ReportsFaultsWithFileAndLine) {
    const std::string patch = "instrument a\n  voice.level 50\nend\n";
    const std::string track = "track a\n  @0 p\nend\n";
    const std::string body = "pattern p 4\n  0 1 C4\nend\n" + track;
    std::string manyInstruments;
    for (int i = 0; i <= 32; ++i) manyInstruments += "instrument i" + std::to_string(i) + "\nend\n";
    // 32,700 notes in a row and one far beyond: the notes fit, the filler
    // events that bridge the silence do not.
    const std::string crowded = "pattern g 65535\n  grid C4 1 " + std::string(32700, 'x') +
                                "\nend\ntrack a\n  @0 g\n  @16777216 p\nend\n";
    struct Case {
        std::string instruments, score, message;
    };
    const Case cases[] = {
        {"instrument a\n  voice.loudness 50\nend\n", "tempo 1\n", "i.txt:2: unknown parameter 'voice.loudness'"},
        {"instrument a\n  osc.level 101\nend\n", "tempo 1\n", "i.txt:2: osc.level takes a byte 0..100"},
        {"instrument a\n  mod env3 1 pitch\nend\n", "tempo 1\n", "i.txt:2: unknown modulation source 'env3'"},
        {"instrument a\n  mod env1 11 pitch\nend\n", "tempo 1\n", "i.txt:2: modulation amount must be 0..10"},
        {"instrument a\n  fx chorus\n  fx vocoder\nend\n", "tempo 1\n", "i.txt:3: unknown effect 'vocoder'"},
        {patch, "tempo 1\n" + track, "s.txt:3: no pattern 'p' defined above"},
        {patch, "tempo 1\npattern p 4\n  0 1 H4\nend\n" + track, "s.txt:3: bad note 'H4'"},
        {patch, "tempo 1\npattern p 4\n  4 1 C4\nend\n" + track, "s.txt:3: expected 'STEP LENGTH NOTE...'"},
        {patch, "tempo 1\npattern p 4\n  0 3 C4\nend\ntrack a\n  @0 p\n  @2 p\nend\n",
         "s.txt: track 'a': note 60 at step 2 overlaps the one at step 0"},
        {patch, "tempo 1\npattern p 4\n  0 1 C4\nend\n", "s.txt: no track for instrument 'a'"},
        {patch, "tempo 1\n" + body + "track nosuchthing\nend\n", "s.txt:8: no instrument 'nosuchthing' for this track"},
        {patch, "tempo 1\ntrack\nend\n", "s.txt:2: expected 'track NAME', NAME one of the instruments"},
        {patch, "tempo 1\n" + body + "track a\nend\n", "s.txt:8: a second track 'a' (the first is at line 5)"},
        {patch, "tempo 1\ntempo 2\n" + body, "s.txt:2: a second tempo (the first is at line 1)"},
        {patch, std::string("tempo 1\n\n1\0 2\n", 13) + body, "s.txt:3: a NUL byte: not a text file"},
        {patch, "tempo 1\n# caf\xE9\n" + body, "s.txt:2: a byte that is not UTF-8 text"},
        {patch, "tempo 1\n# \xED\xA0\x80 a surrogate\n" + body, "s.txt:2: a byte that is not UTF-8 text"},
        {manyInstruments, "tempo 1\n", "i.txt:65: more than 32 instruments"},
        {patch + "instrument a\nend\n", "tempo 1\n", "i.txt:4: instrument 'a' defined twice"},
        {patch, "tempo 1\npattern p 2\n  0 1 C4\nend\ntrack a\n  @0 p x4096\n  @8192 p x4096\n  @16384 p x4096\n"
                "  @24576 p x4096\n  @32768 p x4096\n  @40960 p x4096\n  @49152 p x4096\n  @57344 p x4096\nend\n",
         "s.txt:13: the track holds more than 32767 notes"},
        {patch, "tempo 1\npattern p 4\n  0 1 C4\nend\n" + crowded, "s.txt:8: the track needs more than 65,535 events"},
        {patch, "tempo 1\npattern p 65535\n  grid C4 1 " + std::string(32768, 'x') + "\nend\n",
         "s.txt:3: a pattern of more notes than a track can hold"},
    };
    for (const Case& c : cases) {
        SongText text;
        std::string error;
        EXPECT_FALSE(parseSongText(c.instruments, "i.txt", c.score, "s.txt", text, error)) << c.message;
        EXPECT_EQ(error.substr(0, c.message.size()), c.message);
    }
}



// Tracks may come in any order: each goes to the instrument it names.
// A leading byte-order mark (as some editors save) is no fault.
TEST(SongSource, BindsTracksByNameAndSkipsAByteOrderMark) {
    const std::string instruments = "\xEF\xBB\xBFinstrument low\nend\ninstrument high\nend\n";
    const std::string score = "\xEF\xBB\xBFtempo 90\npattern p 4\n  0 1 C4\nend\n"
                              "track high\n  @0 p +12\nend\ntrack low\n  @0 p\nend\n";
    SongText text;
    std::string error;
    ASSERT_TRUE(parseSongText(instruments, "i", score, "s", text, error)) << error;
    EXPECT_EQ(text.tempo, 90);
    EXPECT_EQ(text.instrumentNames, (std::vector<std::string>{"low", "high"}));
    ASSERT_EQ(text.tracks.size(), 2u);
    ASSERT_EQ(text.tracks[0].size(), 1u);
    ASSERT_EQ(text.tracks[1].size(), 1u);
    EXPECT_EQ(text.tracks[0][0].note, 60);
    EXPECT_EQ(text.tracks[1][0].note, 72);
}

namespace {

// A folder with a copy of the song's source, for songc runs.
class Songc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.made());
        ASSERT_EQ(runCommand("cp -r " + kSourceDir + " " + dir + "/s && echo old > " + dir + "/song.bin").status, 0);
    }
    CommandRun songc(const std::string& arguments) const {
        return runCommand("cd " + dir + " && " + INTRO_BINARY_DIR "/tools/songc " + arguments + " 2>&1");
    }
    const ScratchFolder scratch{"songc_test"};
    const std::string dir = scratch.path();
};

}  // namespace

// The command as a user runs it on a bad folder, a bad output or a full
// disk: a non-zero exit, a message naming the file and the reason, and the
// previous song.bin untouched.
TEST_F(Songc, RefusesBadFilesWithTheFileAndTheReasonAndKeepsThePreviousOutput) {
    std::string many;
    for (int i = 0; i < 33; ++i) many += "instrument i" + std::to_string(i) + "\nend\n";
    struct Case {
        const char* what;
        std::string setup, arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"a folder as the instruments", "rm s/instruments.txt && mkdir s/instruments.txt", "s -o song.bin", 1,
         "cannot read s/instruments.txt: Is a directory"},
        {"no score", "rm s/score.txt", "s -o song.bin", 1, "cannot read s/score.txt: No such file or directory"},
        {"the output is the score", "", "s -o s/score.txt", 2, "s/score.txt is both an input and an output"},
        {"33 instruments, even free", "printf '" + many + "' > s/instruments.txt", "s -o song.bin --free", 1,
         "more than 32 instruments"},
        {"a full disk", "", "s -o song.bin", 1, "writing song.bin: File too large"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(runCommand("cd " + dir + " && rm -rf s && cp -r " + kSourceDir + " s && " +
                             (c.setup.empty() ? "true" : c.setup)).status, 0) << c.what;
        // The file-size limit stands in for a full disk (with SIGXFSZ
        // ignored, a write past it fails with EFBIG).
        const std::string limit = c.what == std::string("a full disk") ? "trap '' XFSZ; ulimit -f 8; " : "";
        const CommandRun run = runCommand("cd " + dir + " && sh -c \"" + limit + INTRO_BINARY_DIR "/tools/songc " +
                                          c.arguments + " 2>&1\"");
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.what << ": " << run.output;
        EXPECT_EQ(readText(dir + "/song.bin"), "old\n") << c.what;
        EXPECT_EQ(runCommand("ls -A " + dir).output, "s\nsong.bin\n") << c.what;
    }
    const CommandRun good = songc("s -o song.bin");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_EQ(readBytes(dir + "/song.bin"), readBytes(std::string(INTRO_SOURCE_DIR) + "/data/song.bin"));
}

// One pattern of 127 notes, 65,535 steps long, placed 200 times 4,096 times
// over: about 100 million notes if expanded. It fails at its first
// placement, at once and in little memory.
TEST_F(Songc, AHugeRepeatFailsAtOnceInBoundedMemory) {
    std::string score = "tempo 120\npattern big 65535\n  0 1";
    for (int note = 1; note <= 127; ++note) score += " " + std::to_string(note);
    score += "\nend\ntrack a\n";
    for (int i = 0; i < 200; ++i) score += "  @0 big x4096\n";
    score += "end\n";
    std::ofstream(dir + "/s/score.txt") << score;
    std::ofstream(dir + "/s/instruments.txt") << "instrument a\nend\n";
    const auto began = std::chrono::steady_clock::now();
    const CommandRun run = songc("s -o song.bin");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("s/score.txt:6: the track holds more than 32767 notes"), std::string::npos)
        << run.output;
    EXPECT_LT(seconds, 1.0);
    struct rusage usage;
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "kilobytes at the peak of the largest child so far";
}
