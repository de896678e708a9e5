// The cube field's inner glow, shared by its single-cube and grid programs.
// The scene supplies a struct Cell (what a cell's cube needs: its turns and
// push, made once when a walk enters the cell) and four functions:
// cellAt(q), the cell that holds q; inCell(q, cell); cellDistance(q, cell),
// the exact distance from q to that cell's cube, which is map(q) for q in the
// cell (map may jump between cells); and stepsInCell(q, ray, cell), how many
// steps of 0.01 from q surely stay inside the cell.

// How many 0.01 steps along the unit vector `ray` from q, at distance d from
// any surface, surely stay 0.001 or more away from it: within a cell the
// distance changes by at most the distance moved, a step moves 0.01 plus a
// float rounding that grows with |q|, and 1e-4 covers the rounding of the
// distance itself.
int stepsClear(float d, vec3 q) {
    float stepBound = 0.0101 + 2e-7 * (abs(q.x) + abs(q.y) + abs(q.z) + 2.0);
    return int(max(d - 0.0011, 0.0) / stepBound);
}

// Rainbow light gathered inside the cube hit at p: from 0.1 past p, fixed
// steps of 0.01 along the ray, each adding a hue that drifts with position and
// time, weighted by the step count, until a step lands within 0.001 of a
// surface (the far face), which adds a flash that fades with the walk; at
// most 128 steps.
vec3 cubeGlow(vec3 p, vec3 ray) {
    // First the step that lands on a surface. The distance is looked at only
    // where a surface can be, and a cell's cube is made once on entering it;
    // the steps in between are still taken one by one, so every point is the
    // very one the plain walk reaches (a software rasteriser would otherwise
    // pay for the whole distance at all 128 steps).
    vec3 start = p + 0.1 * ray;
    vec3 q = start;
    int hit = 128;
    int i = 0;
    while (hit == 128 && i < 128) {
        Cell cell = cellAt(q);
        while (i < 128 && inCell(q, cell)) {
            float d = abs(cellDistance(q, cell));
            if (d < 0.001) {
                hit = i;
                break;
            }
            int next = min(i + 1 + min(stepsClear(d, q), stepsInCell(q, ray, cell)), 128);
            for (; i < next; i++) q += 0.01 * ray;
        }
    }

    // Then the light of the steps before it, summed in the walk's order.
    vec3 glow = vec3(0.0);
    q = start;
    for (int j = 0; j < hit; j++) {
        q += 0.01 * ray;
        glow += 0.01 * float(j) * hsv_to_rgb(q.x + q.y + q.z + 2.0 * sequence_time).rgb / 128.0;
    }
    if (hit < 128) glow += 0.5 * (1.0 - float(hit) / 128.0);
    return glow;
}
