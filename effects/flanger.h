// Flanger (effect type 4): each channel minus a copy of its own output from
// 0.1 to 12.1 ms ago, the delay swept by a triangle LFO through a cosine.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"

// History per channel: 4,096 frames (93 ms at 44,100 Hz) covers the longest
// sweep with room to spare.
constexpr uint32_t kFlangerHistory = 4096;

struct Flanger : EffectUnit {
    uint32_t position;                  // next history frame to write
    uint32_t direction;                 // triangle: 0 rising, 1 falling
    float leftHistory[kFlangerHistory];   // the unit's own left output
    float rightHistory[kFlangerHistory];  // the unit's own right output
    uint32_t frameCounter;              // frames since the triangle value last changed
    float phase1;                       // sweep phase of the left delay, radians
    float phase2;                       // sweep phase of the right delay, radians
    float lfo;                          // triangle value
    float lastG;                        // triangle value the phases were last advanced with
};

EffectUnit* createFlanger();
// Reads P94 (triangle speed), P95 (triangle top), P96 (sweep depth), P97 (feedback).
void processFlanger(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                    float* busR, uint32_t count);
