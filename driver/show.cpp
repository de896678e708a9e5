// Start-up order, frame loop and shut-down of the show.
#include "driver/show.h"

#include <GL/gl.h>

#include <cstdio>

#include "driver/initialisers.h"
#include "runtime/exit_callbacks.h"
#include "runtime/float_mode.h"

namespace {

// Flush-to-zero on, rounding to nearest, all exceptions masked (MXCSR 0x9F80)
// for the main thread: denormals in the timeline maths would only cost time.
constexpr uint32_t kMainFloatMode = 0x21;

float musicTime(const Show& show) {
    return show.musicTime ? show.musicTime->load(std::memory_order_relaxed) : 0.0f;
}

// A frame with a non-negative clock. The timeline step, the note-activity
// feed and the scene draw come in here, between the clear and the flush.
void drawFrame(Show&) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
}

}  // namespace

bool startShow(Show& show) {
    setFloatMode(kMainFloatMode);
    clearExitCallbacks();
    runInitialisers(kInitialisers, kInitialisersEnd);
    // The Synth, its song and the audio output start here, before the display.
    show.display = openDisplay();
    return show.display.failure == nullptr;
}

bool runFrame(Show& show) {
    pollDisplayEvent(show.display);
    show.clock = musicTime(show) - kPictureDelay;
    // Pre-roll (negative clock): nothing drawn, no uniform or texture touched.
    if (show.clock >= 0.0f) drawFrame(show);
    swapDisplay(show.display);
    // Tested once per frame, after the swap: Escape ends the show after the
    // frame already shown.
    if (escapeRequested(show.display)) return false;
    return show.clock < kShowEnd;
}

void stopShow(Show&) {
    // The Synth stops and the audio output shuts down here, before the exit
    // callbacks.
    runExitCallbacks();
    quitDisplaySystem();
}

int32_t runShow() {
    static Show show;  // lives for the whole run
    if (!startShow(show)) {
        std::fprintf(stderr, "intro: %s\n", show.display.failure);
        stopShow(show);
        return 1;
    }
    while (runFrame(show)) {
    }
    stopShow(show);
    return 0;
}
