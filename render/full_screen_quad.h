// The one vertex buffer every picture is drawn through: the four corners of
// the screen as a triangle strip, with texture coordinates.
#pragma once
#include <GL/gl.h>

// 64 bytes: positions (x, y) of the four corners, then their texture
// coordinates (s, t), in triangle-strip order.
extern const float kFullScreenQuadData[16];
// The buffer's GL name; 0 until createQuad.
extern GLuint fullScreenQuad;

// Makes the buffer and fills it. Needs the GL context and glEntry.
void createQuad();
// Saves the projection and model-view matrices and loads identity into both
// (the model-view mode is left current), so the quad covers the viewport.
void pushIdentityMatrices();
// Restores both matrices saved by pushIdentityMatrices (model-view left current).
void popMatrices();
// Draws the quad with the current program. The caller has loaded identity into
// the projection and model-view matrices, so the quad covers the viewport.
// Leaves no client array enabled and no buffer bound to GL_ARRAY_BUFFER.
void drawQuad();
