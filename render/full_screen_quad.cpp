// Building and drawing the full-screen quad with client vertex arrays taken
// from a buffer object.
#include "render/full_screen_quad.h"

#include "render/gl_entry_points.h"

const float kFullScreenQuadData[16] = {
    -1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f,  // positions
    0.0f,  0.0f,  1.0f, 0.0f,  0.0f,  1.0f, 1.0f, 1.0f,  // texture coordinates
};

GLuint fullScreenQuad = 0;

namespace {
constexpr GLsizeiptr kHalf = sizeof(kFullScreenQuadData) / 2;  // bytes of either part
}

void createQuad() {
    glEntry.glGenBuffers(1, &fullScreenQuad);
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, fullScreenQuad);
    glEntry.glBufferData(GL_ARRAY_BUFFER, sizeof(kFullScreenQuadData), nullptr, GL_STATIC_DRAW);
    glEntry.glBufferSubData(GL_ARRAY_BUFFER, 0, kHalf, kFullScreenQuadData);
    glEntry.glBufferSubData(GL_ARRAY_BUFFER, kHalf, kHalf, kFullScreenQuadData + 8);
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void drawQuad() {
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, fullScreenQuad);
    // With a buffer bound, the pointers are byte offsets into it.
    glVertexPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(0));
    glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(kHalf));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEntry.glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void pushIdentityMatrices() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void popMatrices() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
