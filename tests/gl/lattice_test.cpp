// The inverted-lattice scene on Mesa: it builds, its warm and frozen colour
// sets look warm and cold, and frames of its three Sequences go to PNG files
// for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "driver/timeline.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "scene_support.h"
#include "shaders/shader_sources.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 90;

// The lattice source with `#define symbol` placed right after its #version line.
std::string withDefine(const char* symbol) {
    std::string source = kShader_lattice_frag;
    const size_t lineEnd = source.find('\n');
    return source.substr(0, lineEnd + 1) + "#define " + symbol + "\n" + source.substr(lineEnd + 1);
}

GLuint buildVariant(const char* symbol) {
    const std::string source = withDefine(symbol);
    const GLuint program = buildProgram(kQuadVertexSource, source.c_str());
    char log[8192];
    EXPECT_TRUE(programBuiltCleanly(program, log, sizeof(log))) << symbol << ":\n" << log;
    return program;
}

// Uniform values of the show at frame `frame`, reached one frame at a time.
SceneState stateAtFrame(int32_t frame) {
    Timeline timeline;
    initTimeline(timeline);
    float clock = 0.0f;
    for (int32_t f = 0; f <= frame; ++f) {
        clock = (float(f) + 0.5f) / 60.0f;
        stepTimeline(timeline, clock);
    }
    SceneState state;
    state.trackTime = clock;
    state.sequenceTime = timeline.sequenceTime;
    std::copy(timeline.camera.position, timeline.camera.position + 3, state.camPosition);
    std::copy(timeline.camera.rotation, timeline.camera.rotation + 4, state.camRotation);
    state.camFov = timeline.camera.fov;
    return state;
}

struct Means {
    double red = 0, green = 0, blue = 0;
};

Means meanColour(const Frame& frame) {
    Means m;
    const size_t pixels = size_t(frame.width) * frame.height;
    for (size_t i = 0; i < pixels; ++i) {
        m.red += frame.rgba[i * 4];
        m.green += frame.rgba[i * 4 + 1];
        m.blue += frame.rgba[i * 4 + 2];
    }
    m.red /= double(pixels);
    m.green /= double(pixels);
    m.blue /= double(pixels);
    return m;
}

// Frames inside Sequences 7, 8 and 9, a third of the way through each.
constexpr int32_t kSampleFrames[] = {3622 + 173, 4141 + 158, 6071 + 200};

}  // namespace

TEST(Lattice, WarmProgramBuildsAndDrawsAWarmPictureWithDetail) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    char log[8192];
    ASSERT_TRUE(programBuiltCleanly(scenePrograms[2], log, sizeof(log))) << log;
    for (int32_t frameNumber : kSampleFrames) {
        const Frame frame = renderScene(*rig, scenePrograms[2], stateAtFrame(frameNumber), kWidth, kHeight);
        const std::string path = savePng(frame, "lattice_" + std::to_string(frameNumber));
        const Means m = meanColour(frame);
        EXPECT_GT(m.red, m.blue) << path;
        // Neither black nor washed out: lit surfaces, dark gaps and the glow.
        int32_t dark = 0, bright = 0;
        for (size_t i = 0; i < frame.rgba.size(); i += 4) {
            const int luma = frame.rgba[i] + frame.rgba[i + 1] + frame.rgba[i + 2];
            dark += luma < 90;
            bright += luma > 450;
        }
        EXPECT_GT(dark, kWidth * kHeight / 50) << path;
        EXPECT_GT(bright, kWidth * kHeight / 200) << path;
    }
}

TEST(Lattice, FrozenSetIsColdAndNearlyStill) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    const GLuint frozen = buildVariant("frozen");
    SceneState state = stateAtFrame(kSampleFrames[1]);
    const Frame first = renderScene(*rig, frozen, state, kWidth, kHeight);
    savePng(first, "lattice_frozen");
    const Means m = meanColour(first);
    EXPECT_GT(m.blue, m.red);
    // A tenth of a second later the frozen lattice has moved 0.3 ms of its time.
    state.sequenceTime += 0.1f;
    const Frame later = renderScene(*rig, frozen, state, kWidth, kHeight);
    int32_t changed = 0;
    for (size_t i = 0; i < first.rgba.size(); ++i) changed += std::abs(first.rgba[i] - later.rgba[i]) > 8;
    EXPECT_LT(changed, int32_t(first.rgba.size() / 100));
}

namespace {

// The lattice source with its main renamed and one that draws, for x across
// the picture (-20..20 radians, the reach of the ripple's arguments), the
// difference between the ripple's own sine and the built-in sin, 1.0 for 5e-6.
const char kSineCheckMain[] = R"glsl(
void main() {
    float x = 20.0 * coords.x + 0.37 * coords.y;
    gl_FragColor = vec4(vec3(clamp(abs(rippleSin(x) - sin(x)) * 2e5, 0.0, 1.0)), 1.0);
}
)glsl";

}  // namespace

// The ripple takes its sines from a short polynomial after cutting x into
// half turns; over the whole range the march feeds it, in both halves of each
// turn and on both sides of zero, it must agree with the built-in sine within
// the error of the fit and float rounding.
TEST(Lattice, RippleSineMatchesTheBuiltIn) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    const int32_t largest = largestCheckValue(*rig, kShader_lattice_frag, kSineCheckMain, 400, 4);
    // 50 units: 1e-6, the fit's 6e-7 and a few float roundings of numbers
    // near 1 (a plain x / pi reduction is already 1.5e-6 off at 20 radians).
    EXPECT_LE(largest, 50);
}
