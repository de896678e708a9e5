// FilterState and the operations every voice filter uses: setFilter
// (coefficients, once per block) and runFilter (left and right in place, as
// two lanes of one SSE vector with separate histories), or runFilters for
// several voices side by side.
#pragma once
#include <cstdint>
#include <xmmintrin.h>

// Filter designs for setFilter. Cutoff and resonance are both 0..1.
enum FilterType : uint32_t {
    kFilterLadder = 0,    // four-pole ladder low-pass, 30 .. 20030 Hz
    kFilterHighPass = 1,  // biquad high-pass, 30 .. 10030 Hz
    kFilterBandPass = 2,  // biquad band-pass, 30 .. 10030 Hz
    kFilterNotch = 3,     // notch with poles of radius = resonance, 30 .. 20030 Hz
};

// Processing modes for runFilter: ladder, direct biquad (also every mode
// other than 0 and 3) and the biquad that works one frame behind its input.
enum FilterMode : uint32_t {
    kRunLadder = 0,
    kRunBiquad = 1,
    kRunBandPass = 2,  // same processing as kRunBiquad
    kRunDelayedBiquad = 3,
};

// One 256-byte block. Every history value is a stereo pair: lane 0 left,
// lane 1 right, lanes 2 and 3 stay zero. A zero-filled block is the valid
// initial state; nothing clears the history afterwards, so it carries over
// from block to block and from note to note.
struct alignas(16) FilterState {
    // Ladder history: previous ladder input and the four stage outputs.
    __m128 ladderX{}, ladderY1{}, ladderY2{}, ladderY3{}, ladderY4{};
    // Biquad history: the last three inputs and the last two outputs.
    __m128 x1{}, x2{}, x3{}, y1{}, y2{};
    // Ladder coefficients: stage feedback k, stage gain p, resonance feedback r.
    float k = 0.0f, p = 0.0f, r = 0.0f;
    // Biquad coefficients, already normalised so that a0 is not applied.
    float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f, b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    uint8_t unused[256 - 10 * 16 - 9 * 4]{};
};
static_assert(sizeof(FilterState) == 256, "FilterState is one 256-byte block");

// Computes the coefficients of `type` for cutoff and resonance in 0..1
// (clamped; resonance above 0.85 acts as 0.85). The history is left alone.
// An unknown type leaves the state unchanged.
void setFilter(FilterState& state, uint32_t sampleRate, float cutoff, float resonance, uint32_t type);

// Filters `count` frames of left and right in place with the state's
// coefficients, updating its history.
void runFilter(FilterState& state, uint32_t mode, float* left, float* right, uint32_t count);
// runFilter for several voices at once: voice v's buffers with states[v].
// Every voice comes out exactly as from its own runFilter call; up to eight
// take little more time than one.
void runFilters(FilterState* const* states, float* const* left, float* const* right, uint32_t voices, uint32_t mode,
                uint32_t count);
