// One scene draw as the frame loop does it.
#include "render/scene_draw.h"

#include <GL/glext.h>

#include "render/data_texture.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/palette_textures.h"

void drawScene(GLuint program, DataTexture& notesVelocity, DataTexture& maxNotesVelocity) {
    pushIdentityMatrices();

    glEntry.glUseProgram(program);
    glEntry.glActiveTexture(GL_TEXTURE0);
    notesVelocity.bind();
    glEntry.glActiveTexture(GL_TEXTURE1);
    maxNotesVelocity.bind();
    glEntry.glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, paletteTextures[0]);
    glEntry.glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, paletteTextures[1]);
    drawQuad();
    glEntry.glUseProgram(0);

    popMatrices();
}
