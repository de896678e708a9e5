// loadPrograms: palette textures, program building and the loading frames.
#include "render/loading_screen.h"

#include <GL/gl.h>

#include "render/display.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/palette_textures.h"
#include "render/programs.h"
#include "runtime/memory.h"
#include "shaders/shader_sources.h"

namespace {

// 16:9 as a float: the loading bar is laid out on the show's fixed aspect.
constexpr float kAspect = 1.7777778f;

// The scene texts live as long as the process, like every other block of
// the show; held here they stay reachable, so leak checkers (LeakSanitizer in
// the tools and tests) do not take them for lost.
const char* sceneTexts[kSceneProgramCount];

}  // namespace

float loadingPercent(int32_t step) {
    return float(step) * 0.16666667f;
}

void loadPrograms(Display& display, LoadingFrameHook hook, void* user) {
    createPaletteTextures();
    copyProgram = buildProgram(kQuadVertexSource, kShader_copy_frag);
    loadingProgram = buildProgram(kQuadVertexSource, kShader_loading_frag);

    for (int32_t i = 0; i < kSceneProgramCount; i++) {
        const char* text = joinSource(sceneSourcePrefixes[i], kSceneSources[i]);
        // A second loading (tests, tools) replaces the first text; GL took
        // its own copy when the shader was made.
        deallocate(const_cast<char*>(sceneTexts[i]));
        sceneTexts[i] = text;
        GLuint program = buildProgram(kQuadVertexSource, text);
        scenePrograms[i] = program;

        // Warm-up: one draw with every uniform at zero, so the driver has done
        // all its lazy work (compiling for the draw state) before the show;
        // the bar then covers the picture. The draw is the full-screen quad,
        // but only one pixel is shaded: the picture is never seen, and a
        // software renderer would spend seconds shading a heavy scene whole.
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

        glEntry.glUseProgram(loadingProgram);
        glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "percent"), loadingPercent(i + 1));
        glEntry.glUniform1f(glEntry.glGetUniformLocation(loadingProgram, "xy_scale_factor"), kAspect);
        drawQuad();

        popMatrices();
        glFlush();
        glFinish();
        if (hook) hook(i + 1, user);
        swapDisplay(display);
        // Each program takes a while to build in a software renderer: an
        // Escape or a quit request (Ctrl-C, SIGTERM) stops the loading here
        // instead of after the last one.
        pollDisplayEvent(display);
        if (display.escapeLatched) return;
    }
}
