// Start-up order, frame loop and shut-down of the show.
#include "driver/show.h"

#include <GL/gl.h>

#include <cstdio>

#include "audio/audio_output.h"
#include "data/song.h"
#include "driver/initialisers.h"
#include "driver/music.h"
#include "driver/probe.h"
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
    probeStartUp();
    // The Synth and its song, then the audio output, before the display: the
    // audio thread streams silence while the display opens and the programs
    // load, because the Synth does not play until start.
    prepareSynth(show.synth, kProvisionalSong, kProvisionalSongSize);
    show.musicTime = &show.synth.time;
    const bool sound = init(audioOutput, kSampleRate);
    registerSource(audioOutput, show.synth);
    show.display = openDisplay();
    if (show.display.failure != nullptr) return false;
    if (!sound) {
        // Without sound no block is rendered, so the clock never leaves the
        // pre-roll: say why, or a black screen would be a mystery.
        std::fprintf(stderr, "intro: %s; no music, so the show waits in its pre-roll until Escape\n",
                     audioOutput.failure);
    }
    // The loading screen goes here; the music starts right after it.
    start(show.synth, 0.0f);
    return true;
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
    return show.clock < kShowEnd && probeFrame(show);
}

void stopShow(Show& show) {
    stop(show.synth);
    unregisterSource(audioOutput, show.synth);
    shutdown(audioOutput);
    probeShutDown(show);
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
