#version 120
// Scene: one rotating glass cube with a rainbow glow inside and the icon on
// its face; once track_time passes 26.8 s space repeats into an endless grid
// of cubes that the loudest notes push around.
#include "lib/scene_interface.glsl"

// The music time at which the single cube turns into the grid; both tests
// against it are strict, so at exactly 26.8 s neither the grid nor the icon.
const float grid_time = 26.8;

#include "lib/rotate.glsl"
#include "lib/hsv.glsl"
#include "lib/sd_box.glsl"

// Loudness picked for a grid cell: the per-instrument maxima sampled at a
// cell-dependent place and at its mirror image. The texture is addressed as
// if it held 10 rows, whatever the real instrument count.
float sampleNotes(vec3 id) {
    const float instCount = 10.0;
    const float nbNotes = 128.0;
    vec2 tex = vec2(floor(id.x + id.y + id.z) / nbNotes + 0.5 / nbNotes,
                    floor(id.x - id.y + id.z) / instCount + 0.5 / instCount);
    return texture2D(max_notes_velocity, tex).r + texture2D(max_notes_velocity, 1.0 - tex).r;
}

// Distance to one tumbling unit cube; off is its grid cell.
float cube(vec3 p, vec3 off) {
    p.xz *= rot(sequence_time + off.x);
    p.xy *= rot(0.5 * sequence_time + off.x);
    if (track_time > grid_time) p += sampleNotes(off);
    return sdBox(p, vec3(1.0));
}

// Scene distance: the one cube, or after grid_time one cube per 5-unit cell.
float map(vec3 p) {
    if (!(track_time > grid_time)) return cube(p, vec3(0.0));
    vec3 off = floor((p - 2.5) / 5.0);
    p = mod(p + 2.5, 5.0) - 2.5;
    return cube(p, off);
}

void main() {
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

    // Inside a hit cube, walk on in fixed 0.01 steps and gather rainbow light
    // until the far face, which adds a flash that fades with the walk length.
    vec3 glow = vec3(0.0);
    if (abs(map(p)) < 0.002) {
        vec3 q = p + 0.1 * ray;
        for (int i = 0; i < 128; i++) {
            if (abs(map(q)) < 0.001) {
                glow += 0.5 * (1.0 - float(i) / 128.0);
                break;
            }
            q += 0.01 * ray;
            glow += 0.01 * float(i) * hsv_to_rgb(q.x + q.y + q.z + 2.0 * sequence_time).rgb / 128.0;
        }
    }

    // The icon shows through the front of the single cube.
    if (track_time < grid_time && abs(p.x) < 1.0 && abs(p.y) < 1.0)
        glow += texture2D(prout, p.xy * 0.5 + 0.5).rgb;

    vec3 colour = (3.0 * st + 1.0) * glow * exp(-0.1 * distance(cam_position, p));
    gl_FragColor = vec4(pow(colour, vec3(1.0 / 1.5)), 1.0);
}
