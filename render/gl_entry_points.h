// The OpenGL functions beyond 1.1 (buffers, shaders, programs, uniforms, frame
// buffers, texture units), looked up by name once the context is current.
// Call sites read them through the one global table: glEntry.glUseProgram(p).
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

// 28 function pointers in load order. Four of them (glCreateShaderProgramv,
// glUniform2f, glGetShaderiv, glGetShaderInfoLog) are loaded but never needed
// by the show, so a driver that lacks them is still good enough.
struct GlEntryPoints {
    PFNGLGENBUFFERSPROC glGenBuffers;
    PFNGLBINDBUFFERPROC glBindBuffer;
    PFNGLBUFFERDATAPROC glBufferData;
    PFNGLBUFFERSUBDATAPROC glBufferSubData;
    PFNGLCREATESHADERPROGRAMVPROC glCreateShaderProgramv;
    PFNGLUSEPROGRAMPROC glUseProgram;
    PFNGLUNIFORM1IPROC glUniform1i;
    PFNGLCREATEPROGRAMPROC glCreateProgram;
    PFNGLCREATESHADERPROC glCreateShader;
    PFNGLSHADERSOURCEPROC glShaderSource;
    PFNGLCOMPILESHADERPROC glCompileShader;
    PFNGLATTACHSHADERPROC glAttachShader;
    PFNGLLINKPROGRAMPROC glLinkProgram;
    PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer;
    PFNGLBINDRENDERBUFFERPROC glBindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC glRenderbufferStorage;
    PFNGLGENRENDERBUFFERSPROC glGenRenderbuffers;
    PFNGLFRAMEBUFFERTEXTURE2DPROC glFramebufferTexture2D;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC glFramebufferRenderbuffer;
    PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers;
    PFNGLUNIFORM2FPROC glUniform2f;
    PFNGLACTIVETEXTUREPROC glActiveTexture;
    PFNGLGETUNIFORMLOCATIONPROC glGetUniformLocation;
    PFNGLUNIFORM1FPROC glUniform1f;
    PFNGLUNIFORM3FPROC glUniform3f;
    PFNGLUNIFORM4FPROC glUniform4f;
    PFNGLGETSHADERIVPROC glGetShaderiv;
    PFNGLGETSHADERINFOLOGPROC glGetShaderInfoLog;
};

constexpr int32_t kGlEntryPointCount = 28;

// The table of the current context; written only by loadGlEntryPoints.
extern GlEntryPoints glEntry;

// Looks one function up by name; null when the driver does not know it.
using GlProcLoader = void* (*)(const char* name);

// The name of slot `index` (0..27), as passed to the loader.
const char* glEntryPointName(int32_t index);
// The address stored in slot `index` (0..27), null when empty.
void* glEntryPointAddress(const GlEntryPoints& table, int32_t index);
// Asks `load` for every name in slot order and stores each answer, null or not.
void loadGlEntryPoints(GlEntryPoints& table, GlProcLoader load);
// The name of the first empty slot among those the show calls, or null when
// all of them are filled. A missing never-called slot is not reported.
const char* missingGlEntryPoint(const GlEntryPoints& table);
