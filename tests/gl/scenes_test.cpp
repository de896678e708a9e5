// The scene programs drawn small on Mesa and compared with the same formulas
// computed on the CPU where a scene is simple enough (flag, note grid, icon),
// and checked for what is robust where it is ray-marched (cube field, tubes).
// Every frame is also written to /tmp as intro_<name>.png to be looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include <GL/gl.h>
#include <GL/glext.h>

#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/programs.h"
#include "render/program_check.h"
#include "render/render_target.h"
#include "scene_support.h"
#include "shaders/shader_sources.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 90;

// Screen point of a pixel centre in coords units.
float coordOf(int32_t pixel, int32_t size) {
    return (float(pixel) + 0.5f) / float(size) * 2.0f - 1.0f;
}

// How many pixels are lit (any channel above `level`).
int32_t litPixels(const Frame& frame, int32_t level = 8) {
    int32_t count = 0;
    for (int32_t i = 0; i < frame.width * frame.height; i++) {
        const uint8_t* p = &frame.rgba[size_t(i) * 4];
        if (p[0] > level || p[1] > level || p[2] > level) count++;
    }
    return count;
}

struct Rgba8 {
    double r, g, b, a;
};

// The flag at one screen point, in double precision; `margin` reports how far
// the displaced x lies from the nearest band edge.
Rgba8 flagAt(double cx, double cy, double time, double* margin) {
    double x = cx * 1.7777778, y = cy;
    double d = -x + 0.3 * y - std::exp(x - 1.0) + std::exp(-y);
    double a = std::fmod(5.0 * time * 1.05 + d * 3.0, 4.0 * 3.14159265359);
    if (a < 0) a += 4.0 * 3.14159265359;
    x += std::cos(a) * 0.03;
    *margin = std::min(std::fabs(x + 0.666), std::fabs(x - 0.6666));
    Rgba8 c = x < -0.666 ? Rgba8{0.1, 0.1, 0.1, 1.0}
              : x < 0.6666 ? Rgba8{1.0, 233.0 / 255.0, 54.0 / 255.0, 1.0}
                           : Rgba8{1.0, 15.0 / 255.0, 33.0 / 255.0, 1.0};
    double shade = 0.75 - 0.25 * std::sin(a - 0.3);
    return {c.r * shade, c.g * shade, c.b * shade, c.a * shade};
}

}  // namespace

TEST(FlagScene, BandsAndShadingMatchTheFormula) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    for (float time : {0.0f, 1.37f, 3.2f}) {
        SceneState state;
        state.sequenceTime = time;
        Frame frame = renderScene(*rig, scenePrograms[0], state, kWidth, kHeight);
        savePng(frame, "flag_" + std::to_string(int(time * 100)));
        int32_t compared = 0;
        int32_t bands[3] = {0, 0, 0};
        for (int32_t y = 0; y < kHeight; y++) {
            for (int32_t x = 0; x < kWidth; x++) {
                double margin = 0.0;
                Rgba8 want = flagAt(coordOf(x, kWidth), coordOf(y, kHeight), time, &margin);
                // Right at a band edge float rounding may pick either band.
                if (margin < 0.005) continue;
                const uint8_t* got = frame.at(x, y);
                const double wanted[4] = {want.r, want.g, want.b, want.a};
                for (int32_t c = 0; c < 4; c++)
                    ASSERT_NEAR(got[c], wanted[c] * 255.0, 1.6) << "pixel " << x << "," << y << " channel " << c
                                                                 << " time " << time;
                compared++;
                bands[want.r < 0.5 ? 0 : (want.g > want.b * 3.0 ? 1 : 2)]++;
            }
        }
        EXPECT_GT(compared, kWidth * kHeight * 9 / 10);
        // All three bands are on screen, the middle one the widest.
        EXPECT_GT(bands[0], 500);
        EXPECT_GT(bands[2], 500);
        EXPECT_GT(bands[1], bands[0]);
    }
}

