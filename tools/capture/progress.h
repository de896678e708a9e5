// Progress of a long run of frames: the time left, estimated from what the
// frames of each kind have cost so far (a lattice frame costs many times a
// flag frame in a software renderer, so one overall rate would mislead), and
// the progress line shown on a terminal.
#pragma once
#include <cstddef>
#include <cstdint>

// Scene programs 0..6 (the cube grid is 6), and after them the black frames
// (pre-roll, gaps between windows).
constexpr int32_t kFrameKinds = 8;
constexpr int32_t kBlackFrame = 7;

struct FrameEstimate {
    double seconds[kFrameKinds] = {};  // spent so far on frames of each kind
    int32_t done[kFrameKinds] = {};
    int32_t left[kFrameKinds] = {};
};

// Counts one frame of `kind` still to be made.
void planFrame(FrameEstimate& estimate, int32_t kind);
// One frame of `kind` made in `seconds`.
void finishFrame(FrameEstimate& estimate, int32_t kind, double seconds);
// Seconds the frames still to be made will take at the rates measured so
// far: each kind's own mean, or the mean of all timed frames for a kind not
// timed yet. Negative while nothing has been timed.
double secondsLeft(const FrameEstimate& estimate);
// Whether every kind with frames left has been timed at least once (else the
// estimate borrows rates and may be far off).
bool estimateMeasured(const FrameEstimate& estimate);

// "[#####.....] 120/601 frames  10.00 frames/s  0:12 elapsed  about 0:48 left"
// in `out`, with a bar of `barWidth` cells (no rate before any time has
// passed); "left unknown" for a negative estimate, and "so far" added when
// the estimate is not yet measured for every kind.
void formatProgress(char* out, size_t capacity, int32_t done, int32_t total, double elapsed, double left,
                    bool measured, int32_t barWidth);
