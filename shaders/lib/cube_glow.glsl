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

// The smaller of two ints: GLSL 1.20, the single cube's version, has min for
// floats only (a strict compiler turns min(int, int) into the float one, whose
// result an int cannot take).
int minInt(int a, int b) {
    return a < b ? a : b;
}

// Rainbow light gathered inside the cube hit at p: from 0.1 past p, fixed
// steps of 0.01 along the ray, each adding a hue that drifts with position and
// time, weighted by the step count, until a step lands within 0.001 of a
// surface (the far face), which adds a flash that fades with the walk; at
// most 128 steps.
vec3 cubeGlow(vec3 p, vec3 ray) {
    // First the step that lands on a surface. Step i is at start + i * 0.01
    // ray, made from start rather than by adding up the steps, so the walk can
    // jump straight to the next step where a surface can be and looks at the
    // distance only there (a software rasteriser would otherwise pay for the
    // whole distance at all 128 steps); a cell's cube is made once on entering
    // it. A cell just made holds q, so the cell test comes after a move.
    vec3 start = p + 0.1 * ray;
    vec3 q = start;
    int hit = 128;
    int i = 0;
    while (hit == 128 && i < 128) {
        Cell cell = cellAt(q);
        for (;;) {
            float d = abs(cellDistance(q, cell));
            if (d < 0.001) {
                hit = i;
                break;
            }
            i = minInt(i + 1 + minInt(stepsClear(d, q), stepsInCell(q, ray, cell)), 128);
            q = start + float(i) * (0.01 * ray);
            if (i >= 128 || !inCell(q, cell)) break;
        }
    }

    // Then the light of the steps before it: step j (0-based) adds
    // 0.01 j / 128 times the hue of the point j + 1 steps from start. The hue
    // grows linearly along the walk, and the colour is linear in the hue
    // within each sixth of a turn, so over a run of steps in one sixth the
    // weighted sum is the weight sum times the colour at the weighted mean
    // hue. The hue moves at most 0.0174 turns a step, so 128 steps make at
    // most 15 runs: this loop replaces the 128 steps of the plain sum.
    float hue0 = 6.0 * (start.x + start.y + start.z + 2.0 * sequence_time);
    float rise = 0.06 * (ray.x + ray.y + ray.z);
    // A nearly flat hue stays in one sixth; keeps the division finite.
    float slope = rise < 0.0 ? min(rise, -1e-7) : max(rise, 1e-7);
    vec3 glow = vec3(0.0);
    int j = 0;
    while (j < hit) {
        float u = hue0 + float(j + 1) * rise;
        float sixth = floor(u);
        // First step past the sixth that holds step j.
        float past = rise < 0.0 ? floor((sixth - hue0) / slope - 1.0) + 1.0 : ceil((sixth + 1.0 - hue0) / slope - 1.0);
        int end = int(clamp(past, float(j + 1), float(hit)));
        float a = float(j), b = float(end);
        float sum1 = 0.5 * (b * (b - 1.0) - a * (a - 1.0));
        float sum2 = ((b - 1.0) * b * (2.0 * b - 1.0) - (a - 1.0) * a * (2.0 * a - 1.0)) / 6.0;
        float mean = sum1 > 0.0 ? sum2 / sum1 : a;
        glow += sum1 * hsv_to_rgb((hue0 + (mean + 1.0) * rise) / 6.0).rgb;
        j = end;
    }
    glow *= 0.01 / 128.0;
    if (hit < 128) glow += 0.5 * (1.0 - float(hit) / 128.0);
    return glow;
}
