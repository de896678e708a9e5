// Beat, bar and Sequence arithmetic for the player's transport.
#include "tools/intro_dev/transport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/timetable.h"
#include "driver/show.h"
#include "synth/song_format.h"
#include "tools/common/arguments.h"

namespace {

// Lines are found in whole steps: a time a hair below a line (float
// rounding of a seek) counts as on it.
constexpr double kOnLine = 1e-6;

}  // namespace

MusicGrid songGrid(const uint8_t* song, uint32_t size) {
    uint32_t tempo = size >= 4 ? uint32_t(song[2]) | uint32_t(song[3]) << 8 : 0;
    if (tempo == 0) tempo = 115;
    return MusicGrid{double(stepDuration(tempo))};
}

double moveOnGrid(const MusicGrid& grid, double time, int32_t lineSteps, int32_t direction) {
    const double line = grid.stepSeconds * lineSteps;
    const double at = time / line;
    const double target = direction > 0 ? std::floor(at + kOnLine) + 1.0 : std::ceil(at - kOnLine) - 1.0;
    return target < 0.0 ? 0.0 : target * line;
}

std::string gridPosition(const MusicGrid& grid, double time) {
    const int64_t step = int64_t(std::floor(time / grid.stepSeconds + kOnLine));
    char text[48];
    std::snprintf(text, sizeof(text), "%lld:%d:%d", (long long)(step / 16 + 1), int(step % 16 / 4 + 1),
                  int(step % 4 + 1));
    return text;
}

double sequenceStart(int32_t sequence) {
    return double(kSequences.start[sequence]) / 60.0 + double(kPictureDelay);
}

int32_t sequenceAt(double time) {
    int32_t sequence = 0;
    while (sequence + 1 < kSequenceCount && sequenceStart(sequence + 1) <= time + kOnLine) ++sequence;
    return sequence;
}

double moveBySequence(double time, int32_t direction) {
    int32_t sequence = sequenceAt(time) + direction;
    if (sequence < 0) sequence = 0;
    if (sequence >= kSequenceCount) sequence = kSequenceCount - 1;
    return sequenceStart(sequence);
}

TimeRange sequenceRange(double time, double songEnd) {
    const int32_t sequence = sequenceAt(time);
    const double end = sequence + 1 < kSequenceCount ? sequenceStart(sequence + 1) : songEnd;
    return TimeRange{sequenceStart(sequence), end < songEnd ? end : songEnd};
}

bool parseLoopRange(const char* text, double songEnd, TimeRange& range) {
    const char* dash = text ? std::strchr(text, '-') : nullptr;
    if (dash == nullptr) return false;
    const std::string first(text, size_t(dash - text));
    double start = 0.0, end = 0.0;
    if (!parseReal(first.c_str(), 0.0, songEnd, start) || !parseReal(dash + 1, 0.0, songEnd, end) || !(start < end))
        return false;
    range = TimeRange{start, end};
    return true;
}
