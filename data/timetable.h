// The show's timetable: when each Sequence starts, how long it is drawn, which
// scene program draws it, and the camera key frames that steer its camera.
// Plain constant tables, structure of arrays, frames counted at 60 per second.
#pragma once
#include <cstdint>

// Slots 0..10 are the Sequences; slot 11 is an unused zero entry.
constexpr int32_t kSequenceCount = 11;
constexpr int32_t kSequenceSlots = 12;
// Slots 0..19 are used; the rest hold zeros.
constexpr int32_t kCameraKeyCount = 20;
constexpr int32_t kCameraKeySlots = 60;

struct SequenceTable {
    uint16_t start[kSequenceSlots];     // frame at which the Sequence becomes current
    uint16_t firstKey[kSequenceSlots];  // index of its first CameraKey
    uint16_t keyCount[kSequenceSlots];  // number of its CameraKeys (0, 1 or more)
    uint16_t duration[kSequenceSlots];  // draw window length in frames, from start
    int8_t sceneProgram[kSequenceSlots];  // scene program slot 0..6; -1 for the unused slot
};

// A key's frame counts from the start of the Sequence that owns it; the keys
// of one Sequence are contiguous and sorted by frame.
struct CameraKeyTable {
    uint16_t frame[kCameraKeySlots];
    float positionX[kCameraKeySlots];
    float positionY[kCameraKeySlots];
    float positionZ[kCameraKeySlots];
    float rotationX[kCameraKeySlots];  // unit quaternion (x, y, z, w)
    float rotationY[kCameraKeySlots];
    float rotationZ[kCameraKeySlots];
    float rotationW[kCameraKeySlots];
    float fov[kCameraKeySlots];  // radians; the image plane sits at 2 * fov
};

extern const SequenceTable kSequences;
extern const CameraKeyTable kCameraKeys;
