// One frame's uniforms, texture uploads, clear and scene draw.
#include "driver/show_frame.h"

#include <GL/gl.h>

#include "driver/scene_uniforms.h"
#include "render/data_texture.h"
#include "render/programs.h"
#include "render/scene_draw.h"

void drawShowFrame(const Timeline& timeline, float clock, const NoteFeed& feed, DataTexture& notesVelocity,
                   DataTexture& maxNotesVelocity) {
    const GLuint program = *sequencePrograms[timeline.sequence];
    SceneUniform uniforms[kSceneUniformCount];
    sceneUniforms(timeline, clock, uniforms);
    applySceneUniforms(program, uniforms);
    notesVelocity.update(feed.notes);
    maxNotesVelocity.update(feed.peaks);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (sceneVisible(timeline)) drawScene(program, notesVelocity, maxNotesVelocity);
}
