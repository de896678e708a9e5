// Building the show's programs on Mesa: every program compiles and links, a
// broken one is reported at its own file and line, the loading bar grows one
// sixth per frame after an opening frame with the bar empty and stops at a
// quit request, the palette textures keep transparent entries black, and the
// small GL objects leave the state they promise.
#define GL_GLEXT_PROTOTYPES 1
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <string>

#include "data/palette_images.h"
#include "render/data_texture.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/palette_textures.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "runtime/memory.h"
#include "shaders/shader_sources.h"
#include "scene_support.h"

namespace {

// x of a loading-bar point (-16/9..16/9 across the screen) as a pixel column.
int32_t columnOf(float barX, int32_t width) {
    return int32_t((barX / 1.7777778f * 0.5f + 0.5f) * float(width));
}

}  // namespace

TEST(Programs, EveryProgramCompilesAndLinks) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    char log[8192];
    EXPECT_TRUE(programBuiltCleanly(copyProgram, log, sizeof(log))) << "copy program:\n" << log;
    EXPECT_TRUE(programBuiltCleanly(loadingProgram, log, sizeof(log))) << "loading program:\n" << log;
    for (int32_t i = 0; i < kSceneProgramCount; i++)
        EXPECT_TRUE(programBuiltCleanly(scenePrograms[i], log, sizeof(log))) << "scene program " << i << ":\n" << log;
    // Eight distinct programs, and the Sequences point at the filled slots.
    for (int32_t i = 0; i < kSceneProgramCount; i++) {
        EXPECT_NE(scenePrograms[i], 0u);
        for (int32_t j = 0; j < i; j++) EXPECT_NE(scenePrograms[i], scenePrograms[j]);
    }
    EXPECT_EQ(*sequencePrograms[0], scenePrograms[5]);
    EXPECT_EQ(*sequencePrograms[10], scenePrograms[4]);
}

TEST(Programs, APrefixedSceneTextStillCompiles) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    char log[8192];
    for (int32_t i = 0; i < kSceneProgramCount; i++) {
        char* text = joinSource("#define prefix_probe 1\n", kSceneSources[i]);
        EXPECT_TRUE(programBuiltCleanly(buildProgram(kQuadVertexSource, text), log, sizeof(log)))
            << "scene program " << i << ":\n" << log;
        deallocate(text);
    }
}

TEST(Programs, TheCheckReportsABrokenShaderWithItsLog) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    GLuint broken = buildProgram(kQuadVertexSource, "#version 120\nvoid main() { gl_FragColor = nonsense; }\n");
    char log[4096];
    EXPECT_FALSE(programBuiltCleanly(broken, log, sizeof(log)));
    EXPECT_NE(std::string(log).find("fragment shader"), std::string::npos) << log;
    EXPECT_NE(std::string(log).find("nonsense"), std::string::npos) << log;
    // A tiny log buffer is still terminated.
    char tiny[8];
    EXPECT_FALSE(programBuiltCleanly(broken, tiny, sizeof(tiny)));
    EXPECT_LT(std::string(tiny).size(), sizeof(tiny));
}

TEST(Programs, ABrokenShaderIsReportedAtItsOwnFileAndLine) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // The folded tubes' text with one line broken in an included piece
    // (line 6 of shaders/lib/hsv.glsl) and one in the scene's own file
    // (line 43 of shaders/tubes.frag.glsl), each breaking a different way.
    std::string text = kShader_tubes_frag;
    // (The embedded texts carry no indentation.)
    const size_t inPiece = text.find("\nfloat x = 1.0 - abs(mod(hh, 2.0) - 1.0);");
    ASSERT_NE(inPiece, std::string::npos);
    text.insert(inPiece + 11, "undeclared_in_piece + ");
    const size_t inScene = text.find("\nvec3 colour = (0.5 + hsv_to_rgb(");
    ASSERT_NE(inScene, std::string::npos);
    text.insert(inScene + 15, "undeclared_in_scene + ");
    bool clean = true;
    char report[8192];
    const GLuint program = buildCheckedProgram(kQuadVertexSource, text.c_str(), &clean, report, sizeof(report));
    EXPECT_NE(program, 0u);
    EXPECT_FALSE(clean);
    const std::string said = report;
    EXPECT_NE(said.find("fragment shader did not compile"), std::string::npos) << said;
    EXPECT_NE(said.find("shaders/lib/hsv.glsl:6"), std::string::npos) << said;
    EXPECT_NE(said.find("shaders/tubes.frag.glsl:43"), std::string::npos) << said;
    EXPECT_NE(said.find("undeclared_in_piece"), std::string::npos) << said;

    // The unbroken text builds cleanly and says nothing.
    clean = false;
    buildCheckedProgram(kQuadVertexSource, kShader_tubes_frag, &clean, report, sizeof(report));
    EXPECT_TRUE(clean) << report;
    EXPECT_STREQ(report, "");
}

