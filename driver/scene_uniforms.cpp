// Sets the scene uniform list on a GL program through the loaded entry points.
#include "driver/scene_uniforms.h"

#include "render/gl_entry_points.h"

void applySceneUniforms(uint32_t program, const SceneUniform uniforms[kSceneUniformCount]) {
    glEntry.glUseProgram(program);
    for (int32_t i = 0; i < kSceneUniformCount; ++i) {
        const SceneUniform& u = uniforms[i];
        const GLint location = glEntry.glGetUniformLocation(program, u.name);
        switch (u.components) {
            case 0: glEntry.glUniform1i(location, u.intValue); break;
            case 1: glEntry.glUniform1f(location, u.values[0]); break;
            case 3: glEntry.glUniform3f(location, u.values[0], u.values[1], u.values[2]); break;
            case 4: glEntry.glUniform4f(location, u.values[0], u.values[1], u.values[2], u.values[3]); break;
            default: break;
        }
    }
}
