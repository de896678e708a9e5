// Start-up order, frame loop and shut-down of the show.
#include "driver/show.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "audio/audio_output.h"
#include "data/song.h"
#include "driver/initialisers.h"
#include "driver/music.h"
#include "driver/probe_hooks.h"
#include "driver/show_frame.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/presentation.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "runtime/exit_callbacks.h"
#include "runtime/float_mode.h"
#include "runtime/math.h"

namespace {

// Says on stderr that a block of the start-up's own could not be had and
// what the show does without it. The show goes on: each of these has a
// fallback, but a picture or a sound that is missing without a word would
// look like a fault of the show.
void reportShortMemory(const char* what, const char* without) {
    std::fprintf(stderr, "intro: no memory for %s; %s\n", what, without);
}

// A pre-roll frame draws nothing, so its swap may not wait for the screen
// (it never does on a software renderer): the loop rests this long after it,
// leaving the core to the audio thread, which is filling the ring. A quarter
// of a 60 Hz frame, so the first scene frame is not held back.
constexpr std::chrono::milliseconds kPreRollRest{4};

float musicTime(const Show& show) {
    return show.musicTime ? show.musicTime->load(std::memory_order_relaxed) : 0.0f;
}

// The music time the device is playing now. The audio thread renders half a
// second ahead of the device, so the Synth's clock runs ahead of what is
// heard by the sound still queued in the ring: the newest block's end less
// what is queued in front of it, both taken at the same block, less the part
// of the device's last take it has not played yet (it plays a take over the
// buffer period after taking it, so the heard time moves on between takes).
// Before the first block (and without a sound device) the Synth's clock less
// whatever is queued.
float heardNow(const Show& show) {
    const float fallback = float(double(musicTime(show)) - queuedSeconds(audioOutput));
    const DevicePosition at = devicePosition(audioOutput, deviceMicros());
    return heardTime(show.heard, at, audioOutput.bufferBytes, fallback);
}

// Whether the picture goes through the render target: whenever the window's
// drawable is not exactly the picture's size (and the target exists).
bool drawsOffscreen(const Show& show) {
    return show.target != nullptr &&
           (show.display.width != show.pictureWidth || show.display.height != show.pictureHeight);
}

Viewport windowBox(const Show& show) {
    return letterbox(show.display.width, show.display.height, show.pictureWidth, show.pictureHeight);
}

// A frame with a non-negative clock: timeline and note-activity steps, then
// the picture, straight into the window or through the render target.
// Returns whether a scene was drawn (not a black frame).
bool drawFrame(Show& show) {
    stepTimeline(show.timeline, show.clock);
    // The voices of the block being heard; if it cannot be found (not yet
    // recorded, or overwritten under the look-up) last frame's voices stand in.
    heardVoices(show.heard, show.clock + kPictureDelay, show.voices);
    stepNoteFeed(show.feed, show.voices);

    const bool offscreen = drawsOffscreen(show);
    if (offscreen) {
        glEntry.glBindFramebuffer(GL_FRAMEBUFFER, show.target->framebuffer);
        glViewport(0, 0, show.pictureWidth, show.pictureHeight);
    } else {
        glViewport(0, 0, show.display.width, show.display.height);
    }
    drawShowFrame(show.timeline, show.clock, show.feed, show.notesVelocity, show.maxNotesVelocity);
    if (offscreen) presentTarget(*show.target, windowBox(show), show.display.width, show.display.height);
    glFlush();
    return sceneVisible(show.timeline);
}

// Note textures and render target (made once, never released). They come
// after the first loading frame: a software renderer compiles the code that
// makes the note textures' mipmaps the first time, and nothing on the
// loading screen reads them.
void createPictureObjects(Show& show) {
    const uint32_t instruments = show.synth.instrumentCount.load(std::memory_order_relaxed);
    initTimeline(show.timeline);
    if (!initNoteFeed(show.feed, instruments)) reportShortMemory("the note activity", "the scenes see no notes");
    const int32_t rows = int32_t(show.feed.rows);
    show.voices = VoiceFrame{};
    show.voices.instrumentCount = show.feed.rows;  // all idle until a block is heard
    show.notesVelocity.create(int32_t(kFeedNotes), rows, show.feed.notes, GL_R32F, GL_RED, GL_FLOAT);
    show.maxNotesVelocity.create(1, rows, show.feed.peaks, GL_R32F, GL_RED, GL_FLOAT);
    probePictureSize(show.pictureWidth, show.pictureHeight);
    show.target = new (std::nothrow) RenderTarget(show.pictureWidth, show.pictureHeight);
    if (show.target == nullptr)
        reportShortMemory("the render target", "the scenes are drawn straight into the window at its own size");
}

}  // namespace

