#version 130
// Scene: an endless grid of tumbling glass cubes with a rainbow glow inside,
// pushed around by the loudest notes (Sequence 3, from 26.8 s of music on;
// the single cube before it is cube.frag.glsl).
#include "lib/scene_interface.glsl"

#include "lib/rotate.glsl"
#include "lib/hsv.glsl"
#include "lib/sd_box.glsl"

// Loudness picked for a grid cell: the per-instrument maxima at a
// cell-dependent row and at its mirror image, as if the texture held 10 rows
// (it holds one per instrument, ten in this piece). The texture is one texel
// wide and repeats, so only the row counts: k = x - y + z of the cell, modulo
// 10, and its mirror 9 - k. The texels are read directly: a filtered read at
// the row's centre gives the same value but costs several times as much, and
// the march makes this read in every cell it enters.
float sampleNotes(vec3 id) {
    int k = int(mod(id.x - id.y + id.z, 10.0));
    return texelFetch(max_notes_velocity, ivec2(0, k), 0).r + texelFetch(max_notes_velocity, ivec2(0, 9 - k), 0).r;
}

// The 5-unit cell that holds p, one cube centred on each multiple of 5.
vec3 cellOf(vec3 p) {
    return floor((p - 2.5) / 5.0);
}

// A cell and what its cube needs, which depends on the cell alone: its
// centre, the two turns and the push of the notes.
struct Cell {
    vec3 off;
    vec3 centre;
    mat2 turnXZ;
    mat2 turnXY;
    float push;
};

Cell cellAt(vec3 q) {
    vec3 off = cellOf(q);
    return Cell(off, 5.0 * off + 5.0, rot(sequence_time + off.x), rot(0.5 * sequence_time + off.x), sampleNotes(off));
}

// Whether q is still in the cell, from its place relative to the centre (a
// few operations fewer than finding q's cell in every step). Right at a wall
// this may disagree with cellOf by a rounding; the walks below only ask after
// a step, so a cell just made by cellAt is never refused and the walk goes on.
bool inCell(vec3 q, Cell cell) {
    vec3 r = q - cell.centre;
    return all(greaterThanEqual(r, vec3(-2.5))) && all(lessThan(r, vec3(2.5)));
}

// Distance from q, in the cell, to the cell's cube.
float cellDistance(vec3 q, Cell cell) {
    vec3 p = q - cell.centre;
    p.xz *= cell.turnXZ;
    p.xy *= cell.turnXY;
    p += cell.push;
    return sdBox(p, vec3(1.0));
}

// Scene distance: the cube of the cell that holds p.
float map(vec3 p) {
    return cellDistance(p, cellAt(p));
}

// Steps of 0.01 along the unit vector ray from q that surely stay inside the
// cell: one fewer than reach its nearest wall, which covers the rounding of
// the steps and of the cell test right at a wall.
int stepsInCell(vec3 q, vec3 ray, Cell cell) {
    vec3 low = cell.centre - 2.5;
    vec3 wall = mix(low, low + 5.0, step(0.0, ray));
    vec3 along = (wall - q) / max(abs(ray), 1e-6) * sign(ray);
    float room = min(min(abs(along.x), abs(along.y)), abs(along.z));
    return max(int(room / 0.010001) - 1, 0);
}

#include "lib/cube_glow.glsl"

void main() {
    vec2 uv = vec2(coords.x * xy_scale_factor, coords.y);
    vec3 ray = rotate_dir(cam_rotation, normalize(vec3(uv.x, uv.y, 2.0 * cam_fov)));

    // March to the first surface; st is the share of the step budget used
    // (1 when nothing is hit), so grazing hits come out brighter. A cell's
    // turns and push are made when the march enters it, not at every step.
    vec3 p = cam_position;
    float st = 1.0;
    int i = 0;
    bool hit = false;
    while (!hit && i < 128) {
        Cell cell = cellAt(p);
        for (;;) {
            float d = cellDistance(p, cell);
            if (abs(d) < 0.001) {
                st = float(i) / 128.0;
                hit = true;
                break;
            }
            p += d * ray;
            i++;
            if (i >= 128 || !inCell(p, cell)) break;
        }
    }

    vec3 glow = vec3(0.0);
    if (abs(map(p)) < 0.002) glow = cubeGlow(p, ray);

    vec3 colour = (3.0 * st + 1.0) * glow * exp(-0.1 * distance(cam_position, p));
    gl_FragColor = vec4(pow(colour, vec3(1.0 / 1.5)), 1.0);
}
