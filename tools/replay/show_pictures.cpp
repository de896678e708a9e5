// Offscreen start-up and frame drawing for capture, in the show's own order.
#include "tools/replay/show_pictures.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

#include "driver/show_frame.h"
#include "driver/timeline.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "tools/replay/show_replay.h"

namespace {

Picture readPicture(int32_t width, int32_t height) {
    Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return picture;
}

void keepLoadingFrame(int32_t step, void* user) {
    auto* pictures = static_cast<ShowPictures*>(user);
    if (step == pictures->loadingStep)
        pictures->loadingFrame = readPicture(pictures->target->width, pictures->target->height);
}

}  // namespace

bool openShowPictures(ShowPictures& pictures, int32_t width, int32_t height, const ShowReplay& replay,
                      const DisplayOptions* window) {
    pictures.display = openDisplay(window ? *window : DisplayOptions{.hidden = true, .width = width, .height = height});
    if (pictures.display.failure) {
        std::fprintf(stderr, "%s: %s\n", window ? "intro_dev" : "capture", pictures.display.failure);
        return false;
    }
    int32_t instruments = int32_t(replayInstruments(replay));
    pictures.notesVelocity.create(128, instruments, replay.feed.notes, GL_R32F, GL_RED, GL_FLOAT);
    pictures.maxNotesVelocity.create(1, instruments, replay.feed.peaks, GL_R32F, GL_RED, GL_FLOAT);
    createQuad();
    pictures.target = new RenderTarget(width, height);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, pictures.target->framebuffer);
    // Unless a loading frame is wanted, the warm-up draws cover one pixel:
    // at 1600 x 900 they would cost seconds each in a software renderer.
    if (pictures.loadingStep == 0) glViewport(0, 0, 1, 1);
    else glViewport(0, 0, width, height);
    // A program that did not build has been reported on stderr with its log.
    const bool built = loadPrograms(pictures.display, keepLoadingFrame, &pictures);
    glViewport(0, 0, width, height);
    return built;
}

void closeShowPictures(ShowPictures& pictures) {
    if (pictures.display.window) closeDisplay(pictures.display);
    delete pictures.target;
    pictures.target = nullptr;
}

void drawReplayFrame(ShowPictures& pictures, const ShowReplay& replay) {
    // Before the first frame of the show (negative clock) nothing is drawn.
    if (replay.lastClock >= 0.0f) {
        drawShowFrame(replay.timeline, replay.lastClock, replay.feed, pictures.notesVelocity,
                      pictures.maxNotesVelocity);
    } else {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glFlush();
    glFinish();
}

Picture readShowPicture(const ShowPictures& pictures) {
    return readPicture(pictures.target->width, pictures.target->height);
}
