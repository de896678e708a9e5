#version 130
// Scene: the raw note-velocity texture, 128 columns of notes and one row per
// instrument (instrument 0 at the bottom), each cell one flat grey.
in vec2 coords;
uniform sampler2D max_notes_velocity;
uniform sampler2D notes_velocity;

void main() {
    vec2 uv = coords * 0.5 + 0.5;
    float instCount = float(textureSize(notes_velocity, 0).y);
    const float nbNotes = 128.0;
    vec2 cell = vec2(floor(nbNotes * uv.x) / nbNotes + 0.5 / nbNotes,
                     floor(instCount * uv.y) / instCount + 0.5 / instCount);
    // Level 0 at the texel centre: the jump of the cell coordinate between
    // neighbouring pixels would otherwise select a blurred mipmap at every
    // cell border.
    float v = textureLod(notes_velocity, cell, 0.0).r;
    gl_FragColor = vec4(vec3(v), 1.0);
}
