#version 120
// Loading screen: a white frame of half-size 0.8 x 0.1 (line width 0.02) and a
// bar inside it whose left edge stays at -0.78 while its right edge moves to
// -0.78 + 1.56 * percent; white on black, anti-aliased over about one pixel.
varying vec2 coords;
uniform float xy_scale_factor;
uniform float percent;

// Distance-like measure to a box of half-size b centred on the origin.
float sdbox(vec2 p, vec2 b) {
    return max(abs(p.x) - b.x, abs(p.y) - b.y);
}

void main() {
    // x spans +-16/9 across the screen, y spans +-1.
    vec2 p = vec2(coords.x * xy_scale_factor, coords.y);
    const float s = 0.02;
    float frame = abs(sdbox(p, vec2(0.8, 0.1))) - s * 0.5;
    float fill = sdbox(p + vec2((0.8 - s) * (1.0 - percent), 0.0),
                       vec2((0.8 - s) * percent, 0.1 - s));
    float w = length(fwidth(p));
    float coverage = smoothstep(w, -w, min(frame, fill));
    gl_FragColor = vec4(vec3(coverage), 1.0);
}
