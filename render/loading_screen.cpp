// loadPrograms: palette textures, program building and the loading frames.
#include "render/loading_screen.h"

#include <GL/gl.h>

#include "render/display.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/palette_textures.h"
#include "render/programs.h"
#include "shaders/shader_sources.h"

namespace {

// 16:9 as a float: the loading bar is laid out on the show's fixed aspect.
constexpr float kAspect = 1.7777778f;

// The scene programs each loading step builds, in order; -1 ends a step. The
// cube field's grid (slot 6) is built with its single cube (slot 1).
constexpr int32_t kStepPrograms[kLoadingSteps][2] = {{0, -1}, {1, 6}, {2, -1}, {3, -1}, {4, -1}, {5, -1}};

// Builds scene program `slot` and draws it once. Warm-up: one draw with
// every uniform at zero, so the driver has done all its lazy work (compiling
// for the draw state) before the show; the bar then covers the picture. The
// draw is the full-screen quad, but only one pixel is shaded: the picture is
// never seen, and a software renderer would spend seconds shading a heavy
// scene whole.
void buildScene(int32_t slot) {
    const char* text = joinSource(sceneSourcePrefixes[slot], kSceneSources[slot]);
    GLuint program = buildProgram(kQuadVertexSource, text);
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

}  // namespace

float loadingPercent(int32_t step) {
    return float(step) * 0.16666667f;
}

void loadPrograms(Display& display, LoadingFrameHook hook, void* user) {
    copyProgram = buildProgram(kQuadVertexSource, kShader_copy_frag);
    loadingProgram = buildProgram(kQuadVertexSource, kShader_loading_frag);

    for (int32_t i = 0; i < kLoadingSteps; i++) {
        // The palette textures come after the first loading frame: their
        // mipmaps cost a software renderer about 0.1 s (it compiles the code
        // that makes them), and the screen should say "loading" first. No
        // scene before the second step reads them.
        if (i == 1) createPaletteTextures();
        for (const int32_t slot : kStepPrograms[i])
            if (slot >= 0) buildScene(slot);

        pushIdentityMatrices();
        glEntry.glUseProgram(loadingProgram);
        glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "percent"), loadingPercent(i + 1));
        glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "xy_scale_factor"), kAspect);
        drawQuad();

        popMatrices();
        glFlush();
        glFinish();
        if (hook) hook(i + 1, user);
        swapDisplay(display);
    }
}
