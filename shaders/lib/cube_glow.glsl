// The cube field's inner glow, shared by its single-cube and grid programs.
// The scene supplies map(p), an exact distance to the nearest cube surface
// within one cell, and sameCell(a, b), whether a and b lie in one cell (map
// may jump between cells).

// How many 0.01 steps along the unit vector `ray` from q, at distance d from
// any surface, surely stay 0.001 or more away from it: within a cell map
// changes by at most the distance moved, a step moves 0.01 plus a float
// rounding that grows with |q|, and 1e-4 covers the rounding of map itself.
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
    // First the step that lands on a surface. map is looked at only where a
    // surface can be; the steps in between are still taken one by one, so
    // every point is the very one the plain walk reaches (a software
    // rasteriser pays for map at all 128 steps otherwise).
    vec3 start = p + 0.1 * ray;
    vec3 q = start;
    int hit = 128;
    int i = 0;
    while (i < 128) {
        float d = abs(map(q));
        if (d < 0.001) {
            hit = i;
            break;
        }
        int next = min(i + 1 + stepsClear(d, q), 128);
        vec3 checked = q;
        do {
            q += 0.01 * ray;
            i++;
        } while (i < next && sameCell(q, checked));
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
