// Loading the GlEntryPoints table by name, slot by slot, and checking that
// every slot the show calls was found.
#include "render/gl_entry_points.h"

#include <cstddef>

#include "runtime/memory.h"

GlEntryPoints glEntry;

namespace {

struct Slot {
    const char* name;
    size_t offset;  // of the member inside GlEntryPoints
    bool called;    // false for the four slots the show never calls
};

#define INTRO_GL_SLOT(member, called) {#member, offsetof(GlEntryPoints, member), called}

constexpr Slot kSlots[kGlEntryPointCount] = {
    INTRO_GL_SLOT(glGenBuffers, true),
    INTRO_GL_SLOT(glBindBuffer, true),
    INTRO_GL_SLOT(glBufferData, true),
    INTRO_GL_SLOT(glBufferSubData, true),
    INTRO_GL_SLOT(glCreateShaderProgramv, false),
    INTRO_GL_SLOT(glUseProgram, true),
    INTRO_GL_SLOT(glUniform1i, true),
    INTRO_GL_SLOT(glCreateProgram, true),
    INTRO_GL_SLOT(glCreateShader, true),
    INTRO_GL_SLOT(glShaderSource, true),
    INTRO_GL_SLOT(glCompileShader, true),
    INTRO_GL_SLOT(glAttachShader, true),
    INTRO_GL_SLOT(glLinkProgram, true),
    INTRO_GL_SLOT(glBindFramebuffer, true),
    INTRO_GL_SLOT(glBindRenderbuffer, true),
    INTRO_GL_SLOT(glRenderbufferStorage, true),
    INTRO_GL_SLOT(glGenRenderbuffers, true),
    INTRO_GL_SLOT(glFramebufferTexture2D, true),
    INTRO_GL_SLOT(glFramebufferRenderbuffer, true),
    INTRO_GL_SLOT(glGenFramebuffers, true),
    INTRO_GL_SLOT(glUniform2f, false),
    INTRO_GL_SLOT(glActiveTexture, true),
    INTRO_GL_SLOT(glGetUniformLocation, true),
    INTRO_GL_SLOT(glUniform1f, true),
    INTRO_GL_SLOT(glUniform3f, true),
    INTRO_GL_SLOT(glUniform4f, true),
    INTRO_GL_SLOT(glGetShaderiv, false),
    INTRO_GL_SLOT(glGetShaderInfoLog, false),
};

#undef INTRO_GL_SLOT

// Every member is one plain function pointer, so slots can be addressed by
// byte offset; loader results are object pointers of the same size.
static_assert(sizeof(GlEntryPoints) == kGlEntryPointCount * sizeof(void*));
static_assert(sizeof(PFNGLUSEPROGRAMPROC) == sizeof(void*));

uint8_t* slotBytes(GlEntryPoints& table, int32_t index) {
    return reinterpret_cast<uint8_t*>(&table) + kSlots[index].offset;
}

}  // namespace

const char* glEntryPointName(int32_t index) {
    return kSlots[index].name;
}

void* glEntryPointAddress(const GlEntryPoints& table, int32_t index) {
    void* address;
    copyBytes(&address, reinterpret_cast<const uint8_t*>(&table) + kSlots[index].offset,
              sizeof(address));
    return address;
}

void loadGlEntryPoints(GlEntryPoints& table, GlProcLoader load) {
    for (int32_t i = 0; i < kGlEntryPointCount; ++i) {
        void* address = load(kSlots[i].name);
        copyBytes(slotBytes(table, i), &address, sizeof(address));
    }
}

const char* missingGlEntryPoint(const GlEntryPoints& table) {
    for (int32_t i = 0; i < kGlEntryPointCount; ++i)
        if (kSlots[i].called && glEntryPointAddress(table, i) == nullptr) return kSlots[i].name;
    return nullptr;
}
