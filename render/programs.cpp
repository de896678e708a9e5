// Program building and the tables of the show's programs and their texts.
#include "render/programs.h"

#include <GL/glext.h>

#include <cstdio>

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

const char* const kSceneProgramNames[kSceneProgramCount] = {
    "flag", "cube field", "lattice", "tubes", "note grid", "icon", "cube grid",
};

namespace {

// The timetable names each Sequence's scene program; this table only turns
// that slot number into the place where loadPrograms stores the program id.
// kSequences is constant-initialised, so it is ready before this runs.
const GLuint* sceneProgramSlot(int32_t sequence) {
    const int32_t slot = kSequences.sceneProgram[sequence];
    return slot >= 0 && slot < kSceneProgramCount ? &scenePrograms[slot] : nullptr;
}

// Compiles one shader and attaches it; the shader object is kept for good.
GLuint attachShader(GLuint program, GLenum stage, const char* source) {
    GLuint shader = glEntry.glCreateShader(stage);
    glEntry.glShaderSource(shader, 1, &source, nullptr);
    glEntry.glCompileShader(shader);
    glEntry.glAttachShader(program, shader);
    return shader;
}

// The three objects of one build.
struct ProgramParts {
    GLuint program = 0, vertex = 0, fragment = 0;
};

ProgramParts buildParts(const char* vertexSource, const char* fragmentSource) {
    ProgramParts parts;
    // A text that could not be made (no memory for joinSource) gives no
    // program (0), rather than GL reading through null.
    if (vertexSource == nullptr || fragmentSource == nullptr) return parts;
    parts.program = glEntry.glCreateProgram();
    parts.vertex = attachShader(parts.program, GL_VERTEX_SHADER, vertexSource);
    parts.fragment = attachShader(parts.program, GL_FRAGMENT_SHADER, fragmentSource);
    glEntry.glLinkProgram(parts.program);
    return parts;
}

// Appends `text` to the report at *used, keeping it terminated.
void appendReport(char* report, int32_t capacity, int32_t* used, const char* text) {
    while (*text != '\0' && *used < capacity - 1) report[(*used)++] = *text++;
    report[*used] = '\0';
}

// Appends a failed shader's log, located, after its stage's name. False when
// the shader compiled. Without the two query entry points nothing is known.
bool reportCompile(GLuint shader, const char* stage, char* report, int32_t capacity, int32_t* used) {
    if (glEntry.glGetShaderiv == nullptr || glEntry.glGetShaderInfoLog == nullptr) return false;
    GLint compiled = GL_FALSE;
    glEntry.glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return false;
    static char log[8192];
    log[0] = '\0';
    glEntry.glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
    appendReport(report, capacity, used, stage);
    appendReport(report, capacity, used, " shader did not compile:\n");
    *used += locateShaderLog(log, report + *used, capacity - *used);
    return true;
}

// Reads a decimal number of at most nine digits at `text`; its length, 0
// when there is none.
int32_t readNumber(const char* text, int32_t* value) {
    int32_t n = 0;
    *value = 0;
    while (n < 9 && text[n] >= '0' && text[n] <= '9') *value = *value * 10 + (text[n++] - '0');
    return n;
}

// A log location "<source>:<line>" or "<source>(<line>" at `text` whose line
// number stands for a line of a shader file: that file, its own line and the
// length of the location, with the separator after the source number. False
// for anything else.
bool fileLineAt(const char* text, int32_t* file, int32_t* line, char* separator, int32_t* length) {
    int32_t source = 0, numbered = 0;
    const int32_t sourceDigits = readNumber(text, &source);
    if (sourceDigits == 0 || (text[sourceDigits] != ':' && text[sourceDigits] != '(')) return false;
    const int32_t lineDigits = readNumber(text + sourceDigits + 1, &numbered);
    if (lineDigits == 0) return false;
    const int32_t f = numbered / kShaderLineStride - 1;
    if (f < 0 || f >= kShaderFileCount) return false;
    *file = f;
    *line = numbered % kShaderLineStride;
    *separator = text[sourceDigits];
    *length = sourceDigits + 1 + lineDigits;
    return true;
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
    return buildParts(vertexSource, fragmentSource).program;
}

GLuint buildCheckedProgram(const char* vertexSource, const char* fragmentSource, bool* clean, char* report,
                           int32_t capacity) {
    int32_t used = 0;
    if (capacity > 0) report[0] = '\0';
    const ProgramParts parts = buildParts(vertexSource, fragmentSource);
    if (parts.program == 0) {
        appendReport(report, capacity, &used, "no program text (memory is short)\n");
        *clean = false;
        return 0;
    }
    bool failed = reportCompile(parts.vertex, "vertex", report, capacity, &used);
    failed = reportCompile(parts.fragment, "fragment", report, capacity, &used) || failed;
    // The link status query is not among the show's entry points, but making
    // a program current that did not link is an error of GL 1.1's own kind.
    // Earlier errors are taken off the queue first (a bounded number: a lost
    // context repeats its error for ever).
    for (int32_t i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glEntry.glUseProgram(parts.program);
    if (glGetError() != GL_NO_ERROR) {
        appendReport(report, capacity, &used, "the program did not link\n");
        failed = true;
    }
    glEntry.glUseProgram(0);
    *clean = !failed;
    return parts.program;
}

int32_t locateShaderLog(const char* log, char* out, int32_t capacity) {
    if (capacity <= 0) return 0;
    int32_t used = 0;
    bool lineStart = true;
    while (*log != '\0' && used < capacity - 1) {
        int32_t file = 0, line = 0, length = 0;
        char separator = 0;
        if (lineStart && fileLineAt(log, &file, &line, &separator, &length)) {
            // The file's name, the log's own separator, the file's own line.
            char number[16];
            std::snprintf(number, sizeof(number), "%c%d", separator, int(line));
            appendReport(out, capacity, &used, kShaderFileNames[file]);
            appendReport(out, capacity, &used, number);
            log += length;
            lineStart = false;
            continue;
        }
        lineStart = *log == '\n';
        out[used++] = *log++;
    }
    out[used] = '\0';
    return used;
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
