// Reading the score's section marks and holding them against the timetable.
#include "tools/songc/section_marks.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "data/timetable.h"
#include "driver/music.h"  // kShowEnd
#include "driver/show.h"   // kPictureDelay
#include "synth/song_format.h"

namespace {

constexpr double kFramesPerSecond = 60.0;  // timetable frames
constexpr uint32_t kStepsPerBeat = 4;      // a step is a sixteenth note
constexpr long kLastStep = 1L << 24;       // the same bound as a placement's step

// The words of a line up to a word that starts with '#', the score's comment.
std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w && w[0] != '#';) out.push_back(w);
    return out;
}

std::string at(const std::string& file, int line) { return file + ":" + std::to_string(line) + ": "; }

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f s", s);
    return text;
}

}  // namespace

bool readSectionMarks(const std::string& scoreText, const std::string& scoreFile, std::vector<SectionMark>& marks,
                      std::string& error) {
    marks.clear();
    std::istringstream in(scoreText);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::vector<std::string> w = wordsOf(line);
        if (w.empty() || w[0] != "section") continue;
        char* end = nullptr;
        const long step = w.size() == 3 && w[2].size() > 1 && w[2][0] == '@' ? std::strtol(w[2].c_str() + 1, &end, 10)
                                                                              : -1;
        if (end == nullptr || *end != '\0' || step < 0 || step > kLastStep || !std::isdigit((unsigned char)w[2][1])) {
            error = at(scoreFile, n) + "expected 'section NAME @STEP'";
            return false;
        }
        for (const SectionMark& mark : marks) {
            if (mark.name == w[1]) {
                error = at(scoreFile, n) + "section '" + w[1] + "' already marked at line " + std::to_string(mark.line);
                return false;
            }
        }
        if (marks.empty() && step != 0) {
            error = at(scoreFile, n) + "the first section must start at step 0, so that the sections cover the song";
            return false;
        }
        if (!marks.empty() && uint32_t(step) <= marks.back().step) {
            error = at(scoreFile, n) + "section '" + w[1] + "' at step " + std::to_string(step) +
                    " does not come after section '" + marks.back().name + "' at step " +
                    std::to_string(marks.back().step);
            return false;
        }
        marks.push_back({w[1], uint32_t(step), n});
    }
    return true;
}

std::vector<SceneChange> sceneChanges() {
    std::vector<SceneChange> changes;
    for (int s = 1; s < kSequenceCount; ++s) {
        const double clock = kSequences.start[s] / kFramesPerSecond;
        if (clock >= kShowEnd) continue;
        changes.push_back({s, kSequences.start[s], clock + double(kPictureDelay)});
    }
    return changes;
}

double stepTime(uint32_t step, uint16_t tempo) { return eventTime(0.0f, stepDuration(tempo), step); }

std::vector<std::string> marksOffScenes(const std::vector<SectionMark>& marks, uint16_t tempo,
                                        const std::string& scoreFile) {
    std::vector<std::string> faults;
    const double beat = stepTime(kStepsPerBeat, tempo);
    for (const SceneChange& change : sceneChanges()) {
        const std::string scene = "the scene change at " + seconds(change.musicTime) + " of music (Sequence " +
                                  std::to_string(change.sequence) + " starts at frame " +
                                  std::to_string(change.frame) + ")";
        const SectionMark* nearest = nullptr;
        double distance = INFINITY;
        for (const SectionMark& mark : marks) {
            const double d = std::fabs(stepTime(mark.step, tempo) - change.musicTime);
            if (d < distance) distance = d, nearest = &mark;
        }
        if (nearest == nullptr) {
            faults.push_back(scoreFile + ": no section marks ('section NAME @STEP'): " + scene +
                             " needs one within a beat");
        } else if (distance > beat) {
            faults.push_back(at(scoreFile, nearest->line) + "section '" + nearest->name + "' at step " +
                             std::to_string(nearest->step) + " (" + seconds(stepTime(nearest->step, tempo)) +
                             ") is the nearest mark to " + scene + ", " + seconds(distance) +
                             " away: the music no longer turns with its picture (a mark must lie within one beat, " +
                             seconds(beat) + ")");
        }
    }
    return faults;
}
