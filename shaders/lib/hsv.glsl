// Hue to colour, for the rainbow tints of the scenes.

// Fully saturated, full-value colour of hue h (one turn per unit).
vec4 hsv_to_rgb(float h) {
    float hh = mod(6.0 * h, 6.0);
    float x = 1.0 - abs(mod(hh, 2.0) - 1.0);
    vec3 c;
    if (hh < 1.0) c = vec3(1.0, x, 0.0);
    else if (hh < 2.0) c = vec3(x, 1.0, 0.0);
    else if (hh < 3.0) c = vec3(0.0, 1.0, x);
    else if (hh < 4.0) c = vec3(0.0, x, 1.0);
    else if (hh < 5.0) c = vec3(x, 0.0, 1.0);
    else c = vec3(1.0, 0.0, x);
    return vec4(c, 1.0);
}
