// capture --timings: how long each scene takes to draw in this GL, per
// Sequence and per scene program, as medians over a few consecutive frames.
#pragma once
#include <cstdint>

struct ShowPictures;
struct ShowReplay;

// Times `frames` consecutive 60 Hz frames (after one untimed warm-up frame)
// from the middle of every Sequence's draw window, the note grid's too (which
// the show ends before), and prints a table on stdout. Returns the process
// exit status: 1 when a Sequence is not on screen where it was timed.
int32_t printSceneTimings(ShowPictures& pictures, ShowReplay& replay, int32_t frames);

// Median of `count` values (the mean of the middle two for an even count);
// reorders `values`. 0 for none.
double medianOf(double* values, int32_t count);
