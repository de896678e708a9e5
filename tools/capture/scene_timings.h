// capture --timings: how long each scene takes to draw in this GL, per
// Sequence and per scene program, as medians over a few consecutive frames,
// and how that compares with a reference ray march drawn in the same run.
#pragma once
#include <cstdint>

struct ShowPictures;
struct ShowReplay;

// Times `frames` consecutive 60 Hz frames (after one untimed warm-up frame)
// from the middle of every Sequence's draw window, the note grid's too (which
// the show ends before), or of `onlySequence` alone when it is 0..10. After
// each scene frame the reference march (shaders/bench/reference_march) is
// drawn at the same size, so that both see the same machine load; the ratio
// of the medians of their CPU times (the process's, which counts the software
// rasteriser's threads) is the scene's cost in reference units. Prints a
// table on stdout. Returns the process exit status: 1 when a Sequence is not
// on screen where it was timed or the reference does not build.
int32_t printSceneTimings(ShowPictures& pictures, ShowReplay& replay, int32_t frames, int32_t onlySequence = -1);

// Median of `count` values (the mean of the middle two for an even count);
// reorders `values`. 0 for none.
double medianOf(double* values, int32_t count);
