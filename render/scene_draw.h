// Drawing one scene frame: the program, its four textures and the quad.
#pragma once
#include <GL/gl.h>

class DataTexture;

// With identity matrices pushed around the draw: binds the note velocities
// to texture unit 0, their maxima to unit 1 and the two palette textures to
// units 2 and 3, draws the quad with `program`, and leaves no program
// current. The uniforms must already be set on `program`.
void drawScene(GLuint program, DataTexture& notesVelocity, DataTexture& maxNotesVelocity);