TEST(NoteGridScene, EachCellShowsItsNoteVelocity) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // A pattern in which neighbouring cells differ, so a shifted or blurred
    // lookup shows.
    for (int32_t inst = 0; inst < kTestInstruments; inst++)
        for (int32_t note = 0; note < 128; note++)
            rig->notes[inst * 128 + note] = float((note * 7 + inst * 13) % 17) / 16.0f;
    uploadNotes(*rig);
    // Two pixels per note column, nine rows per instrument.
    const int32_t width = 256;
    Frame frame = renderScene(*rig, scenePrograms[4], SceneState{}, width, kHeight);
    savePng(frame, "note_grid");
    for (int32_t y = 0; y < kHeight; y++) {
        int32_t inst = y * kTestInstruments / kHeight;
        for (int32_t x = 0; x < width; x++) {
            float want = rig->notes[inst * 128 + x / 2] * 255.0f;
            const uint8_t* got = frame.at(x, y);
            ASSERT_NEAR(got[0], want, 1.0f) << "pixel " << x << "," << y;
            ASSERT_EQ(got[0], got[1]);
            ASSERT_EQ(got[0], got[2]);
            ASSERT_EQ(got[3], 255);
        }
    }
    for (float& v : rig->notes) v = 0.0f;
    uploadNotes(*rig);
}

TEST(NoteGridScene, OneInstrumentFillsTheScreenWithOneRow) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    float row[128];
    for (int32_t note = 0; note < 128; note++) row[note] = float(note % 5) / 4.0f;
    DataTexture single;
    single.create(128, 1, row, GL_R32F, GL_RED, GL_FLOAT);
    DataTexture maxima;
    float one = 1.0f;
    maxima.create(1, 1, &one, GL_R32F, GL_RED, GL_FLOAT);
    std::swap(single.texture, rig->notesVelocity.texture);
    Frame frame = renderScene(*rig, scenePrograms[4], SceneState{}, 256, 20);
    std::swap(single.texture, rig->notesVelocity.texture);
    for (int32_t y = 0; y < 20; y++)
        for (int32_t x = 0; x < 256; x++)
            ASSERT_NEAR(frame.at(x, y)[0], row[x / 2] * 255.0f, 1.0f) << "pixel " << x << "," << y;
}

TEST(IconScene, ShowsTheIconInTheMiddleAndFadesOutOverTheLastFiveSeconds) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // 1600 x 900 / 5: the icon's rectangle is 32 x 36 pixels.
    const int32_t width = 320, height = 180;
    SceneState state;
    state.trackTime = 100.0f;
    Frame full = renderScene(*rig, scenePrograms[5], state, width, height);
    state.trackTime = 112.5f;
    Frame half = renderScene(*rig, scenePrograms[5], state, width, height);
    state.trackTime = 115.0f;
    Frame gone = renderScene(*rig, scenePrograms[5], state, width, height);
    savePng(full, "icon_full");
    savePng(half, "icon_half");

    int32_t inside = 0, brightInside = 0;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            float cx = coordOf(x, width), cy = coordOf(y, height);
            bool inRect = std::fabs(cx) < 0.1f && std::fabs(cy) < 0.2f;
            const uint8_t* f = full.at(x, y);
            const uint8_t* h = half.at(x, y);
            for (int32_t c = 0; c < 4; c++) {
                ASSERT_EQ(gone.at(x, y)[c], 0) << "pixel " << x << "," << y;
                ASSERT_NEAR(h[c], f[c] * 0.5f, 1.0f) << "pixel " << x << "," << y << " channel " << c;
                if (!inRect) {
                    ASSERT_EQ(f[c], 0) << "pixel " << x << "," << y;
                }
            }
            if (inRect) {
                inside++;
                if (f[0] + f[1] + f[2] > 300) brightInside++;
            }
        }
    }
    EXPECT_EQ(inside, 32 * 36);
    EXPECT_GT(brightInside, inside / 3);
    // The icon stands on a transparent ground: its rectangle's corners are black.
    EXPECT_EQ(full.atCoords(-0.099f, -0.199f)[0], 0);
    EXPECT_EQ(full.atCoords(0.099f, 0.199f)[1], 0);
}

