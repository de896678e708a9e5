// Rotations: of a direction by a quaternion, and of a plane by an angle.

// v rotated by the unit quaternion q = (x, y, z, w).
vec3 rotate_dir(vec4 q, vec3 v) {
    return v + 2.0 * cross(q.xyz, cross(q.xyz, v) + q.w * v);
}

// Rotation by a for row vectors: p.xy *= rot(a) turns (x, y) counter-clockwise.
// The same matrix as cos(a + pi/2 * (0, 1, 3, 0)) laid out column by column.
mat2 rot(float a) {
    float c = cos(a);
    float s = sin(a);
    return mat2(c, -s, s, c);
}
