// The inputs every scene program gets: the screen position from quad.vert and
// the uniforms the timeline sets for each frame (times in seconds, camera,
// note textures on units 0 and 1, caption and icon images on units 2 and 3).
varying vec2 coords;
uniform float track_time;
uniform float sequence_time;
uniform float xy_scale_factor;
uniform vec3 cam_position;
uniform vec4 cam_rotation;
uniform float cam_fov;
uniform sampler2D notes_velocity;
uniform sampler2D max_notes_velocity;
uniform sampler2D frites;
uniform sampler2D prout;
