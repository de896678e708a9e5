#version 120
// Scene: one rotating glass cube with a rainbow glow inside and the icon on
// its face (Sequence 2). From 26.8 s space repeats into a grid of cubes,
// which cube_grid.frag.glsl draws: a software rasteriser runs both sides of
// a branch, so one program holding both would pay for the grid here.
#include "lib/scene_interface.glsl"

// The music time at which the single cube gives way to the grid; the test
// against it is strict, so at exactly 26.8 s no icon.
const float grid_time = 26.8;

#include "lib/rotate.glsl"
#include "lib/hsv.glsl"
#include "lib/sd_box.glsl"

// The cube's two turns depend on the time alone, so they are made once per
// pixel rather than in each of the hundreds of distance evaluations.
mat2 turnXZ;
mat2 turnXY;

// Distance to the tumbling unit cube at the origin.
float map(vec3 p) {
    p.xz *= turnXZ;
    p.xy *= turnXY;
    return sdBox(p, vec3(1.0));
}

// One cube, so one cell that holds everything.
struct Cell {
    float unused;
};

Cell cellAt(vec3 q) {
    return Cell(0.0);
}

bool inCell(vec3 q, Cell cell) {
    return true;
}

float cellDistance(vec3 q, Cell cell) {
    return map(q);
}

int stepsInCell(vec3 q, vec3 ray, Cell cell) {
    return 128;
}

#include "lib/cube_glow.glsl"

void main() {
    turnXZ = rot(sequence_time);
    turnXY = rot(0.5 * sequence_time);
    vec2 uv = vec2(coords.x * xy_scale_factor, coords.y);
    vec3 ray = rotate_dir(cam_rotation, normalize(vec3(uv.x, uv.y, 2.0 * cam_fov)));

    // March to the first surface; st is the share of the step budget used
    // (1 when nothing is hit), so grazing hits come out brighter.
    vec3 p = cam_position;
    float st = 1.0;
    for (int i = 0; i < 128; i++) {
        float d = map(p);
        if (abs(d) < 0.001) {
            st = float(i) / 128.0;
            break;
        }
        p += d * ray;
    }

    vec3 glow = vec3(0.0);
    if (abs(map(p)) < 0.002) glow = cubeGlow(p, ray);

    // The icon shows through the front of the cube.
    if (track_time < grid_time && abs(p.x) < 1.0 && abs(p.y) < 1.0)
        glow += texture2D(prout, p.xy * 0.5 + 0.5).rgb;

    vec3 colour = (3.0 * st + 1.0) * glow * exp(-0.1 * distance(cam_position, p));
    gl_FragColor = vec4(pow(colour, vec3(1.0 / 1.5)), 1.0);
}
