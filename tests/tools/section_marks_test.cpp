// Section marks: the shipped score marks every scene change, a mark or tempo
// that moves the music off its pictures is refused at the mark's line, and a
// malformed mark is reported where it is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"
#include "tools/songc/section_marks.h"

namespace {

std::string shippedScore() {
    std::ifstream in(std::string(INTRO_SOURCE_DIR) + "/data/song/score.txt", std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<SectionMark> marksOf(const std::string& score) {
    std::vector<SectionMark> marks;
    std::string error;
    EXPECT_TRUE(readSectionMarks(score, "score.txt", marks, error)) << error;
    return marks;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

int lineOf(const std::string& text, const std::string& what) {
    const size_t at = text.find(what);
    return at == std::string::npos ? -1 : 1 + int(std::count(text.begin(), text.begin() + long(at), '\n'));
}

}  // namespace

TEST(SectionMarks, ShippedScoreTurnsWithEveryPicture) {
    const std::vector<SectionMark> marks = marksOf(shippedScore());
    ASSERT_GE(marks.size(), sceneChanges().size());
    EXPECT_EQ(marks.front().step, 0u);
    EXPECT_EQ(marksOffScenes(marks, 115, "score.txt"), std::vector<std::string>{});
    // The show's nine changes of picture, between the first picture and the end.
    EXPECT_EQ(sceneChanges().size(), 9u);
}

// A mark pushed two beats late names its own line and the scene change it left.
TEST(SectionMarks, MovedMarkIsRefusedAtItsLine) {
    const std::string score = replaced(shippedScore(), "section drop @212", "section drop @220");
    const std::vector<std::string> faults = marksOffScenes(marksOf(score), 115, "data/song/score.txt");
    ASSERT_EQ(faults.size(), 1u);
    const std::string where = "data/song/score.txt:" + std::to_string(lineOf(score, "section drop")) + ": ";
    EXPECT_EQ(faults[0].rfind(where, 0), 0u) << faults[0];
    EXPECT_NE(faults[0].find("Sequence 3 starts at frame 1637"), std::string::npos) << faults[0];
}

// One beat a minute slower drifts the later sections off their pictures.
TEST(SectionMarks, TempoThatDriftsOffThePicturesIsRefused) {
    const std::vector<SectionMark> marks = marksOf(shippedScore());
    EXPECT_GE(marksOffScenes(marks, 112, "score.txt").size(), 5u);
    const std::vector<std::string> none = marksOffScenes({}, 115, "score.txt");
    ASSERT_EQ(none.size(), 9u);
    EXPECT_EQ(none[0].rfind("score.txt: no section marks", 0), 0u) << none[0];
}

TEST(SectionMarks, MalformedMarksAreReportedWhereTheyAre) {
    const struct {
        const char* score;
        const char* message;  // expected start of the error
    } cases[] = {
        {"tempo 115\nsection intro 0\n", "s.txt:2: expected 'section NAME @STEP'"},
        {"section intro @x\n", "s.txt:1: expected 'section NAME @STEP'"},
        {"section intro @-4\n", "s.txt:1: expected 'section NAME @STEP'"},
        {"section intro @0 # fine\nsection a @4 extra\n", "s.txt:2: expected 'section NAME @STEP'"},
        {"section intro @16\n", "s.txt:1: the first section must start at step 0"},
        {"section a @0\nsection b @8\nsection a @16\n", "s.txt:3: section 'a' already marked at line 1"},
        {"section a @0\nsection b @8\nsection c @8\n", "s.txt:3: section 'c' at step 8 does not come after"},
        {"section a @0\n\nsection b @99999999\n", "s.txt:3: expected 'section NAME @STEP'"},
    };
    for (const auto& c : cases) {
        std::vector<SectionMark> marks;
        std::string error;
        EXPECT_FALSE(readSectionMarks(c.score, "s.txt", marks, error)) << c.score;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.score << " gave: " << error;
    }
    // A commented-out mark and a '#' word are not marks.
    const std::vector<SectionMark> marks = marksOf("# section x @3\nsection a @0 # the start\nsection b @12\n");
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[1].name, "b");
    EXPECT_EQ(marks[1].step, 12u);
    EXPECT_EQ(marks[1].line, 3);
}

// songc itself: a score whose mark left its picture writes nothing and says
// where; --free, for songs that are not the show's, writes it.
TEST(SectionMarks, SongcRefusesAMarkOffItsPicture) {
    const ScratchFolder scratch("section_marks");
    ASSERT_TRUE(scratch.made());
    const std::string& dir = scratch.path();
    const std::string score = replaced(shippedScore(), "section final @776", "section final @784");
    std::ofstream(dir + "/score.txt", std::ios::binary) << score;
    std::ofstream(dir + "/instruments.txt", std::ios::binary)
        << readText(std::string(INTRO_SOURCE_DIR) + "/data/song/instruments.txt");
    const std::string songc = std::string(INTRO_BINARY_DIR) + "/tools/songc " + dir;

    const CommandRun refused = runCommand(songc + " -o " + dir + "/song.bin 2>&1");
    EXPECT_EQ(refused.status, 1) << refused.output;
    const std::string where = dir + "/score.txt:" + std::to_string(lineOf(score, "section final")) + ": section 'final'";
    EXPECT_NE(refused.output.find(where), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("Sequence 9 starts at frame 6071"), std::string::npos) << refused.output;
    EXPECT_TRUE(readBytes(dir + "/song.bin").empty());

    const CommandRun free = runCommand(songc + " -o " + dir + "/song.bin --free 2>&1");
    EXPECT_EQ(free.status, 0) << free.output;
    EXPECT_EQ(readBytes(dir + "/song.bin").size(), 19572u);
}
