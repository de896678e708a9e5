// Per-frame timeline step: from the music clock to the current Sequence, the
// time inside it, the interpolated camera and the uniform values of the scene.
// Pure computation; setting the uniforms on a GL program is scene_uniforms.h.
#pragma once
#include <cstdint>

#include "data/timetable.h"
#include "render/presentation.h"  // kPictureAspect

// The last Sequence the index can reach.
constexpr int32_t kLastSequence = kSequenceCount - 1;

struct Camera {
    float position[3];
    float rotation[4];  // unit quaternion (x, y, z, w)
    float fov;          // radians; carries over between frames and Sequences
};

// State carried from frame to frame plus what the last step produced.
struct Timeline {
    int32_t sequence;    // only grows, one step per frame at most, up to 10
    uint16_t frame;      // clock in sixtieths of a second
    float sequenceTime;  // seconds since the Sequence's start frame (may be negative)
    Camera camera;
};

// Sequence 0, camera at the origin looking along +z, field of view 0 (unread
// by the scenes that come before the first keyed Sequence).
void initTimeline(Timeline& timeline);

// Frame number of a clock t >= 0: t * 60 in single precision, truncated,
// kept modulo 2^16.
uint16_t frameNumber(float clock);

// One frame: advance the Sequence by at most one, compute the sequence time
// and the camera. Call only for clocks >= 0.
void stepTimeline(Timeline& timeline, float clock);

// Whether the current Sequence's draw window holds the frame; outside it the
// frame stays black.
bool sceneVisible(const Timeline& timeline);

// Scene program slot (0..6) that draws the current Sequence.
int32_t sceneProgramOf(const Timeline& timeline);

// Normalised linear interpolation of unit quaternions from a to b by s,
// heading for -b when the two lie in opposite hemispheres.
void blendRotation(const float a[4], const float b[4], float s, float out[4]);

// One uniform of the scene interface, in the order the frame loop sets them.
struct SceneUniform {
    const char* name;
    int32_t components;  // 1..4 floats, or 0 for one int
    float values[4];
    int32_t intValue;
};

constexpr int32_t kSceneUniformCount = 11;
// 16:9 as a float.
constexpr float kAspectRatio = kPictureAspect;

// Fills `out` with the eleven uniforms for this frame and clock, in the
// order: track_time, sequence_time, sequence_id, xy_scale_factor,
// cam_position, cam_rotation, cam_fov, notes_velocity, max_notes_velocity,
// frites, prout.
void sceneUniforms(const Timeline& timeline, float clock, SceneUniform out[kSceneUniformCount]);
