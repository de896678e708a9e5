#version 120
// The yardstick the scenes are measured against (capture --timings): a plain
// ray march of 150 fixed steps per pixel through a simple distance field, a
// rippled sphere resting on a floor, with no early exit, so every pixel costs
// the same whatever the camera sees. Not part of the show.
varying vec2 coords;
uniform float xy_scale_factor;

// Distance to a unit sphere at the origin with two octaves of shallow ripple
// on its surface, and a floor one unit below it.
float map(vec3 p) {
    float ripple = 0.05 * sin(5.0 * p.x) * sin(5.0 * p.y) * sin(5.0 * p.z) +
                   0.02 * sin(11.0 * p.x) * sin(11.0 * p.y) * sin(11.0 * p.z);
    return min(length(p) - 1.0 + ripple, p.y + 1.0);
}

void main() {
    vec3 origin = vec3(0.0, 0.0, -4.0);
    vec3 ray = normalize(vec3(coords.x * xy_scale_factor, coords.y, 2.0));
    float t = 0.0;
    for (int i = 0; i < 150; i++) t += map(origin + t * ray);
    gl_FragColor = vec4(vec3(exp(-0.1 * t)), 1.0);
}
