// The life of the show: start-up in its fixed order, the frame loop and the
// shut-down. Each frame-loop step is its own function; the picture side of a
// frame is shared with the capture tool (show_frame.h).
#pragma once
#include <atomic>
#include <cstdint>

#include "driver/heard_music.h"
#include "driver/music.h"  // kShowEnd
#include "driver/note_feed.h"
#include "driver/timeline.h"
#include "render/data_texture.h"
#include "render/display.h"
#include "render/presentation.h"  // kPictureAspect
#include "synth/synth.h"

struct RenderTarget;

// The picture clock runs this far behind the music being heard: the scenes
// and the timetable were made for a clock 0.17 s behind the sound.
constexpr float kPictureDelay = 0.17f;
// The picture is always drawn at this size (16:9); a window of any other size
// gets it scaled and letterboxed.
constexpr int32_t kPictureWidth = 1600;
constexpr int32_t kPictureHeight = 900;
static_assert(float(kPictureWidth) / float(kPictureHeight) == kPictureAspect);

struct Show {
    Display display;
    Synth synth;  // the one Synth, for the whole run
    // The music clock in seconds (the Synth's `time`); null until a Synth
    // exists, which reads as 0 and keeps the show in pre-roll.
    const std::atomic<float>* musicTime = nullptr;
    // What the device plays now: block records from the audio thread.
    HeardMusic heard{};
    // Picture clock of the current frame (s): the music time being heard less
    // kPictureDelay.
    float clock = -kPictureDelay;
    Timeline timeline{};
    NoteFeed feed{};
    VoiceFrame voices{};  // of the block being heard; kept when a look-up fails
    DataTexture notesVelocity;     // 128 x N, texture unit 0
    DataTexture maxNotesVelocity;  // 1 x N, texture unit 1
    RenderTarget* target = nullptr;  // the picture, when the window is not its size
    int32_t pictureWidth = kPictureWidth;
    int32_t pictureHeight = kPictureHeight;
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
