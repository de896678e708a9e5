// Timeline step: Sequence choice, sequence time and camera interpolation
// between the key frames of the current Sequence.
#include "driver/timeline.h"

#include "data/timetable.h"
#include "runtime/math.h"

namespace {

// 1/60 as the float the sequence time is scaled by.
constexpr float kSecondsPerFrame = 0.016666668f;

void copyKey(int32_t key, Camera& camera) {
    camera.position[0] = kCameraKeys.positionX[key];
    camera.position[1] = kCameraKeys.positionY[key];
    camera.position[2] = kCameraKeys.positionZ[key];
    camera.rotation[0] = kCameraKeys.rotationX[key];
    camera.rotation[1] = kCameraKeys.rotationY[key];
    camera.rotation[2] = kCameraKeys.rotationZ[key];
    camera.rotation[3] = kCameraKeys.rotationW[key];
    camera.fov = kCameraKeys.fov[key];
}

// Camera between two keys at fraction s of the way from `previous` to `next`.
void blendKeys(int32_t previous, int32_t next, float s, Camera& camera) {
    const float* positions[3] = {kCameraKeys.positionX, kCameraKeys.positionY, kCameraKeys.positionZ};
    for (int i = 0; i < 3; ++i) {
        camera.position[i] = positions[i][previous] * (1.0f - s) + positions[i][next] * s;
    }
    const float a[4] = {kCameraKeys.rotationX[previous], kCameraKeys.rotationY[previous],
                        kCameraKeys.rotationZ[previous], kCameraKeys.rotationW[previous]};
    const float b[4] = {kCameraKeys.rotationX[next], kCameraKeys.rotationY[next],
                        kCameraKeys.rotationZ[next], kCameraKeys.rotationW[next]};
    blendRotation(a, b, s, camera.rotation);
    camera.fov = kCameraKeys.fov[next] * s + kCameraKeys.fov[previous] * (1.0f - s);
}

// Places the camera from the keys of `sequence` at local frame `local`.
// With no key the camera keeps its reset pose and its field of view.
void placeCamera(int32_t sequence, uint16_t local, Camera& camera) {
    const int32_t first = kSequences.firstKey[sequence];
    const int32_t count = kSequences.keyCount[sequence];
    if (count == 0) return;
    if (count == 1) {
        copyKey(first, camera);
        return;
    }
    int32_t previous = -1;
    int32_t next = -1;
    for (int32_t key = first; key < first + count; ++key) {
        if (kCameraKeys.frame[key] > local) {
            next = key;
            break;
        }
        previous = key;
    }
    if (previous < 0) {
        copyKey(next, camera);  // before the first key
    } else if (next < 0) {
        copyKey(previous, camera);  // at or past the last key: hold still
    } else {
        const float s = float(int32_t(local) - int32_t(kCameraKeys.frame[previous])) /
                        float(int32_t(kCameraKeys.frame[next]) - int32_t(kCameraKeys.frame[previous]));
        blendKeys(previous, next, s, camera);
    }
}

}  // namespace

void initTimeline(Timeline& timeline) {
    timeline.sequence = 0;
    timeline.frame = 0;
    timeline.sequenceTime = 0.0f;
    timeline.camera = Camera{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f};
}

uint16_t frameNumber(float clock) {
    const float frames = clock * 60.0f;
    // Floats from 2^63 up are multiples of 2^16, so their value modulo 2^16 is 0.
    if (!(frames > 0.0f) || frames >= 9223372036854775808.0f) return 0;
    return uint16_t(uint64_t(int64_t(frames)));
}

void stepTimeline(Timeline& timeline, float clock) {
    const uint16_t frame = frameNumber(clock);
    timeline.frame = frame;

    // One step per frame at most: after a stall the index catches up gradually.
    int32_t sequence = timeline.sequence;
    if (sequence + 1 <= kLastSequence && kSequences.start[sequence + 1] <= frame) ++sequence;
    timeline.sequence = sequence;

    const int32_t sinceStart = int32_t(frame) - int32_t(kSequences.start[sequence]);
    timeline.sequenceTime = float(sinceStart) * kSecondsPerFrame;

    Camera& camera = timeline.camera;
    for (float& p : camera.position) p = 0.0f;
    camera.rotation[0] = camera.rotation[1] = camera.rotation[2] = 0.0f;
    camera.rotation[3] = 1.0f;
    placeCamera(sequence, uint16_t(sinceStart), camera);
}

bool sceneVisible(const Timeline& timeline) {
    const uint32_t end = uint32_t(kSequences.start[timeline.sequence]) + kSequences.duration[timeline.sequence];
    return timeline.frame <= end;
}

int32_t sceneProgramOf(const Timeline& timeline) {
    return kSequences.sceneProgram[timeline.sequence];
}

void blendRotation(const float a[4], const float b[4], float s, float out[4]) {
    const float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    float r[4];
    for (int i = 0; i < 4; ++i) {
        // With a negative dot, -b is the nearer of the two equal rotations.
        r[i] = dot < 0.0f ? a[i] - (a[i] + b[i]) * s : a[i] + (b[i] - a[i]) * s;
    }
    const float scale = 1.0f / squareRoot(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    for (int i = 0; i < 4; ++i) out[i] = r[i] * scale;
}

void sceneUniforms(const Timeline& timeline, float clock, SceneUniform out[kSceneUniformCount]) {
    const Camera& camera = timeline.camera;
    auto floats = [](const char* name, int32_t n, float x, float y = 0.0f, float z = 0.0f, float w = 0.0f) {
        return SceneUniform{name, n, {x, y, z, w}, 0};
    };
    auto integer = [](const char* name, int32_t value) {
        return SceneUniform{name, 0, {0.0f, 0.0f, 0.0f, 0.0f}, value};
    };
    out[0] = floats("track_time", 1, clock);
    out[1] = floats("sequence_time", 1, timeline.sequenceTime);
    out[2] = integer("sequence_id", timeline.sequence);
    out[3] = floats("xy_scale_factor", 1, kAspectRatio);
    out[4] = floats("cam_position", 3, camera.position[0], camera.position[1], camera.position[2]);
    out[5] = floats("cam_rotation", 4, camera.rotation[0], camera.rotation[1], camera.rotation[2],
                    camera.rotation[3]);
    out[6] = floats("cam_fov", 1, camera.fov);
    // Texture units: the two note-activity textures on 0 and 1, the caption
    // and icon images on 2 and 3.
    out[7] = integer("notes_velocity", 0);
    out[8] = integer("max_notes_velocity", 1);
    out[9] = integer("frites", 2);
    out[10] = integer("prout", 3);
}