TEST(CubeFieldScene, OneCubeWithTheIconUntil26_8ThenAGrid) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // Camera 5 units in front of the cube, looking straight at a face (the
    // cube is unrotated at sequence time 0).
    SceneState state;
    state.camPosition[2] = -5.0f;
    state.camFov = 1.0472f;
    // The single cube's program draws Sequence 2, the grid's Sequence 3.
    auto at = [&](float trackTime, uint32_t program) {
        state.trackTime = trackTime;
        return renderScene(*rig, program, state, kWidth, kHeight);
    };
    Frame withIcon = at(26.79f, scenePrograms[1]);
    Frame exactly = at(26.8f, scenePrograms[1]);
    Frame grid = at(26.81f, scenePrograms[6]);
    savePng(withIcon, "cube_field_icon");
    savePng(exactly, "cube_field_26_8");
    savePng(grid, "cube_field_grid");

    // The single cube: lit in the middle, black (a miss) in the corners.
    EXPECT_GT(exactly.atCoords(0.0f, 0.0f)[0] + exactly.atCoords(0.0f, 0.0f)[1], 20);
    EXPECT_EQ(exactly.atCoords(-0.95f, -0.95f)[0], 0);
    EXPECT_EQ(exactly.atCoords(0.95f, 0.95f)[2], 0);
    // The icon shows on the front face only strictly before 26.8 s.
    int32_t differ = 0;
    for (size_t i = 0; i < withIcon.rgba.size(); i++)
        if (std::abs(int(withIcon.rgba[i]) - int(exactly.rgba[i])) > 20) differ++;
    EXPECT_GT(differ, 100);
    // The grid repeats the cubes and fills far more of the picture.
    EXPECT_GT(litPixels(grid), 2 * litPixels(exactly));
    EXPECT_NE(grid.atCoords(-0.95f, -0.95f)[0] + grid.atCoords(0.95f, 0.95f)[0], 0);
    EXPECT_EQ(sequencePrograms[2], &scenePrograms[1]);
    EXPECT_EQ(sequencePrograms[3], &scenePrograms[6]);
}

namespace {

// The inner glow walked the plain way: map at every one of the 128 steps,
// step i at start + i * 0.01 ray, and the hue of every step added in turn.
const char kPlainGlow[] = R"glsl(
vec3 plainGlow(vec3 p, vec3 ray) {
    vec3 glow = vec3(0.0);
    vec3 start = p + 0.1 * ray;
    for (int i = 0; i < 128; i++) {
        vec3 q = start + float(i) * (0.01 * ray);
        if (abs(map(q)) < 0.001) {
            glow += 0.5 * (1.0 - float(i) / 128.0);
            break;
        }
        q = start + float(i + 1) * (0.01 * ray);
        glow += 0.01 * float(i) * hsv_to_rgb(q.x + q.y + q.z + 2.0 * sequence_time).rgb / 128.0;
    }
    return glow;
}
)glsl";

// A cube-field source whose glow is the plain walk instead of the skipping one.
GLuint plainGlowVariant(const char* source) {
    std::string text = source;
    const size_t main = text.find("void main()");
    const size_t call = text.find("cubeGlow(p, ray)");
    EXPECT_NE(main, std::string::npos);
    EXPECT_NE(call, std::string::npos);
    if (main == std::string::npos || call == std::string::npos) return 0;
    text.replace(call, 8, "plainGlow");
    text.insert(main, kPlainGlow);
    const GLuint program = buildProgram(kQuadVertexSource, text.c_str());
    char log[8192];
    EXPECT_TRUE(programBuiltCleanly(program, log, sizeof(log))) << log;
    return program;
}

