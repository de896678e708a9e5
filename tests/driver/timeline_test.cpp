// Timeline: Sequence advance, draw windows over the whole show, sequence time,
// camera keys and their interpolation, and the uniform list.
#include <gtest/gtest.h>

#include <cmath>

#include "data/timetable.h"
#include "driver/timeline.h"

namespace {

// A clock in the middle of frame f, so that truncation lands on f.
float clockOf(int32_t frame) { return (float(frame) + 0.5f) / 60.0f; }

// Runs the show one frame at a time from frame 0 up to and including `last`.
Timeline runTo(int32_t last) {
    Timeline timeline;
    initTimeline(timeline);
    for (int32_t f = 0; f <= last; ++f) stepTimeline(timeline, clockOf(f));
    return timeline;
}

void expectCameraIsKey(const Camera& camera, int32_t key) {
    EXPECT_EQ(camera.position[0], kCameraKeys.positionX[key]);
    EXPECT_EQ(camera.position[1], kCameraKeys.positionY[key]);
    EXPECT_EQ(camera.position[2], kCameraKeys.positionZ[key]);
    EXPECT_EQ(camera.fov, kCameraKeys.fov[key]);
    const float rotation[4] = {kCameraKeys.rotationX[key], kCameraKeys.rotationY[key],
                               kCameraKeys.rotationZ[key], kCameraKeys.rotationW[key]};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(camera.rotation[i], rotation[i], 2e-7f) << i;
}

void expectResetPose(const Camera& camera) {
    EXPECT_EQ(camera.position[0], 0.0f);
    EXPECT_EQ(camera.position[1], 0.0f);
    EXPECT_EQ(camera.position[2], 0.0f);
    EXPECT_EQ(camera.rotation[0], 0.0f);
    EXPECT_EQ(camera.rotation[1], 0.0f);
    EXPECT_EQ(camera.rotation[2], 0.0f);
    EXPECT_EQ(camera.rotation[3], 1.0f);
}

}  // namespace

TEST(FrameNumber, TruncatesSixtiethsOfTheClock) {
    EXPECT_EQ(frameNumber(0.0f), 0);
    EXPECT_EQ(frameNumber(0.016f), 0);
    EXPECT_EQ(frameNumber(10.5f), 630);
    EXPECT_EQ(frameNumber(std::nextafter(10.5f, 0.0f)), 629);
    EXPECT_EQ(frameNumber(115.0f), 6900);
    // Kept modulo 2^16: 1100 s is 66,000 frames.
    EXPECT_EQ(frameNumber(1100.0f), 66000 - 65536);
    EXPECT_EQ(frameNumber(1e30f), 0);
}

TEST(Timeline, FrameZeroShowsSequenceZeroBeforeItsStart) {
    Timeline timeline;
    initTimeline(timeline);
    stepTimeline(timeline, 0.0f);
    EXPECT_EQ(timeline.frame, 0);
    EXPECT_EQ(timeline.sequence, 0);
    EXPECT_EQ(timeline.sequenceTime, -3.0500002f);
    expectResetPose(timeline.camera);
    EXPECT_EQ(timeline.camera.fov, 0.0f);
    EXPECT_TRUE(sceneVisible(timeline));
    EXPECT_EQ(sceneProgramOf(timeline), 5);
}

TEST(Timeline, Frame630EntersSequenceTwoOnItsFirstKey) {
    Timeline timeline = runTo(629);
    EXPECT_EQ(timeline.sequence, 1);
    stepTimeline(timeline, 10.5f);
    EXPECT_EQ(timeline.frame, 630);
    EXPECT_EQ(timeline.sequence, 2);
    EXPECT_EQ(timeline.sequenceTime, 0.0f);
    // Local frame 0 lies before key 0 (frame 2): the camera is that key.
    expectCameraIsKey(timeline.camera, 0);
    EXPECT_EQ(sceneProgramOf(timeline), 1);
}

TEST(Timeline, LocalFrameOnAKeyTakesThatKeyAndMovesOnTheNextFrame) {
    // Sequence 7 starts at 3622; its key 12 sits at local frame 300.
    Timeline timeline = runTo(3622 + 300);
    ASSERT_EQ(timeline.sequence, 7);
    expectCameraIsKey(timeline.camera, 12);
    stepTimeline(timeline, clockOf(3622 + 301));
    EXPECT_NE(timeline.camera.position[0], kCameraKeys.positionX[12]);
    EXPECT_NE(timeline.camera.rotation[1], kCameraKeys.rotationY[12]);
}

TEST(Timeline, InterpolatesPositionAndFovBetweenTwoKeys) {
    // Sequence 4 (start 2654) at local frame 474: keys 5 and 6, s = 474/475.
    Timeline timeline = runTo(3128);
    ASSERT_EQ(timeline.sequence, 4);
    const double s = 474.0 / 475.0;
    const Camera& camera = timeline.camera;
    EXPECT_NEAR(camera.position[0], kCameraKeys.positionX[5] * (1 - s) + kCameraKeys.positionX[6] * s, 1e-6);
    EXPECT_NEAR(camera.position[2], kCameraKeys.positionZ[5] * (1 - s) + kCameraKeys.positionZ[6] * s, 1e-6);
    EXPECT_NEAR(camera.fov, kCameraKeys.fov[5] * (1 - s) + kCameraKeys.fov[6] * s, 1e-6);
    float length = 0.0f;
    for (float c : camera.rotation) length += c * c;
    EXPECT_NEAR(length, 1.0f, 1e-6f);
    EXPECT_NEAR(camera.rotation[1], kCameraKeys.rotationY[6], 2e-3f);
    // Halfway through, the rotation sits between the two keys' y components.
    Timeline half = runTo(2654 + 237);
    EXPECT_GT(half.camera.rotation[1], kCameraKeys.rotationY[5]);
    EXPECT_LT(half.camera.rotation[1], kCameraKeys.rotationY[6]);
}

