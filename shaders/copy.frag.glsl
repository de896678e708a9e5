#version 120
// Puts a picture held in a texture on the screen, opaque.
varying vec2 coords;
uniform sampler2D texture;

void main() {
    gl_FragColor = vec4(texture2D(texture, coords * 0.5 + 0.5).rgb, 1.0);
}
