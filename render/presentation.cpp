// Letterboxed presentation of an offscreen picture with copyProgram.
#include "render/presentation.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/programs.h"
#include "render/render_target.h"

namespace {

// a * b / c rounded to the nearest integer, for non-negative values.
int32_t scaleRounded(int32_t a, int32_t b, int32_t c) {
    return int32_t((int64_t(a) * b + c / 2) / c);
}

}  // namespace

Viewport letterbox(int32_t drawableWidth, int32_t drawableHeight, int32_t pictureWidth, int32_t pictureHeight) {
    if (drawableWidth <= 0 || drawableHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return {0, 0, 0, 0};
    int32_t width = drawableWidth;
    int32_t height = drawableHeight;
    // Compare the aspect ratios exactly, as cross products.
    if (int64_t(drawableWidth) * pictureHeight > int64_t(drawableHeight) * pictureWidth) {
        width = scaleRounded(drawableHeight, pictureWidth, pictureHeight);  // bars left and right
    } else {
        height = scaleRounded(drawableWidth, pictureHeight, pictureWidth);  // bars above and below
    }
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    return {(drawableWidth - width) / 2, (drawableHeight - height) / 2, width, height};
}

void presentTarget(const RenderTarget& target, const Viewport& box, int32_t windowWidth, int32_t windowHeight) {
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, windowWidth, windowHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(box.x, box.y, box.width, box.height);

    pushIdentityMatrices();

    glEntry.glUseProgram(copyProgram);
    glEntry.glUniform1i(glEntry.glGetUniformLocation(copyProgram, "texture"), 0);
    glEntry.glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, target.colorTexture);
    drawQuad();
    glEntry.glUseProgram(0);

    popMatrices();
}