TEST(Timeline, PastTheLastKeyTheCameraHoldsStill) {
    // Sequence 2's last key is at local frame 977; the Sequence stays current
    // (drawn black after 1607) until 1637.
    for (int32_t frame : {630 + 977, 630 + 978, 1636}) {
        Timeline timeline = runTo(frame);
        ASSERT_EQ(timeline.sequence, 2);
        expectCameraIsKey(timeline.camera, 2);
    }
}

TEST(Timeline, CatchesUpOneSequencePerFrameAfterAClockJump) {
    Timeline timeline;
    initTimeline(timeline);
    const float clock = clockOf(5000);  // past the starts of Sequences 1 to 8
    for (int32_t expected = 1; expected <= 8; ++expected) {
        stepTimeline(timeline, clock);
        EXPECT_EQ(timeline.sequence, expected);
        EXPECT_EQ(timeline.sequenceTime, float(5000 - kSequences.start[expected]) * 0.016666668f);
    }
    stepTimeline(timeline, clock);
    EXPECT_EQ(timeline.sequence, 8);
    // Sequence 8 holds its last key (local frame 859 > 472).
    expectCameraIsKey(timeline.camera, 17);
}

TEST(Timeline, StopsAtSequenceTenAndKeepsTheFovThere) {
    Timeline timeline;
    initTimeline(timeline);
    for (int i = 0; i < 30; ++i) stepTimeline(timeline, clockOf(65535));
    EXPECT_EQ(timeline.sequence, kLastSequence);
    // Sequence 10 has no key: reset pose, field of view of the last keyed frame.
    expectResetPose(timeline.camera);
    EXPECT_EQ(timeline.camera.fov, kCameraKeys.fov[19]);
    EXPECT_EQ(sceneProgramOf(timeline), 4);
}

TEST(Timeline, WholeShowFollowsTheDrawWindows) {
    struct Span {
        int32_t first, last, sequence;  // sequence -1: black
    };
    const Span spans[] = {
        {0, 246, 0},       {247, 433, -1},    {434, 629, 1},     {630, 1607, 2},
        {1608, 1636, -1},  {1637, 2653, 3},   {2654, 3128, 4},   {3129, 3377, 5},
        {3378, 3583, 6},   {3584, 3621, -1},  {3622, 4140, 7},   {4141, 4614, 8},
        {4615, 6070, -1},  {6071, 6671, 9},   {6672, 6900, -1},
    };
    Timeline timeline;
    initTimeline(timeline);
    int32_t frame = 0;
    for (const Span& span : spans) {
        for (; frame <= span.last; ++frame) {
            stepTimeline(timeline, clockOf(frame));
            ASSERT_EQ(sceneVisible(timeline), span.sequence >= 0) << "frame " << frame;
            if (span.sequence >= 0) {
                ASSERT_EQ(timeline.sequence, span.sequence) << "frame " << frame;
            }
        }
    }
    // The last iteration, at 115.0 s, is still carried out in full: frame
    // 6900, Sequence 9, outside its window, so that frame is black.
    stepTimeline(timeline, 115.0f);
    EXPECT_EQ(timeline.frame, 6900);
    EXPECT_EQ(timeline.sequence, 9);
    EXPECT_FALSE(sceneVisible(timeline));
}

TEST(BlendRotation, NegativeDotHeadsForTheNegatedTarget) {
    const float a[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float b[4] = {0.0f, -0.6f, 0.0f, -0.8f};  // dot = -0.8
    float r[4];
    blendRotation(a, b, 1.0f, r);
    EXPECT_NEAR(r[1], 0.6f, 1e-6f);
    EXPECT_NEAR(r[3], 0.8f, 1e-6f);
    // Halfway: (a - b) / 2 normalised, the short way round.
    blendRotation(a, b, 0.5f, r);
    EXPECT_NEAR(r[1], 0.3f / std::sqrt(0.9f), 1e-6f);
    EXPECT_NEAR(r[3], 0.9f / std::sqrt(0.9f), 1e-6f);
    EXPECT_EQ(r[0], 0.0f);
    EXPECT_EQ(r[2], 0.0f);
    // A dot of exactly 0 takes the plain rule: halfway between a and b.
    const float c[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    blendRotation(a, c, 0.5f, r);
    EXPECT_NEAR(r[0], std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(r[3], std::sqrt(0.5f), 1e-6f);
}

TEST(SceneUniforms, NamesOrderAndValues) {
    Timeline timeline = runTo(630);
    SceneUniform uniforms[kSceneUniformCount];
    sceneUniforms(timeline, 10.52f, uniforms);
    const char* names[kSceneUniformCount] = {"track_time", "sequence_time", "sequence_id", "xy_scale_factor",
                                             "cam_position", "cam_rotation", "cam_fov", "notes_velocity",
                                             "max_notes_velocity", "frites", "prout"};
    const int32_t components[kSceneUniformCount] = {1, 1, 0, 1, 3, 4, 1, 0, 0, 0, 0};
    for (int i = 0; i < kSceneUniformCount; ++i) {
        EXPECT_STREQ(uniforms[i].name, names[i]);
        EXPECT_EQ(uniforms[i].components, components[i]) << names[i];
    }
    EXPECT_EQ(uniforms[0].values[0], 10.52f);
    EXPECT_EQ(uniforms[2].intValue, 2);
    EXPECT_EQ(uniforms[4].values[2], kCameraKeys.positionZ[0]);
    for (int unit = 0; unit < 4; ++unit) EXPECT_EQ(uniforms[7 + unit].intValue, unit);
}
