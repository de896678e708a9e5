#version 120
// Vertex shader shared by every program: the four corners of the full-screen
// quad through the fixed-function matrices (identity in every draw), so that
// coords runs from (-1, -1) at the bottom-left to (1, 1) at the top-right.
varying vec2 coords;

void main() {
    vec4 position = gl_ModelViewProjectionMatrix * gl_Vertex;
    coords = position.xy;
    gl_Position = position;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
