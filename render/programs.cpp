// Program building and the tables of the show's programs and their texts.
#include "render/programs.h"

#include <GL/glext.h>

#include "data/timetable.h"
#include "render/gl_entry_points.h"
#include "runtime/memory.h"
#include "shaders/shader_sources.h"

GLuint copyProgram = 0;
GLuint loadingProgram = 0;
GLuint scenePrograms[kSceneProgramCount] = {};

const char* const kQuadVertexSource = kShader_quad_vert;

const char* const kSceneSources[kSceneProgramCount] = {
    kShader_flag_frag, kShader_cube_frag,      kShader_lattice_frag,   kShader_tubes_frag,
    kShader_note_grid_frag, kShader_icon_frag, kShader_cube_grid_frag,
};

const char* const sceneSourcePrefixes[kSceneProgramCount] = {};

namespace {

// The timetable names each Sequence's scene program; this table only turns
// that slot number into the place where loadPrograms stores the program id.
// kSequences is constant-initialised, so it is ready before this runs.
const GLuint* sceneProgramSlot(int32_t sequence) {
    const int32_t slot = kSequences.sceneProgram[sequence];
    return slot >= 0 && slot < kSceneProgramCount ? &scenePrograms[slot] : nullptr;
}

// Compiles one shader and attaches it; the shader object is kept for good.
void attachShader(GLuint program, GLenum stage, const char* source) {
    GLuint shader = glEntry.glCreateShader(stage);
    glEntry.glShaderSource(shader, 1, &source, nullptr);
    glEntry.glCompileShader(shader);
    glEntry.glAttachShader(program, shader);
}

// Length of the source's opening "#version" line with its newline; 0 when
// the source does not start with one.
uint32_t versionLineLength(const char* source) {
    static const char kVersion[] = "#version";
    const uint32_t versionLength = sizeof(kVersion) - 1;
    if (stringLength(source) < versionLength || !bytesEqual(source, kVersion, versionLength)) return 0;
    uint32_t length = versionLength;
    while (source[length] != '\0' && source[length] != '\n') ++length;
    return source[length] == '\n' ? length + 1 : length;
}

}  // namespace

static_assert(kSequenceProgramSlots == kSequenceSlots);
const GLuint* const sequencePrograms[kSequenceProgramSlots] = {
    sceneProgramSlot(0), sceneProgramSlot(1), sceneProgramSlot(2), sceneProgramSlot(3),
    sceneProgramSlot(4), sceneProgramSlot(5), sceneProgramSlot(6), sceneProgramSlot(7),
    sceneProgramSlot(8), sceneProgramSlot(9), sceneProgramSlot(10), sceneProgramSlot(11),
};

GLuint buildProgram(const char* vertexSource, const char* fragmentSource) {
    // A text that could not be made (no memory for joinSource) gives no
    // program (0), rather than GL reading through null.
    if (vertexSource == nullptr || fragmentSource == nullptr) return 0;
    GLuint program = glEntry.glCreateProgram();
    attachShader(program, GL_VERTEX_SHADER, vertexSource);
    attachShader(program, GL_FRAGMENT_SHADER, fragmentSource);
    glEntry.glLinkProgram(program);
    return program;
}

char* joinSource(const char* prefix, const char* source) {
    uint32_t prefixLength = prefix ? stringLength(prefix) : 0;
    uint32_t sourceLength = stringLength(source);
    uint32_t size = prefixLength + sourceLength + 1;
    char* text = static_cast<char*>(allocate(size));
    if (text == nullptr) return nullptr;  // no memory: no text, and no program from it
    fillBytes(text, 0, size);
    // GLSL takes nothing but comments and blanks before #version, so a
    // prefix such as "#define frozen" goes in right after that line.
    const uint32_t head = versionLineLength(source);
    copyBytes(text, source, head);
    if (prefix) copyChars(text + head, prefix);
    copyChars(text + head + prefixLength, source + head);
    return text;
}
