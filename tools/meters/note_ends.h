// Cut note ends: a sound that stops as if switched off. Counted where a
// signal reaches digital silence, looking back at how it got there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A sound that still peaks above kCutFromDbfs and loses kCutFallDb within
// kCutWithinMs on its way to digital silence (every sample exactly 0 for at
// least kSilenceMs) ends with an audible click; a release that fades first
// does not.
constexpr double kCutFromDbfs = -45.0;
constexpr double kCutFallDb = 30.0;
constexpr double kCutWithinMs = 6.0;
constexpr double kSilenceMs = 5.0;

// Frame index of every silence reached by a cut, in order, in interleaved
// stereo frames (full scale 1.0).
std::vector<size_t> cutNoteEnds(const float* interleaved, size_t frames, uint32_t sampleRate);
