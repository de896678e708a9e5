// Where the player's keys move the music to: beats, bars and Sequences of the
// show, in music time (what is heard; the pictures run kPictureDelay
// behind). Pure arithmetic on the song's tempo and the timetable.
#pragma once
#include <cstdint>
#include <string>

// A step is a sixteenth note, a beat four steps, a bar four beats.
struct MusicGrid {
    double stepSeconds = 0.0;
};

// The grid of a song's bytes (their tempo field); a tempo of 0 or too few
// bytes gives the step of 115 beats per minute.
MusicGrid songGrid(const uint8_t* song, uint32_t size);
// The next grid line of `lineSteps` steps after `time` (direction +1) or the
// one before it (-1), never below 0: a time on a line moves a whole line.
double moveOnGrid(const MusicGrid& grid, double time, int32_t lineSteps, int32_t direction);
// "bar:beat:step", each counted from 1, of the step that holds `time`.
std::string gridPosition(const MusicGrid& grid, double time);

// The Sequence shown at music time `time` (0..10).
int32_t sequenceAt(double time);
// Music time at which Sequence `sequence` becomes current.
double sequenceStart(int32_t sequence);
// Music time of the start of the Sequence before (-1) or after (+1) the one
// at `time`; Home is Sequence 0. The last Sequence has no next: it stays.
double moveBySequence(double time, int32_t direction);

// A music-time range [start, end).
struct TimeRange {
    double start = 0.0;
    double end = 0.0;
};
// The range of the Sequence at `time`, up to the next one's start or `songEnd`.
TimeRange sequenceRange(double time, double songEnd);
// Reads "A-B" (seconds, 0 <= A < B <= `songEnd`); false for anything else.
bool parseLoopRange(const char* text, double songEnd, TimeRange& range);
