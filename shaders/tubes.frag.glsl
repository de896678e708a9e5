#version 120
// Scene: a kaleidoscopic bundle of thin tubes made by folding space four
// times; the colour peaks for hits after about half the step budget.
#include "lib/scene_interface.glsl"

#include "lib/rotate.glsl"
#include "lib/hsv.glsl"

// Distance to the tubes at time iTime: four folds, each mirroring x and y,
// pushing out by a breathing amount and turning, each a 1.3 times smaller copy.
float map(vec3 pos, float iTime) {
    vec3 p = pos;
    float a = 1.0;
    float scene = 1.0;
    float wave = 0.5 + 0.5 * sin(3.0 * length(pos) + iTime);
    for (int i = 4; i > 0; i--) {
        p.xy = abs(p.xy) - (0.2 + 0.3 * wave + 0.2 * sin(4.0 * iTime + 0.3 * float(i))) * a;
        p.xy *= rot(iTime + sin(iTime / 4.0));
        p.zy *= rot(0.5 * iTime + sin(2.0 * iTime));
        scene = min(scene, length(p.xy) - 0.05 * a);
        a /= 1.3;
    }
    return scene;
}

void main() {
    float iTime = 0.1 * sequence_time;
    vec2 uv = vec2(coords.x * xy_scale_factor, coords.y);
    vec3 ray = rotate_dir(cam_rotation, normalize(vec3(uv.x, uv.y, 2.0 * cam_fov)));

    // shade is the share of the 50 steps used to reach a surface; 0 on a miss.
    vec3 p = cam_position;
    float shade = 0.0;
    for (int i = 0; i < 50; i++) {
        float d = map(p, iTime);
        if (abs(d) < 0.001) {
            shade = float(i) / 50.0;
            break;
        }
        p += ray * d;
    }

    vec3 colour = (0.5 + hsv_to_rgb(iTime + p.x + p.z).rgb) * shade + 1.5 * shade;
    colour *= 1.0 - shade;
    gl_FragColor = vec4(colour, 1.0);
}
