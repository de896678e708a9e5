// Offscreen start-up and frame drawing for capture, in the show's own order.
#include "tools/capture/show_pictures.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

#include "driver/show_frame.h"
#include "driver/timeline.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "tools/capture/show_replay.h"

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

// Every program built, checked; false (after printing the logs) on failure.
bool checkPrograms() {
    static char log[16384];
    struct Named {
        const char* name;
        GLuint program;
    };
    const Named programs[] = {
        {"copy", copyProgram},
        {"loading", loadingProgram},
        {"scene 0 (flag)", scenePrograms[0]},
        {"scene 1 (cube field, single cube)", scenePrograms[1]},
        {"scene 2 (inverted lattice)", scenePrograms[2]},
        {"scene 3 (folded tubes)", scenePrograms[3]},
        {"scene 4 (note grid)", scenePrograms[4]},
        {"scene 5 (icon)", scenePrograms[5]},
        {"scene 6 (cube grid)", scenePrograms[6]},
    };
    bool clean = true;
    for (const Named& p : programs) {
        if (programBuiltCleanly(p.program, log, sizeof(log))) continue;
        std::fprintf(stderr, "capture: %s program failed to build:\n%s", p.name, log);
        clean = false;
    }
    return clean;
}

}  // namespace

bool openShowPictures(ShowPictures& pictures, int32_t width, int32_t height, const ShowReplay& replay) {
    pictures.display = openDisplay({.hidden = true, .width = width, .height = height});
    if (pictures.display.failure) {
        std::fprintf(stderr, "capture: %s\n", pictures.display.failure);
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
    loadPrograms(pictures.display, keepLoadingFrame, &pictures);
    glViewport(0, 0, width, height);
    return checkPrograms();
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
