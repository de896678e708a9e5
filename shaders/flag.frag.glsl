#version 120
// Scene: a flag of three vertical bands rippling diagonally.
#include "lib/scene_interface.glsl"

const float wave_speed = 5.0;
const float wave_freq = 3.0;
const float wave_amp = 0.03;

// Band colour at a point of the screen (x spans +-16/9). The two band edges
// are deliberately unequal: -0.666 on the left, 0.6666 on the right.
vec4 earth_flag(vec2 uv) {
    if (uv.x < -0.666) return vec4(0.10, 0.10, 0.10, 1.0);
    if (uv.x < 0.6666) return vec4(1.0, 233.0 / 255.0, 54.0 / 255.0, 1.0);
    return vec4(1.0, 15.0 / 255.0, 33.0 / 255.0, 1.0);
}

void main() {
    float iTime = sequence_time;
    vec2 uv = vec2(coords.x * xy_scale_factor, coords.y);
    // The phase grows along a curved diagonal so the ripples bend.
    float d = -uv.x + 0.3 * uv.y - exp(uv.x - 1.0) + exp(-uv.y);
    float a = mod(wave_speed * iTime * 1.05 + d * wave_freq, 4.0 * 3.14159265359);
    uv.x += cos(a) * wave_amp;
    uv.y += sin(a) * wave_amp;
    // Shading between 0.5 and 1.0 follows the ripple, alpha included.
    gl_FragColor = earth_flag(uv) * (0.75 - 0.25 * sin(a - 0.3));
}
