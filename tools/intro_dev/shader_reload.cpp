// Rebuilding scene programs from their files, keeping the last good one.
// Deleting a replaced program needs an entry point the show never calls.
#define GL_GLEXT_PROTOTYPES 1
#include "tools/intro_dev/shader_reload.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

namespace {

// Builds slot `slot` from its text; on success the new program takes the
// slot (and the old one is deleted), otherwise the old one stays. True when
// the new one took it.
bool rebuild(ShaderReload& reload, int slot) {
    static char report[16384];
    bool clean = true;
    const GLuint program =
        buildCheckedProgram(kQuadVertexSource, reload.texts[slot].text.c_str(), &clean, report, sizeof(report));
    if (clean) {
        if (scenePrograms[slot] != 0) glDeleteProgram(scenePrograms[slot]);
        scenePrograms[slot] = program;
        reload.errors[slot].clear();
        return true;
    }
    if (program != 0) glDeleteProgram(program);
    reload.errors[slot] = report;
    std::fprintf(stderr, "intro_dev: the %s program did not build; the last good one stays:\n%s",
                 kSceneProgramNames[slot], report);
    return false;
}

// Reads slot `slot`'s text again; false (with the error kept) when it cannot.
bool reread(ShaderReload& reload, int slot) {
    std::string error;
    ShaderText text;
    if (!readShaderText(reload.folder, kSceneFiles[slot], text, error)) {
        reload.errors[slot] = error + "\n";
        std::fprintf(stderr, "intro_dev: %s\n", error.c_str());
        return false;
    }
    reload.texts[slot] = text;
    return true;
}

}  // namespace

void openShaderReload(ShaderReload& reload, const std::string& folder) {
    reload.folder = folder;
    for (int slot = 0; slot < kSceneProgramCount; ++slot) {
        reload.texts[slot].files = {kSceneFiles[slot]};
        if (reread(reload, slot) && reload.texts[slot].text != kSceneSources[slot]) rebuild(reload, slot);
    }
}

int reloadShaderFile(ShaderReload& reload, const std::string& file, int* built) {
    int rebuilt = 0;
    *built = 0;
    for (int slot = 0; slot < kSceneProgramCount; ++slot) {
        bool uses = false;
        for (const std::string& part : reload.texts[slot].files) uses = uses || part == file;
        if (!uses) continue;
        ++rebuilt;
        if (reread(reload, slot) && rebuild(reload, slot)) ++*built;
    }
    return rebuilt;
}

std::string shaderErrors(const ShaderReload& reload) {
    std::string all;
    for (int slot = 0; slot < kSceneProgramCount; ++slot) {
        std::string error = reload.errors[slot];
        while (!error.empty() && error.back() == '\n') error.pop_back();
        if (!error.empty())
            all += std::string(all.empty() ? "" : "\n") + "the " + kSceneProgramNames[slot] +
                   " program keeps its last good build:\n" + error;
    }
    return all;
}
