// Hands one frame's timeline to a scene program: makes it current and sets
// the uniform list of sceneUniforms by name, looking every location up anew.
#pragma once
#include <cstdint>

#include "driver/timeline.h"

// glUseProgram(program), then each uniform in list order; a name the program
// does not declare has location -1 and setting it changes nothing.
void applySceneUniforms(uint32_t program, const SceneUniform uniforms[kSceneUniformCount]);