bool startShow(Show& show) {
    setFloatMode(kMainFloatMode);  // denormals in the timeline maths would only cost time
    clearExitCallbacks();
    runInitialisers(kInitialisers, kInitialisersEnd);
    probeStartUp();
    // The Synth and its song, then the audio output, before the display: the
    // audio thread streams silence while the display opens and the programs
    // load, because the Synth does not play until start.
    if (!prepareSynth(show.synth, kSong, kSongSize))
        reportShortMemory("the song's instruments", "the music is silent or lacks some effects");
    show.musicTime = &show.synth.time;
    // The audio thread records every block it renders, so that the pictures
    // can follow the block being heard; the listener is set before the thread
    // exists. Without the records the clock falls back to the Synth's.
    const uint32_t instruments = show.synth.instrumentCount.load(std::memory_order_relaxed);
    if (initHeardMusic(show.heard, instruments, &audioOutput))
        setBlockListener(audioOutput, listenToBlocks, &show.heard);
    else
        reportShortMemory("the record of rendered blocks", "the pictures follow the Synth's clock");
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
    probeDisplayOpened();
    // A quit request (Ctrl-C, SIGTERM) that came during the start-up ends
    // the show before the loading: the first frame sees it.
    pollDisplayEvent(show.display);
    if (show.display.escapeLatched) return true;
    // The loading screen is drawn straight into the letterboxed part of the
    // window; glClear ignores the viewport and blackens the bars. Its first
    // frame, the empty bar, needs only the quad and the loading program, so
    // the screen shows it before anything else is built.
    createQuad();
    Viewport box = windowBox(show);
    glViewport(box.x, box.y, box.width, box.height);
    openLoadingScreen(show.display, probeLoadingFrames());
    if (show.display.escapeLatched) return true;
    createPictureObjects(show);
    if (show.target == nullptr) {
        // No memory for the target: draw straight into the window, whatever its size.
        show.pictureWidth = show.display.width;
        show.pictureHeight = show.display.height;
        box = windowBox(show);
    }
    glViewport(box.x, box.y, box.width, box.height);
    loadPrograms(show.display, probeLoadingFrames());
    // Escape or a quit request while loading: the rest of the loading was
    // skipped, and the first frame (a pre-roll frame, since the music has not
    // started) sees the latched request and ends the show.
    if (show.display.escapeLatched) return true;
    for (const GLuint program : scenePrograms) {
        if (program != 0) continue;
        // Its text could not be made (memory is short): stop as for a display
        // that cannot open, rather than show scenes that are not there.
        show.display.failure = "no memory for the scene programs";
        return false;
    }
    start(show.synth, 0.0f);
    return true;
}

bool runFrame(Show& show) {
    pollDisplayEvent(show.display);
    show.clock = nextPictureClock(show.clock, heardNow(show), kPictureDelay);
    // Pre-roll (negative clock): nothing drawn, no uniform or texture touched.
    const bool sceneDrawn = show.clock >= 0.0f && drawFrame(show);
    probeBeforeSwap(show, sceneDrawn);
    swapDisplay(show.display);
    if (show.clock < 0.0f) std::this_thread::sleep_for(kPreRollRest);
    // Tested once per frame, after the swap: Escape ends the show after the
    // frame already shown. The queue is drained again first, so that a key
    // or a signal that came while this frame was drawn (seconds, in software)
    // ends the show now rather than after one more frame.
    pollDisplayEvent(show.display);
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
    probeLoopEnded();
    stopShow(show);
    return 0;
}