// Pixels whose largest channel difference exceeds `tolerance`.
int32_t pixelsApart(const Frame& a, const Frame& b, int32_t tolerance) {
    int32_t count = 0;
    for (int32_t i = 0; i < a.width * a.height; i++)
        for (int32_t c = 0; c < 3; c++)
            if (std::abs(int(a.rgba[size_t(i) * 4 + c]) - int(b.rgba[size_t(i) * 4 + c])) > tolerance) {
                count++;
                break;
            }
    return count;
}

}  // namespace

// The glow looks at the distance only where a far face can be and skips the
// steps in between, and sums the hues a run of steps at a time; the picture
// must be the plain walk's, flashes included (the same step must be hit), in
// the single cube and across the grid's cell borders. The sums differ by
// float rounding only: one unit of 255 at most.
TEST(CubeFieldScene, SkippingGlowEqualsThePlainWalk) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    const GLuint plainCube = plainGlowVariant(kShader_cube_frag);
    const GLuint plainGrid = plainGlowVariant(kShader_cube_grid_frag);
    ASSERT_NE(plainCube, 0u);
    ASSERT_NE(plainGrid, 0u);
    // Loud notes push the grid's cubes about, some across their cell borders.
    for (int32_t i = 0; i < kTestInstruments; i++) rig->maxNotes[i] = float(i % 4) * 0.4f;
    uploadNotes(*rig);
    struct View {
        float position[3];
        float rotation[4];
        float sequenceTime;
    };
    const View views[] = {
        {{0.0f, 0.0f, -5.0f}, {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f},
        {{0.5f, -0.3f, -3.5f}, {0.05f, 0.1f, 0.0f, 0.9937f}, 2.7f},
        {{2.18797f, 0.0879004f, 1.98521f}, {-0.0137136f, 0.171556f, 0.00411153f, 0.985069f}, 6.1f},
        {{32.3374f, 5.31246f, 2.01698f}, {-0.233725f, 0.301956f, 0.0599599f, 0.922275f}, 11.4f},
    };
    int32_t flashes = 0;
    for (const View& view : views) {
        SceneState state;
        std::copy(view.position, view.position + 3, state.camPosition);
        std::copy(view.rotation, view.rotation + 4, state.camRotation);
        state.sequenceTime = view.sequenceTime;
        state.trackTime = 10.0f;
        const Frame cube = renderScene(*rig, scenePrograms[1], state, kWidth, kHeight);
        const Frame cubePlain = renderScene(*rig, plainCube, state, kWidth, kHeight);
        EXPECT_EQ(pixelsApart(cube, cubePlain, 1), 0) << "single cube, time " << view.sequenceTime;
        state.trackTime = 30.0f;
        const Frame grid = renderScene(*rig, scenePrograms[6], state, kWidth, kHeight);
        const Frame gridPlain = renderScene(*rig, plainGrid, state, kWidth, kHeight);
        EXPECT_EQ(pixelsApart(grid, gridPlain, 1), 0) << "grid, time " << view.sequenceTime;
        flashes += litPixels(grid, 120);
    }
    // The far-face flash (the bright part) is on screen, so it is compared too.
    EXPECT_GT(flashes, 100);
    for (float& v : rig->maxNotes) v = 0.0f;
    uploadNotes(*rig);
}

namespace {

// The grid's source with its main renamed and one that draws, for the cell
// ids of a slab of cells around the origin (negative ones too), how far the
// grid's note read is from the peak texture read the filtered way at the
// row the grid addresses, (k + 1/2) / 10, and at its mirror image: 1.0 for
// 1e-4.
const char kNoteReadCheckMain[] = R"glsl(
float filteredNotes(vec3 id) {
    vec2 tex = vec2(0.5, (floor(id.x - id.y + id.z) + 0.5) / 10.0);
    return textureLod(max_notes_velocity, tex, 0.0).r + textureLod(max_notes_velocity, 1.0 - tex, 0.0).r;
}

void main() {
    vec3 id = floor(vec3(24.0 * coords.x, 13.0 * coords.y, 5.0 * coords.x * coords.y - 2.0));
    gl_FragColor = vec4(vec3(clamp(abs(sampleNotes(id) - filteredNotes(id)) * 1e4, 0.0, 1.0)), 1.0);
}
)glsl";

}  // namespace

