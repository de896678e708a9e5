// Section marks of the score: `section NAME @STEP` lines that name where each
// part of the piece begins. The song report measures by them, and songc holds
// them against the show's scene changes, so that a tempo or arrangement edit
// that moves the music off its pictures is caught where it is written.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SectionMark {
    std::string name;
    uint32_t step;  // sixteenth-note step at which the section begins
    int line;       // line of the mark in the score, for messages
};

// Every `section NAME @STEP` line of the score, in file order. False with
// "file:line: what" in `error` for a malformed mark, a name used twice, or a
// step not after the previous mark's; the first mark must be at step 0, so
// that the sections cover the whole song. A score without marks gives none.
bool readSectionMarks(const std::string& scoreText, const std::string& scoreFile, std::vector<SectionMark>& marks,
                      std::string& error);

// A change of picture the music should turn with: a Sequence of the timetable
// starting while the show runs.
struct SceneChange {
    int sequence;
    uint16_t frame;    // timetable frame of the start
    double musicTime;  // seconds of music heard when it is shown
};

// The start of every Sequence after the first (which opens the pictures
// inside the intro's first section rather than changing a scene) that is
// shown before the show ends.
std::vector<SceneChange> sceneChanges();

// Music time of a step at `tempo`, as the Synth places an event there.
double stepTime(uint32_t step, uint16_t tempo);

// One "file:line: ..." message for every scene change without a mark within
// one beat of it, at the nearest mark's line; empty when the music turns with
// every picture.
std::vector<std::string> marksOffScenes(const std::vector<SectionMark>& marks, uint16_t tempo,
                                        const std::string& scoreFile);
