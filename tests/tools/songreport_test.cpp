// The song report on the shipped song's opening: the tracks rendered alone
// add up to the mix, so that their levels are the mix's parts, and the report
// measures by the sections the score marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/song.h"
#include "tests/support/processes.h"
#include "tools/songreport/song_report.h"

namespace {

// The report is checked on the first three sections.
constexpr double kSeconds = 12.0;
constexpr uint64_t kSeed = 1;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

struct ShippedSource {
    SongText text;
    std::vector<SectionMark> marks;
    ShippedSource() {
        const std::string dir = std::string(INTRO_SOURCE_DIR) + "/data/song/";
        const std::string score = readFile(dir + "score.txt");
        std::string error;
        EXPECT_TRUE(parseSongText(readFile(dir + "instruments.txt"), "instruments.txt", score, "score.txt", text, error))
            << error;
        EXPECT_TRUE(readSectionMarks(score, "score.txt", marks, error)) << error;
    }
};

double power(const Stereo& s) {
    double sum = 0.0;
    for (float x : s) sum += double(x) * double(x);
    return sum / double(s.size());
}

}  // namespace

// The report measures the very bytes the show plays (the same velocity and
// encoding as songc).
TEST(SongReport, MixIsTheShippedSong) {
    EXPECT_EQ(mixSong(ShippedSource().text), std::vector<uint8_t>(kSong, kSong + kSongSize));
}

// Muting must leave every other track exactly as it plays in the mix (same
// instruments, same seeds): the solos add up to the mix but for the 16-bit
// truncation of each (ten truncations of up to one step: about -70 dB here).
// Measured on the first two bars each track plays, all moved to the start,
// which keeps the eleven renders short.
TEST(SongReport, SolosAddUpToTheMix) {
    ShippedSource source;
    for (std::vector<SourceNote>& track : source.text.tracks) {
        ASSERT_FALSE(track.empty());
        uint32_t first = track[0].step;
        for (const SourceNote& note : track) first = std::min(first, note.step);
        std::vector<SourceNote> kept;
        for (SourceNote note : track)
            if (note.step < first + 32) kept.push_back({note.step - first, note.length, note.note});
        track = kept;
    }
    const double seconds = 4.5;
    const Stereo mix = renderSong(mixSong(source.text), seconds, kSeed);
    ASSERT_FALSE(mix.empty());
    Stereo sum(mix.size(), 0.0f);
    for (size_t t = 0; t < source.text.tracks.size(); ++t) {
        const Stereo solo = renderSong(soloSong(source.text, t), seconds, kSeed);
        ASSERT_EQ(solo.size(), mix.size());
        EXPECT_GT(power(solo), 0.0) << source.text.instrumentNames[t] << " is silent alone";
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += solo[i];
    }
    Stereo residual(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) residual[i] = sum[i] - mix[i];
    EXPECT_LT(powerDb(power(residual) / power(mix)), -60.0);
}

TEST(SongReport, SectionsAreTheMarksAndTrackLevelsAddUp) {
    const ShippedSource source;
    const SongReport report = makeSongReport(source.text, source.marks, kSeconds, kSeed);
    // The sections reported are the marks that start inside the render.
    std::vector<std::string> expected;
    for (const SectionMark& mark : source.marks)
        if (stepTime(mark.step, source.text.tempo) < kSeconds) expected.push_back(mark.name);
    ASSERT_EQ(expected, (std::vector<std::string>{"intro", "flag", "cube"}));
    ASSERT_EQ(report.sections.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const SectionFigures& s = report.sections[i];
        EXPECT_EQ(s.name, expected[i]);
        EXPECT_EQ(s.step, source.marks[i].step);
        EXPECT_DOUBLE_EQ(s.start, stepTime(source.marks[i].step, source.text.tempo));
        EXPECT_DOUBLE_EQ(s.end, i + 1 < expected.size() ? report.sections[i + 1].start : report.song.end);
        // Even a section shorter than 3 s (the last, cut by the render) has
        // a loudest 3 s at least as loud as its whole: the window reaches
        // back into the music before it, not into silence.
        EXPECT_GT(s.loudness.maxShortTerm, s.loudness.integrated - 0.5) << s.name;
    }
    // Tracks of different roles hardly correlate: their powers add up to the
    // mix's within 0.5 dB in every section.
    for (size_t i = 0; i <= report.sections.size(); ++i) {
        const SectionFigures& s = i < report.sections.size() ? report.sections[i] : report.song;
        ASSERT_EQ(s.trackLevels.size(), source.text.tracks.size());
        double sum = 0.0;
        for (double level : s.trackLevels) sum += std::pow(10.0, level / 10.0);
        EXPECT_NEAR(10.0 * std::log10(sum), s.level, 0.5) << s.name;
    }
    // The mix's loudness is measured on what is heard.
    EXPECT_LT(report.song.loudness.integrated, report.song.loudness.maxShortTerm + 1e-9);
    EXPECT_LT(report.song.loudness.truePeak, 0.0);
    EXPECT_TRUE(report.kickAndBass);
}

// The tool end to end, briefly: JSON with the sections of the source.
TEST(SongReport, ToolWritesJsonOfTheSource) {
    const CommandRun run = runCommand(std::string(INTRO_BINARY_DIR) + "/tools/songreport " + INTRO_SOURCE_DIR +
                                      "/data/song --json --seconds 2");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("{\"seconds\": 2.009, \"seed\": 1, \"tempo\": 115", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("\"sections\": [\n  {\"name\": \"intro\", \"step\": 0,"), std::string::npos);
    EXPECT_EQ(run.output.find("\"flag\""), std::string::npos) << "a section after the render";
    EXPECT_EQ(run.output.back(), '\n');
    const CommandRun wrong = runCommand(std::string(INTRO_BINARY_DIR) + "/tools/songreport /nonexistent 2>&1");
    EXPECT_EQ(wrong.status, 1) << wrong.output;
}
