// The shared rig of the picture tests.
#include "scene_support.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "render/scene_draw.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

Frame readFrame(int32_t width, int32_t height) {
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.rgba.resize(size_t(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    return frame;
}

// One offscreen target per frame size, kept for the whole test program.
RenderTarget& targetOfSize(int32_t width, int32_t height) {
    static std::map<std::pair<int32_t, int32_t>, std::unique_ptr<RenderTarget>> targets;
    auto& slot = targets[{width, height}];
    if (!slot) slot = std::make_unique<RenderTarget>(width, height);
    return *slot;
}

void readLoadingFrame(int32_t, void* user) {
    static_cast<SceneRig*>(user)->loadingFrames.push_back(readFrame(kLoadingWidth, kLoadingHeight));
}

void setFloat(GLuint program, const char* name, float value) {
    glEntry.glUniform1f(glEntry.glGetUniformLocation(program, name), value);
}
void setInt(GLuint program, const char* name, int value) {
    glEntry.glUniform1i(glEntry.glGetUniformLocation(program, name), value);
}

}  // namespace

const uint8_t* Frame::atCoords(float cx, float cy) const {
    int32_t x = int32_t((cx * 0.5f + 0.5f) * float(width));
    int32_t y = int32_t((cy * 0.5f + 0.5f) * float(height));
    x = x < 0 ? 0 : (x >= width ? width - 1 : x);
    y = y < 0 ? 0 : (y >= height ? height - 1 : y);
    return at(x, y);
}

SceneRig* sceneRig() {
    static SceneRig* rig = nullptr;
    static bool tried = false;
    if (tried) {
        if (!rig) ADD_FAILURE() << "the display could not be opened";
        return rig;
    }
    tried = true;
    auto* made = new SceneRig;
    made->display = openDisplay({.hidden = true, .width = kLoadingWidth, .height = kLoadingHeight});
    if (made->display.failure) {
        ADD_FAILURE() << made->display.failure;
        return nullptr;
    }
    made->notesVelocity.create(128, kTestInstruments, made->notes, GL_R32F, GL_RED, GL_FLOAT);
    made->maxNotesVelocity.create(1, kTestInstruments, made->maxNotes, GL_R32F, GL_RED, GL_FLOAT);
    createQuad();
    // The loading frames go into an offscreen target of the window's size.
    RenderTarget& target = targetOfSize(kLoadingWidth, kLoadingHeight);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, kLoadingWidth, kLoadingHeight);
    loadPrograms(made->display, readLoadingFrame, made);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    rig = made;
    return rig;
}

void uploadNotes(SceneRig& rig) {
    rig.notesVelocity.update(rig.notes);
    rig.maxNotesVelocity.update(rig.maxNotes);
}

Frame renderScene(SceneRig& rig, uint32_t program, const SceneState& state, int32_t width, int32_t height) {
    RenderTarget& target = targetOfSize(width, height);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glEntry.glUseProgram(program);
    setFloat(program, "track_time", state.trackTime);
    setFloat(program, "sequence_time", state.sequenceTime);
    setInt(program, "sequence_id", 0);
    setFloat(program, "xy_scale_factor", 1.7777778f);
    glEntry.glUniform3f(glEntry.glGetUniformLocation(program, "cam_position"), state.camPosition[0],
                        state.camPosition[1], state.camPosition[2]);
    glEntry.glUniform4f(glEntry.glGetUniformLocation(program, "cam_rotation"), state.camRotation[0],
                        state.camRotation[1], state.camRotation[2], state.camRotation[3]);
    setFloat(program, "cam_fov", state.camFov);
    setInt(program, "notes_velocity", 0);
    setInt(program, "max_notes_velocity", 1);
    setInt(program, "frites", 2);
    setInt(program, "prout", 3);

    drawScene(program, rig.notesVelocity, rig.maxNotesVelocity);
    glFinish();
    Frame frame = readFrame(width, height);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return frame;
}

int32_t largestCheckValue(SceneRig& rig, const char* sceneSource, const char* checkMain, int32_t width,
                          int32_t height) {
    std::string source = sceneSource;
    const size_t main = source.find("void main()");
    if (main == std::string::npos) {
        ADD_FAILURE() << "the scene source has no main";
        return -1;
    }
    source.replace(main, 11, "void sceneMain()");
    source += checkMain;
    const GLuint program = buildProgram(kQuadVertexSource, source.c_str());
    char log[8192];
    if (!programBuiltCleanly(program, log, sizeof(log))) {
        ADD_FAILURE() << log;
        return -1;
    }
    const Frame frame = renderScene(rig, program, SceneState{}, width, height);
    int32_t largest = 0;
    for (size_t i = 0; i < frame.rgba.size(); i += 4) largest = std::max<int32_t>(largest, frame.rgba[i]);
    return largest;
}

std::string savePng(const Frame& frame, const std::string& name) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/intro_" + name + ".png";
    // As the screen shows it: the picture's alpha plays no part there.
    std::vector<uint8_t> opaque = frame.rgba;
    for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
    stbi_flip_vertically_on_write(1);
    stbi_write_png(path.c_str(), frame.width, frame.height, 4, opaque.data(), frame.width * 4);
    return path;
}
