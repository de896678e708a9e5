// Shared by the GL tests of the pictures: one hidden display with every
// program built, offscreen frames of any size, scene uniforms set by name as
// the frame loop does, and PNG dumps for a person to look at.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "render/data_texture.h"
#include "render/display.h"

// RGBA bytes, row 0 at the bottom as GL reads them.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* at(int32_t x, int32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
    // Pixel nearest to a point of the screen in coords units (-1..1 both ways).
    const uint8_t* atCoords(float cx, float cy) const;
};

// The uniform values of one scene frame (sequence_id and the samplers are set
// as the frame loop sets them).
struct SceneState {
    float trackTime = 0.0f;
    float sequenceTime = 0.0f;
    float camPosition[3] = {0.0f, 0.0f, 0.0f};
    float camRotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float camFov = 1.0472f;
};

constexpr int32_t kTestInstruments = 10;

// Everything a scene needs, made once per test program: the display, the
// note textures (fed from the two arrays below), the quad and all programs.
struct SceneRig {
    Display display;
    DataTexture notesVelocity;
    DataTexture maxNotesVelocity;
    float notes[kTestInstruments * 128] = {};
    float maxNotes[kTestInstruments] = {};
    // The six loading frames, read back before each swap.
    std::vector<Frame> loadingFrames;
};

// The rig, opened (with loading frames of loadingWidth x loadingHeight) on
// first use; null with a test failure when the display cannot open.
SceneRig* sceneRig();
constexpr int32_t kLoadingWidth = 320;
constexpr int32_t kLoadingHeight = 180;

// Uploads rig.notes and rig.maxNotes to the textures.
void uploadNotes(SceneRig& rig);
// Clears and draws `program` into an offscreen target of the given size with
// the state's uniforms, and reads the picture back.
Frame renderScene(SceneRig& rig, uint32_t program, const SceneState& state, int32_t width, int32_t height);
// Draws a scene's fragment source with its main renamed sceneMain and
// `checkMain` appended (a main that draws a measurement into the red
// channel, from the scene's own functions), and returns the largest red
// value of the picture; -1, with a test failure, when the source has no main
// or the program does not build cleanly.
int32_t largestCheckValue(SceneRig& rig, const char* sceneSource, const char* checkMain, int32_t width,
                          int32_t height);
// Writes the frame, made opaque as on the screen, as a PNG (top row first)
// under $TMPDIR or /tmp, named intro_<name>.png, and returns the path.
std::string savePng(const Frame& frame, const std::string& name);
