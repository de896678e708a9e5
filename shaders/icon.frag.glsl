#version 120
// Scene: the icon image in a small rectangle in the middle of the screen
// (|x| < 0.1, |y| < 0.2 of the screen), fading out over the show's last five
// seconds; its transparent ground stays black.
#include "lib/scene_interface.glsl"

void main() {
    vec2 uv = coords * 0.5 + 0.5;
    uv.x *= 2.0;
    uv *= 5.0;
    uv -= vec2(4.5, 2.0);
    vec4 colour = vec4(0.0);
    if (uv.x > 0.0 && uv.x < 1.0 && uv.y > 0.0 && uv.y < 1.0) colour = texture2D(prout, uv);
    // Premultiplied by the image's alpha, then faded as a whole, so the
    // picture is at half strength half-way through the fade (112.5 s).
    float fade = 1.0 - smoothstep(110.0, 115.0, track_time);
    gl_FragColor = vec4(colour.rgb * colour.a, colour.a) * fade;
}
