// Compile and link status of a program, read back from the driver. The
// program queries that the show's entry-point table lacks are taken straight
// from the system GL library, which exports them.
#define GL_GLEXT_PROTOTYPES 1
#include "render/program_check.h"

#include <GL/glext.h>

#include <cstdio>

#include "render/gl_entry_points.h"
#include "render/programs.h"

namespace {

// Appends text to the log at *used, keeping it terminated.
void appendLog(char* log, int32_t capacity, int32_t* used, const char* text) {
    if (*used >= capacity - 1) return;
    int32_t n = std::snprintf(log + *used, size_t(capacity - *used), "%s", text);
    *used += n < capacity - *used ? n : capacity - 1 - *used;
}

}  // namespace

bool programBuiltCleanly(GLuint program, char* log, int32_t capacity) {
    if (capacity <= 0) return false;
    log[0] = 0;
    int32_t used = 0;
    bool clean = true;
    char info[4096];

    GLuint shaders[8];
    GLsizei count = 0;
    glGetAttachedShaders(program, 8, &count, shaders);
    for (GLsizei i = 0; i < count; i++) {
        GLint compiled = GL_FALSE;
        glEntry.glGetShaderiv(shaders[i], GL_COMPILE_STATUS, &compiled);
        if (compiled == GL_TRUE) continue;
        clean = false;
        GLint stage = 0;
        glEntry.glGetShaderiv(shaders[i], GL_SHADER_TYPE, &stage);
        appendLog(log, capacity, &used, stage == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ");
        info[0] = 0;
        glEntry.glGetShaderInfoLog(shaders[i], sizeof(info), nullptr, info);
        char located[4096];
        locateShaderLog(info, located, sizeof(located));
        appendLog(log, capacity, &used, located);
        appendLog(log, capacity, &used, "\n");
    }

    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        clean = false;
        appendLog(log, capacity, &used, "link: ");
        info[0] = 0;
        glGetProgramInfoLog(program, sizeof(info), nullptr, info);
        appendLog(log, capacity, &used, info);
        appendLog(log, capacity, &used, "\n");
    }
    if (count == 0) {
        clean = false;
        appendLog(log, capacity, &used, "no shader attached\n");
    }
    return clean;
}
