// Letterboxed presentation on Mesa under Xvfb: a picture drawn into a render
// target lands in the window scaled into the letterbox, the right way up and
// round, with black bars, and leaves the GL state the frame loop expects.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

#include "render/display.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/presentation.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "shaders/shader_sources.h"

namespace {

constexpr int32_t kWindow = 64;  // a square window: bars above and below a 16:9 picture

struct Pixel {
    uint8_t r, g, b;
};

std::vector<uint8_t> readWindow() {
    std::vector<uint8_t> rgba(size_t(kWindow) * kWindow * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kWindow, kWindow, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

Pixel at(const std::vector<uint8_t>& rgba, int32_t x, int32_t y) {
    const uint8_t* p = &rgba[(size_t(y) * kWindow + x) * 4];
    return {p[0], p[1], p[2]};
}

// Fills the target: red on the left half, green on the right, and a blue
// band along its top eighth, so that a flip or a mirror shows.
void paintTarget(const RenderTarget& target) {
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, target.width, target.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, target.width / 2, target.height);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(target.width / 2, 0, target.width - target.width / 2, target.height);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, target.height - target.height / 8, target.width, target.height / 8);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

}  // namespace

TEST(Presentation, ScalesThePictureIntoTheLetterboxWithBlackBars) {
    Display display = openDisplay({.hidden = true, .width = kWindow, .height = kWindow});
    ASSERT_EQ(display.failure, nullptr) << display.failure;
    createQuad();
    copyProgram = buildProgram(kQuadVertexSource, kShader_copy_frag);
    RenderTarget target(32, 18);
    paintTarget(target);

    // Something left in the window from before must not show in the bars.
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

    const Viewport box = letterbox(kWindow, kWindow, target.width, target.height);
    ASSERT_EQ(box.y, 14);
    ASSERT_EQ(box.height, 36);
    presentTarget(target, box, kWindow, kWindow);
    const std::vector<uint8_t> window = readWindow();

    for (int32_t y = 0; y < kWindow; ++y) {
        for (int32_t x = 0; x < kWindow; ++x) {
            const Pixel p = at(window, x, y);
            if (y < box.y || y >= box.y + box.height) {
                ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << "bar pixel " << x << "," << y << " is not black";
                continue;
            }
            // Away from the edges between the colours, which filtering blends.
            const int32_t row = y - box.y;  // 0 at the picture's bottom
            if (row >= 33) {
                EXPECT_TRUE(p.b > 200 && p.r < 30 && p.g < 30) << "top band at " << x << "," << y;
            } else if (row < 28 && x < 29) {
                EXPECT_TRUE(p.r > 200 && p.g < 30 && p.b < 30) << "left half at " << x << "," << y;
            } else if (row < 28 && x >= 35) {
                EXPECT_TRUE(p.g > 200 && p.r < 30 && p.b < 30) << "right half at " << x << "," << y;
            }
        }
    }

    // The state the frame loop relies on afterwards.
    GLint framebuffer = -1, program = -1, viewport[4] = {};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_EQ(program, 0);
    EXPECT_EQ(viewport[1], box.y);
    EXPECT_EQ(viewport[3], box.height);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    closeDisplay(display);
}
