// capture --timings: how long each scene takes to draw in this GL, per
// Sequence and per scene program, as medians over a few consecutive frames.
#pragma once
#include <cstdint>

struct ShowPictures;
struct ShowReplay;

// Times `frames` consecutive 60 Hz frames (after one untimed warm-up frame)
// from the middle of every Sequence whose draw window comes before the end
// of its draw window, plus the note grid's Sequence, and prints a table on
// stdout. Returns the process exit status.
int32_t printSceneTimings(ShowPictures& pictures, ShowReplay& replay, int32_t frames);

// Median of `count` values (the mean of the middle two for an even count);
// reorders `values`. 0 for none.
double medianOf(double* values, int32_t count);
