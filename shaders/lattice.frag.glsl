#version 120
// Scene: a ball of radius 1.4 filled, through a sphere inversion, with an
// endless 4D lattice of rotating rippled crosses, lit by a light at its
// centre; stars outside, a glow around the centre, and a wavy band that
// inverts the colours under the white of the caption image.
// Define `frozen` (after the #version line) for the cold, slow constant set.
#include "lib/scene_interface.glsl"

const float PI = 3.14159265359;

#ifdef frozen
const vec3 sunCol = vec3(0.1, 0.55, 0.9) * 9.0;
const vec3 subCol = vec3(0.5, 0.8, 0.9) * 5.5;
const float sunRadius = 4.0;
const float sunExponent = -80.0;
const float timeScale = 0.003;
const float timeOffset = 150.0;
#else
const vec3 sunCol = vec3(0.9, 0.55, 0.1) * 9.0;
const vec3 subCol = vec3(0.5, 0.8, 0.9) * 0.5;
const float sunRadius = 5.0;
const float sunExponent = -100.0;
const float timeScale = 1.0;
const float timeOffset = 0.0;
#endif

const vec3 albedo = vec3(0.98, 0.8, 0.5);
const float roughness = 0.4;
const float metallic = 0.01;

// Dithered animation time of this pixel, read by the distance functions.
float time;

#include "lib/rotate.glsl"
#include "lib/sd_box.glsl"

// 2x2 ordered-dither index, 0..3.
float B2(vec2 P) {
    return mod(2.0 * P.y + P.x + 1.0, 4.0);
}

// 8x8 ordered-dither index: every 8x8 cell holds each of 0..63 once.
float B8(vec2 P) {
    return 4.0 * (4.0 * B2(mod(P, 2.0)) + B2(floor(0.5 * mod(P, 4.0)))) + B2(floor(0.25 * mod(P, 8.0)));
}

// The six lattice rotations depend on the dithered time only, so they are made
// once per pixel instead of in each of the ~160 distance evaluations. The
// picture is the same either way; on Mesa's software rasteriser so is the draw
// time, and a GPU is spared the repeated sin and cos.
mat2 rotZW, rotXZ, rotWY, rotYZ, rotXY, rotWZ;

void prepareRotations() {
    rotZW = rot(0.148 * time);
    rotXZ = rot(0.241 * time);
    rotWY = rot(0.187 * time);
    rotYZ = rot(0.258 * time);
    rotXY = rot(0.4782 * time);
    rotWZ = rot(0.3478 * time);
}

// Polynomial minimum of two distances, blending over a width of k.
float smin(float d1, float d2, float k) {
    float h = clamp(0.5 + (0.5 / k) * (d2 - d1), 0.0, 1.0);
    return mix(d2, d1, h) - k * h * (1.0 - h);
}

// sin(x) for the ripple's arguments (a few tens of radians at most): x
// less the nearest whole number n of half turns, u = x - n pi in [-pi/2,
// pi/2] (pi in two parts, the first with few enough bits that n times it and
// the difference are exact), then sin(x) = (-1)^n sin(u), with sin(u) from an
// odd polynomial of degree 7 fitted to stay within 6e-7 of it over the whole
// half turn: the ripple moves by 7e-8 at most, far below the march's 0.001.
// The built-in sine reduces over any range and costs several times as much on
// a software rasteriser, and the march takes eight sines in each of its up to
// 150 steps.
float rippleSin(float x) {
    float n = floor(x * 0.31830988618 + 0.5);
    float u = (x - n * 3.140625) - n * 9.67653589793e-4;
    float u2 = u * u;
    float s = u * (0.99999661591 + u2 * (-0.16664828382 + u2 * (0.0083063252266 - u2 * 1.8363653963e-4)));
    // fract(n / 2) is 0 for even n, 1/2 for odd: s or -s.
    return s - 4.0 * fract(0.5 * n) * s;
}

// Fine surface ripple, 0.03 deep.
float ripple(vec4 q) {
    return 0.03 * rippleSin(10.0 * q.x) * rippleSin(14.0 * q.y) * rippleSin(12.0 * q.z) * rippleSin(18.0 * q.w);
}

// Three thin rippled bars turning through 4D, smoothly joined into a cross.
float cross4D(vec4 q) {
    q.yz *= rotYZ;
    float a = sdBox(q.xyz, vec3(0.03, 0.03, 0.2)) + ripple(q);
    q.xy *= rotXY;
    float b = sdBox(q.wyx, vec3(0.03, 0.03, 0.3)) + ripple(q);
    q.wz *= rotWZ;
    float e = sdBox(q.zwy, vec3(0.03, 0.03, 0.4)) + ripple(q);
    return smin(smin(a, b, 0.05), e, 0.05);
}

