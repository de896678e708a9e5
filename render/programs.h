// The show's GL programs: building one, the ids of the utility and scene
// programs, the texts they are made of, and which program draws each Sequence.
#pragma once
#include <GL/gl.h>

#include <cstdint>

constexpr int32_t kSceneProgramCount = 7;
// The loading bar has one step per scene; the cube field's two programs
// (single cube, grid) share one.
constexpr int32_t kLoadingSteps = 6;
// Sequences 0..10 plus the unused slot 11.
constexpr int32_t kSequenceProgramSlots = 12;

// Puts a texture on the screen: presentTarget draws the offscreen picture
// into the window with it.
extern GLuint copyProgram;
// Draws the loading bar.
extern GLuint loadingProgram;
// Scene programs: 0 flag, 1 cube field (the single cube), 2 inverted lattice,
// 3 folded tubes, 4 note grid, 5 icon, 6 cube grid (the cube field after
// 26.8 s, its own program so that neither half pays for the other).
extern GLuint scenePrograms[kSceneProgramCount];

// The vertex shader every program shares.
extern const char* const kQuadVertexSource;
// The scene fragment sources, by slot.
extern const char* const kSceneSources[kSceneProgramCount];
// Text put in front of each scene source before it is compiled (a place for a
// #define in one program); null when there is none, which is the case for all.
extern const char* const sceneSourcePrefixes[kSceneProgramCount];
// The scenePrograms slot that draws each Sequence, null in slot 11, made from
// the timetable's sceneProgram column (the one place that pairs them). The ids
// are read through these pointers once loadPrograms has filled the slots.
extern const GLuint* const sequencePrograms[kSequenceProgramSlots];

// Each scene program's short name, in build order, for messages and the
// contact sheet's captions.
extern const char* const kSceneProgramNames[kSceneProgramCount];

// How a text becomes a program: shaders/embed.cmake pastes each scene's
// #include pieces in at build time (with #line directives), loadPrograms
// (render/loading_screen.h) builds every program at start-up through
// buildCheckedProgram and reports a failure with locateShaderLog.

// A linked program made of one vertex and one fragment shader, each compiled
// from its one text. Neither compile nor link status is looked at (see
// buildCheckedProgram). 0 when either text is null (a text that could not be
// joined for want of memory).
GLuint buildProgram(const char* vertexSource, const char* fragmentSource);

// buildProgram, then a look at the result through the show's own entry points:
// each shader's compile status and, for the link, whether the program can be
// made current. Returns the program (used as it is, failed or not: a program
// that did not build draws nothing) and sets *clean. On failure `report`
// holds the GL's logs, each line's source number turned into the shader
// file's name by locateShaderLog (at most `capacity` bytes, terminated).
GLuint buildCheckedProgram(const char* vertexSource, const char* fragmentSource, bool* clean, char* report,
                           int32_t capacity);

// Copies a compile log to `out` (at most `capacity` bytes, terminated),
// turning the location that starts a line, as in "0:100012(5): error" or
// "0(100012) : error", into the file and line it stands for: the embedded
// texts number line l of file f of kShaderFileNames (f + 1) x
// kShaderLineStride + l, so 100012 is line 12 of file 9. Other lines, and
// lines numbered below the stride (a text that did not come from a file),
// are copied as they are. Returns the length written.
int32_t locateShaderLog(const char* log, char* out, int32_t capacity);

// prefix and source in a new zero-filled heap block of length(prefix) +
// length(source) + 1 bytes: the prefix in front of the source, or right after
// its opening #version line when it has one. A null prefix counts as empty.
// The block is never freed. Null when the heap refuses the block.
char* joinSource(const char* prefix, const char* source);
