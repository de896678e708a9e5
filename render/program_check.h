// Whether a built program's shaders compiled and the program linked, with
// the driver's logs (located in the shader files), read back through queries
// that the show's entry-point table lacks: for the tools (capture checks its
// reference march with it) and the GL tests. The show itself asks through
// buildCheckedProgram, which needs no query beyond its entry points.
#pragma once
#include <GL/gl.h>

#include <cstdint>

// True when every attached shader compiled and the program linked. Otherwise
// writes the failing stage and its information log into `log` (at most
// `capacity` bytes, always terminated) and returns false.
bool programBuiltCleanly(GLuint program, char* log, int32_t capacity);