// Distance in the rotating, drifting 4D lattice of crosses; alternate unit
// cells are mirrored so that neighbouring crosses meet seamlessly.
float de4d(vec4 q) {
    q.zw *= rotZW;
    q.xz *= rotXZ;
    q.wy *= rotWY;
    q.x += 3.687 * time;
    q.y -= 0.37454 * time;
    vec4 g = (fract(q) - 0.5) * (mod(floor(q), 2.0) * 2.0 - 1.0);
    return cross4D(g);
}

// Scene distance: the lattice seen through the inversion p -> (p / |p|^2,
// |p|^2), inside a containing sphere of radius 1.5. One division where p / r2
// would make three (a division is slow on a software rasteriser); smin
// multiplies by 0.5 / k for the same reason.
float de(vec3 p) {
    float r2 = dot(p, p);
    float d = de4d(vec4(p * (1.0 / r2), r2)) * r2;
    return min(d, 1.5 - length(p));
}

// Surface gradient by central differences, 0.001 apart.
vec3 getNormal(vec3 p) {
    const vec2 e = vec2(0.001, 0.0);
    return normalize(vec3(de(p + e.xyy) - de(p - e.xyy),
                          de(p + e.yxy) - de(p - e.yxy),
                          de(p + e.yyx) - de(p - e.yyx)));
}

// Three pseudo-random numbers in [0, 1) from a 3D point.
vec3 hash33(vec3 p) {
    p = fract(p * vec3(0.1031, 0.1030, 0.0973));
    p += dot(p, p.yxz + 33.33);
    return fract((p.xxy + p.yxx) * p.zyx);
}

// Cellular jitter: the normal `no` tilted by a random amount per cell of a
// jittered 3D grid, blended across cell borders. The tilt fades out where a
// cell is smaller than about two pixels.
vec3 voronoi(vec3 x, vec3 no) {
    vec3 centre = floor(x) + 0.5;
    float nearest = 9e9;
    float second = 9e9;
    vec3 nearestPoint = vec3(0.0);
    vec3 secondPoint = vec3(0.0);
    for (int i = 0; i < 2; i++) {
        for (int j = 0; j < 2; j++) {
            for (int k = 0; k < 2; k++) {
                vec3 y = centre + vec3(float(i), float(j), float(k)) - 0.5;
                y += (hash33(y) - 0.5) * 0.5;
                vec3 delta = y - x;
                float d2 = dot(delta, delta);
                if (d2 < nearest) {
                    second = nearest;
                    secondPoint = nearestPoint;
                    nearest = d2;
                    nearestPoint = y;
                } else if (d2 < second) {
                    second = d2;
                    secondPoint = y;
                }
            }
        }
    }
    float f = max(0.0, 1.0 - max(length(dFdx(x)), length(dFdy(x))) / 2.0);
    // With no = 0 the result does not depend on f's size, but f = 0 would
    // normalise a zero vector: keep it just above 0 (a tilt of 1e-6 at most).
    f = max(f * f, 1e-6);
    vec3 nA = normalize(no + (hash33(nearestPoint) - 0.5) * 1.5 * f);
    vec3 nB = normalize(no + (hash33(secondPoint) - 0.5) * 1.5 * f);
    float d = sqrt(nearest) - sqrt(second);
    // Keep the blend edges apart where d does not change across the pixel.
    float w = max(fwidth(d), 1e-6);
    return mix(nA, nB, smoothstep(-w, w, 2.0 * d));
}

// Microfacet normal distribution (GGX / Trowbridge-Reitz).
float DistributionGGX(vec3 N, vec3 H, float r) {
    float a2 = r * r * r * r;
    float x = max(dot(N, H), 0.0);
    float denom = x * x * (a2 - 1.0) + 1.0;
    return a2 / (PI * denom * denom);
}

// Schlick-GGX masking of one direction.
float GeometrySchlickGGX(float x, float r) {
    float k = (r + 1.0) * (r + 1.0) / 8.0;
    return x / (x * (1.0 - k) + k);
}

// Masking and shadowing for view and light together.
float GeometrySmith(vec3 N, vec3 V, vec3 L, float r) {
    return GeometrySchlickGGX(max(dot(N, V), 0.0), r) * GeometrySchlickGGX(max(dot(N, L), 0.0), r);
}

// Schlick's Fresnel approximation.
vec3 fresnelSchlick(float x, vec3 F0) {
    return F0 + (1.0 - F0) * pow(1.0 - x, 5.0);
}

