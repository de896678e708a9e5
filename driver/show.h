// The life of the show: start-up in its fixed order, the frame loop and the
// shut-down. Each frame-loop step is its own function so that the Synth clock,
// the timeline, the note feed and the scene drawing slot in without reshaping
// the loop.
#pragma once
#include <atomic>
#include <cstdint>

#include "render/display.h"
#include "synth/synth.h"

// Pictures run this far behind the music clock: a rendered block is heard
// about half a second later, and 0.17 s lines the pictures up with the sound.
constexpr float kPictureDelay = 0.17f;
// The last frame is the first one whose clock reaches this (seconds).
constexpr float kShowEnd = 115.0f;

struct Show {
    Display display;
    Synth synth;  // the one Synth, for the whole run
    // The music clock in seconds (the Synth's `time`); null until a Synth
    // exists, which reads as 0 and keeps the show in pre-roll.
    const std::atomic<float>* musicTime = nullptr;
    float clock = -kPictureDelay;  // seconds of music time of the current frame
};

// Start-up up to the frame loop. False when the show cannot run; the reason
// is then in show.display.failure.
bool startShow(Show& show);
// One frame-loop iteration: poll, clock, draw (once the clock is not
// negative), swap, Escape. False when the loop must end after this frame.
bool runFrame(Show& show);
// Shut-down: the Synth stops, the audio output ends, exit callbacks, SDL.
void stopShow(Show& show);
// The whole run; returns the process exit code (0, or 1 when start-up failed
// after printing one line on stderr).
int32_t runShow();
