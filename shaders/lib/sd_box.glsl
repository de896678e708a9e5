// Signed distance to a box, for the ray-marched scenes.

// Exact distance to a box of half-size b centred on the origin.
float sdBox(vec3 p, vec3 b) {
    vec3 q = abs(p) - b;
    return length(max(q, 0.0)) + min(max(q.x, max(q.y, q.z)), 0.0);
}
