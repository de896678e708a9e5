// loadPrograms: palette textures, program building and the loading frames.
#include "render/loading_screen.h"

#include <GL/gl.h>

#include <cstdio>

#include "render/display.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/palette_textures.h"
#include "render/presentation.h"
#include "render/programs.h"
#include "runtime/memory.h"
#include "shaders/shader_sources.h"

namespace {

// Builds one program and, when it failed, says so on stderr with the GL's
// log located in the shader files. The show goes on either way: a scene that
// did not build stays black, which the message explains.
GLuint buildAndReport(const char* name, const char* fragmentSource, bool* allClean) {
    static char report[16384];
    bool clean = true;
    const GLuint program = buildCheckedProgram(kQuadVertexSource, fragmentSource, &clean, report, sizeof(report));
    if (!clean) {
        std::fprintf(stderr, "the %s program did not build; what it draws stays black:\n%s", name, report);
        *allClean = false;
    }
    return program;
}

// The scene programs each loading step builds, in order; -1 ends a step. The
// cube field's grid (slot 6) is built with its single cube (slot 1).
constexpr int32_t kStepPrograms[kLoadingSteps][2] = {{0, -1}, {1, 6}, {2, -1}, {3, -1}, {4, -1}, {5, -1}};

// The scene texts live as long as the process, like every other block of
// the show; held here they stay reachable, so leak checkers (LeakSanitizer in
// the tools and tests) do not take them for lost.
const char* sceneTexts[kSceneProgramCount];

// Builds scene program `slot` and draws it once. Warm-up: one draw with
// every uniform at zero, so the driver has done all its lazy work (compiling
// for the draw state) before the show; the bar then covers the picture. The
// draw is the full-screen quad, but only one pixel is shaded: the picture is
// never seen, and a software renderer would spend seconds shading a heavy
// scene whole.
void buildScene(int32_t slot, bool* allClean) {
    const char* text = joinSource(sceneSourcePrefixes[slot], kSceneSources[slot]);
    // A second loading (tests, tools) replaces the first text; GL took its
    // own copy when the shader was made.
    deallocate(const_cast<char*>(sceneTexts[slot]));
    sceneTexts[slot] = text;
    GLuint program = buildAndReport(kSceneProgramNames[slot], text, allClean);
    scenePrograms[slot] = program;
    glEntry.glUseProgram(program);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pushIdentityMatrices();
    glEntry.glUseProgram(program);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glEnable(GL_SCISSOR_TEST);
    glScissor(viewport[0], viewport[1], 1, 1);
    drawQuad();
    glDisable(GL_SCISSOR_TEST);
    popMatrices();
}

// Set by openLoadingScreen: loadingProgram is built in the current context,
// and the loadPrograms that comes next takes it rather than building it again
// (a new program would also make a software renderer compile its draw code
// once more).
bool loadingProgramMade = false;

// Draws the bar at `step` of six over whatever is in the viewport, finishes
// the frame, lets the hook see it and shows it.
void presentLoadingFrame(Display& display, int32_t step, LoadingFrameHook hook, void* user) {
    pushIdentityMatrices();
    glEntry.glUseProgram(loadingProgram);
    glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "percent"), loadingPercent(step));
    glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "xy_scale_factor"), kPictureAspect);
    drawQuad();

    popMatrices();
    glFlush();
    glFinish();
    if (hook) hook(step, user);
    swapDisplay(display);
    // Each program takes a while to build in a software renderer: an
    // Escape or a quit request (Ctrl-C, SIGTERM) stops the loading here
    // instead of after the last one.
    pollDisplayEvent(display);
}

}  // namespace

float loadingPercent(int32_t step) {
    return float(step) * 0.16666667f;
}

bool openLoadingScreen(Display& display, LoadingFrameHook hook, void* user) {
    bool clean = true;
    loadingProgram = buildAndReport("loading", kShader_loading_frag, &clean);
    loadingProgramMade = true;
    // Nothing has been drawn yet: the letterbox bars and the picture start black.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    presentLoadingFrame(display, 0, hook, user);
    return clean;
}

bool loadPrograms(Display& display, LoadingFrameHook hook, void* user) {
    bool allClean = true;
    copyProgram = buildAndReport("copy", kShader_copy_frag, &allClean);
    if (!loadingProgramMade) loadingProgram = buildAndReport("loading", kShader_loading_frag, &allClean);
    loadingProgramMade = false;  // a later loading may be in another context

    for (int32_t i = 0; i < kLoadingSteps; i++) {
        // The palette textures come after the first loading frame: their
        // mipmaps cost a software renderer about 0.1 s (it compiles the code
        // that makes them), and the screen should say "loading" first. No
        // scene before the second step reads them.
        if (i == 1) createPaletteTextures();
        for (const int32_t slot : kStepPrograms[i])
            if (slot >= 0) buildScene(slot, &allClean);

        presentLoadingFrame(display, i + 1, hook, user);
        if (display.escapeLatched) return allClean;
    }
    return allClean;
}