// The grid reads a cell's two peak rows as texels; they must be the rows a
// filtered read at row k and at its mirror 9 - k picks (the texture repeats,
// so k is taken modulo 10, negative cells included).
TEST(CubeFieldScene, GridReadsTheNoteRowsOfTheFilteredRead) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // Loudness growing with the square of the row: a row and its mirror sum
    // to a different value for each pair (a linear ramp would give every pair
    // the same sum and hide a wrong row).
    for (int32_t i = 0; i < kTestInstruments; i++) rig->maxNotes[i] = 0.02f + 0.01f * float(i * i);
    uploadNotes(*rig);
    const int32_t largest = largestCheckValue(*rig, kShader_cube_grid_frag, kNoteReadCheckMain, kWidth, kHeight);
    // One unit: 4e-7, the rounding of the filtered read's row position.
    EXPECT_LE(largest, 1);
    for (float& v : rig->maxNotes) v = 0.0f;
    uploadNotes(*rig);
}

TEST(TubesScene, HitsAreLitAndMissesBlack) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    SceneState state;
    state.sequenceTime = 2.0f;
    // First camera key of the first tubes Sequence.
    const float position[3] = {2.21647f, -0.0906532f, 1.6879f};
    const float rotation[4] = {-0.0192679f, -0.878997f, -0.0480013f, 0.474011f};
    for (int i = 0; i < 3; i++) state.camPosition[i] = position[i];
    for (int i = 0; i < 4; i++) state.camRotation[i] = rotation[i];
    Frame frame = renderScene(*rig, scenePrograms[3], state, kWidth, kHeight);
    savePng(frame, "tubes");
    int32_t lit = litPixels(frame, 20);
    EXPECT_GT(lit, kWidth * kHeight / 20);
    EXPECT_LT(lit, kWidth * kHeight * 19 / 20);
    // A camera far away looking into empty space sees nothing at all.
    state.camPosition[0] = 100.0f;
    state.camRotation[0] = state.camRotation[1] = state.camRotation[2] = 0.0f;
    state.camRotation[3] = 1.0f;
    EXPECT_EQ(litPixels(renderScene(*rig, scenePrograms[3], state, kWidth, kHeight), 0), 0);
}

TEST(CopyProgram, PutsAPictureOnTheScreenUnchangedAndOpaque) {
    SceneRig* rig = sceneRig();
    ASSERT_NE(rig, nullptr);
    // The flag has alpha below 1 almost everywhere: a good picture to copy.
    SceneState state;
    state.sequenceTime = 0.8f;
    Frame source = renderScene(*rig, scenePrograms[0], state, kWidth, kHeight);
    RenderTarget picture(kWidth, kHeight);
    glBindTexture(GL_TEXTURE_2D, picture.colorTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, source.rgba.data());

    // Same size, so every pixel samples its own texel centre.
    RenderTarget screen(kWidth, kHeight);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, screen.framebuffer);
    glViewport(0, 0, kWidth, kHeight);
    glEntry.glUseProgram(copyProgram);
    glEntry.glUniform1i(glEntry.glGetUniformLocation(copyProgram, "texture"), 0);
    glEntry.glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, picture.colorTexture);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    drawQuad();
    glEntry.glUseProgram(0);
    std::vector<uint8_t> copied(size_t(kWidth) * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, copied.data());
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);

    int32_t translucent = 0;
    for (int32_t i = 0; i < kWidth * kHeight; i++) {
        for (int32_t c = 0; c < 3; c++) ASSERT_EQ(copied[i * 4 + c], source.rgba[i * 4 + c]) << "pixel " << i;
        ASSERT_EQ(copied[i * 4 + 3], 255) << "pixel " << i;
        translucent += source.rgba[i * 4 + 3] < 250;
    }
    EXPECT_GT(translucent, kWidth * kHeight / 2);
}