TEST(Programs, AProgramThatDoesNotLinkIsReported) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // Both shaders compile, but the fragment shader calls a function that
    // nothing defines: only the link can fail.
    const char* unlinked = "#version 120\nvec4 defined_nowhere();\nvoid main() { gl_FragColor = defined_nowhere(); }\n";
    bool clean = true;
    char report[4096];
    buildCheckedProgram(kQuadVertexSource, unlinked, &clean, report, sizeof(report));
    EXPECT_FALSE(clean);
    EXPECT_NE(std::string(report).find("did not link"), std::string::npos) << report;
    EXPECT_EQ(std::string(report).find("did not compile"), std::string::npos) << report;
}

TEST(LoadingScreen, TheBarGrowsOneSixthPerFrameAndTheSixthIsFull) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    ASSERT_EQ(rig->loadingFrames.size(), 6u);
    const int32_t w = kLoadingWidth;
    const int32_t middle = kLoadingHeight / 2;
    for (int32_t step = 1; step <= 6; step++) {
        const Frame& frame = rig->loadingFrames[step - 1];
        savePng(frame, "loading_" + std::to_string(step));
        float right = -0.78f + 1.56f * float(step) / 6.0f;
        // Filled from the left edge to two pixels before the bar's right end.
        for (int32_t x = columnOf(-0.76f, w); x <= columnOf(right, w) - 2; x++)
            ASSERT_GT(frame.at(x, middle)[0], 240) << "step " << step << " column " << x;
        // Empty from two pixels after it up to the frame's inner edge.
        for (int32_t x = columnOf(right, w) + 2; x <= columnOf(0.775f, w); x++)
            ASSERT_LT(frame.at(x, middle)[0], 16) << "step " << step << " column " << x;
        // The frame's left and right sides are drawn whatever the step, and
        // everything outside the frame is black and opaque.
        EXPECT_GT(frame.at(columnOf(-0.8f, w), middle)[0], 100);
        EXPECT_GT(frame.at(columnOf(0.8f, w), middle)[0], 100);
        EXPECT_EQ(frame.at(5, 5)[0], 0);
        EXPECT_EQ(frame.at(w - 5, kLoadingHeight - 5)[0], 0);
        EXPECT_EQ(frame.at(w / 2, kLoadingHeight - 5)[3], 255);
        // White on black: grey, never coloured.
        EXPECT_EQ(frame.at(w / 2, middle)[0], frame.at(w / 2, middle)[2]);
    }
}

namespace {

// What a loading hook saw: each step, and the first frame read back.
struct SeenLoading {
    std::vector<int32_t> steps;
    Frame first;
};

void seeLoadingFrame(int32_t step, void* user) {
    auto* seen = static_cast<SeenLoading*>(user);
    if (seen->steps.empty()) {
        seen->first.width = kLoadingWidth;
        seen->first.height = kLoadingHeight;
        seen->first.rgba.resize(size_t(kLoadingWidth) * kLoadingHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kLoadingWidth, kLoadingHeight, GL_RGBA, GL_UNSIGNED_BYTE, seen->first.rgba.data());
    }
    seen->steps.push_back(step);
}

}  // namespace

// The show opens the loading screen before anything else is built: one frame
// with the bar's outline and nothing in it, then the six steps, which draw
// with the same loading program rather than building a second one.
TEST(LoadingScreen, TheOpeningFrameShowsAnEmptyBarAndTheStepsFollowWithTheSameProgram) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    RenderTarget target(kLoadingWidth, kLoadingHeight);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, kLoadingWidth, kLoadingHeight);
    // Whatever was in the frame buffer before is cleared away.
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

    SeenLoading seen;
    EXPECT_TRUE(openLoadingScreen(rig->display, seeLoadingFrame, &seen));
    const GLuint opened = loadingProgram;
    ASSERT_EQ(seen.steps, std::vector<int32_t>{0});
    const Frame& frame = seen.first;
    savePng(frame, "loading_0");
    const int32_t w = kLoadingWidth;
    const int32_t middle = kLoadingHeight / 2;
    EXPECT_GT(frame.at(columnOf(-0.8f, w), middle)[0], 100);
    EXPECT_GT(frame.at(columnOf(0.8f, w), middle)[0], 100);
    // Nothing inside the frame but the fill's left end, which is no wider
    // than its anti-aliased edge.
    for (int32_t x = columnOf(-0.78f, w) + 2; x <= columnOf(0.775f, w); x++)
        ASSERT_LT(frame.at(x, middle)[0], 16) << "column " << x;
    EXPECT_EQ(frame.at(5, 5)[0], 0);
    EXPECT_EQ(frame.at(w - 5, kLoadingHeight - 5)[3], 255);

    EXPECT_TRUE(loadPrograms(rig->display, seeLoadingFrame, &seen));
    EXPECT_EQ(seen.steps, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(loadingProgram, opened);
    for (int32_t i = 0; i < kSceneProgramCount; i++) EXPECT_NE(scenePrograms[i], 0u) << i;
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_FALSE(rig->display.escapeLatched);
}