// Diffuse plus microfacet specular light from direction l.
vec3 computeLighting(vec3 n, vec3 v, vec3 alb, float metal, float r, vec3 l, vec3 radiance) {
    vec3 h = normalize(v + l);
    vec3 F0 = mix(vec3(0.04), alb, metal);
    vec3 F = fresnelSchlick(max(dot(h, v), 0.0), F0);
    vec3 kD = (1.0 - F) * (1.0 - metal);
    vec3 specular = DistributionGGX(n, h, r) * GeometrySmith(n, v, l, r) * F /
                    max(4.0 * max(dot(n, v), 0.0) * max(dot(n, l), 0.0), 0.001);
    return (kD * alb / PI + specular) * radiance * max(dot(n, l), 0.0);
}

// Light passing through thin material, strongest where the march ended early
// (small index) and when looking towards the light.
vec3 computeSSS(vec3 n, vec3 v, vec3 alb, float trans, float index, vec3 l, vec3 radiance) {
    float facing = 0.5 * dot(v, n) + 0.5;
    return pow(1.0 - index, 16.0) * facing * facing * (0.5 - 0.5 * dot(v, l)) * radiance * trans * alb;
}

// Error function, Abramowitz-Stegun style approximation.
float erf(float x) {
    float t = 1.0 / (1.0 + 0.47047 * abs(x));
    return sign(x) * (1.0 - t * (0.3480242 + t * (-0.0958798 + t * 0.7478556)) * exp(-x * x));
}

// Integral of exp(sunRadius + sunExponent * |s + u d|^2) for u from 0 to L
// (d a unit vector), times 500: the glow of the central light along a ray.
float getIntegral(vec3 s, vec3 d, float L) {
    float a = sunExponent;
    float b = sunRadius;
    float sd = s.x * d.x + s.y * d.y + s.z * d.z;
    float perp2 = s.x * s.x + s.y * s.y + s.z * s.z - sd * sd;
    float k = sqrt(-a);
    return sqrt(PI) * exp(b + a * perp2) * (erf(k * (sd + L)) - erf(k * sd)) / (2.0 * k) * 500.0;
}

void main() {
    vec2 uv = vec2(coords.x * xy_scale_factor, coords.y);

    float bay = B8(floor((coords * 2.0 - 1.0) * vec2(1920.0, 1080.0))) / 64.0;
    time = ((sequence_time - timeOffset / timeScale) + bay / 120.0) * timeScale;
    prepareRotations();

    vec3 origin = cam_position;
    vec3 direction = rotate_dir(cam_rotation, normalize(vec3(uv.x, uv.y, 2.0 * cam_fov)));

    // Dithered start hides the banding of the 0.7 under-relaxed march.
    float totdist = 0.1 + pow(bay, 0.2) * 0.4;
    totdist += de(origin + direction * totdist) * bay;

    float ao = 0.0;
    for (int i = 0; i < 150; i++) {
        vec3 p = origin + totdist * direction;
        float dist = de(p);
        totdist += 0.7 * dist;
        if (dist < 0.001 || length(p) > 1.4) {
            ao = float(i) / 150.0;
            break;
        }
    }

    vec3 p = origin + totdist * direction;
    vec3 colour;
    if (length(p) < 1.4) {
        vec3 n = -getNormal(p);
        vec3 sunDir = normalize(p);
        vec3 subDir = normalize(vec3(2.0, -7.0, 3.0));
        vec3 vor = voronoi(600.0 * p, n);
        n = normalize(n + 0.5 * vor);
        colour = computeLighting(n, direction, albedo, metallic, roughness, sunDir, sunCol)
               + computeLighting(n, direction, albedo, metallic, roughness, subDir, subCol)
               + computeSSS(n, direction, albedo, 0.4, ao, sunDir, sunCol)
               + computeSSS(n, direction, albedo, 0.4, ao, subDir, subCol);
    } else {
        vec3 vor = voronoi(800.0 * direction, vec3(0.0));
        colour = vec3(pow(abs(vor.x), 500.0) * 3.0);
    }

    colour += 0.01 * getIntegral(origin, direction, totdist) * sunCol;
    colour = pow(0.6 * colour, vec3(1.0 / 2.2));

    vec2 puv = uv;
    puv.y += sin(track_time + uv.x);
    if (abs(puv.x) < 1.25 && abs(puv.y) < 0.5) {
        colour = mix(colour, 1.0 - colour, texture2D(frites, vec2(0.4 * uv.x + 0.5, uv.y + 0.5)).r);
    }

    gl_FragColor = vec4(colour, 1.0);
}