TEST(PaletteTextures, TransparentEntriesBecomeTransparentBlackOpaqueOnesKeepTheirBytes) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    for (int32_t image = 0; image < 2; image++) {
        int32_t width = paletteImage.widths[image];
        int32_t height = paletteImage.heights[image];
        std::vector<uint8_t> texels(size_t(width) * height * 4);
        glBindTexture(GL_TEXTURE_2D, paletteTextures[image]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        GLint texWidth = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texWidth);
        EXPECT_EQ(texWidth, width);
        int32_t transparent = 0;
        for (int32_t i = 0; i < width * height; i++) {
            const uint8_t* entry = paletteImage.palettes[image][paletteImage.indices[image][i]];
            const uint8_t* texel = &texels[size_t(i) * 4];
            if (entry[3] == 0) {
                transparent++;
                ASSERT_EQ(texel[0] | texel[1] | texel[2] | texel[3], 0) << "image " << image << " texel " << i;
            } else {
                ASSERT_EQ(std::vector<uint8_t>(texel, texel + 4), std::vector<uint8_t>(entry, entry + 4))
                    << "image " << image << " texel " << i;
            }
        }
        // The caption is opaque; the icon stands on a transparent ground.
        if (image == 0) {
            EXPECT_EQ(transparent, 0);
        } else {
            EXPECT_GT(transparent, 1000);
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST(GlObjects, QuadCoversTheViewportAndLeavesNoArrayStateBehind) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    float stored[16] = {};
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, fullScreenQuad);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(stored), stored);
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, 0);
    const float expected[16] = {-1, -1, 1, -1, -1, 1, 1, 1, 0, 0, 1, 0, 0, 1, 1, 1};
    for (int32_t i = 0; i < 16; i++) EXPECT_EQ(stored[i], expected[i]) << i;

    GLuint white = buildProgram(kQuadVertexSource,
                                "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    Frame frame = renderScene(*rig, white, SceneState{}, 37, 23);
    for (int32_t i = 0; i < 37 * 23 * 4; i++) ASSERT_EQ(frame.rgba[i], 255) << "byte " << i;

    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(GlObjects, RenderTargetIsCompleteAndLeavesTheWindowBound) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    glBindTexture(GL_TEXTURE_2D, paletteTextures[0]);
    RenderTarget target(64, 36);
    GLint framebuffer = -1, texture = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_EQ(texture, 0);
    EXPECT_NE(target.colorTexture, 0u);
    EXPECT_NE(target.depthTexture, 0u);
    EXPECT_NE(target.depthTexture, target.colorTexture);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(GlObjects, DataTextureIgnoresUpdatesBeforeCreateAndKeepsItsSize) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    DataTexture never;
    EXPECT_EQ(never.texture, DataTexture::kNoTexture);
    glBindTexture(GL_TEXTURE_2D, paletteTextures[1]);
    float values[128] = {};
    never.update(values);
    GLint texture = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(GLuint(texture), paletteTextures[1]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // One instrument: a 128 x 1 texture whose update lands in level 0.
    DataTexture single;
    EXPECT_TRUE(single.create(128, 1, values, GL_R32F, GL_RED, GL_FLOAT));
    for (int32_t i = 0; i < 128; i++) values[i] = float(i) / 128.0f;
    single.update(values);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, 128);
    EXPECT_EQ(height, 1);
    float back[128] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_FLOAT, back);
    for (int32_t i = 0; i < 128; i++) ASSERT_EQ(back[i], values[i]) << i;
    glBindTexture(GL_TEXTURE_2D, 0);
}

// A quit request (Ctrl-C, SIGTERM, a closed window) or Escape while the
// programs load stops the loading after the program being built: building
// the rest takes seconds in a software renderer. Loading again builds all.
TEST(LoadingScreen, AQuitRequestStopsTheLoadingAfterTheCurrentProgram) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    for (GLuint& program : scenePrograms) program = 0;
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    loadPrograms(rig->display);
    EXPECT_TRUE(rig->display.escapeLatched);
    EXPECT_NE(scenePrograms[0], 0u);
    for (int32_t i = 1; i < kSceneProgramCount; i++) EXPECT_EQ(scenePrograms[i], 0u) << i;

    EXPECT_TRUE(escapeRequested(rig->display));
    loadPrograms(rig->display);
    for (int32_t i = 0; i < kSceneProgramCount; i++) EXPECT_NE(scenePrograms[i], 0u) << i;
}
