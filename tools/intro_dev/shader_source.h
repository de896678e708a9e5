// Scene program texts read from a shaders folder at run time, made exactly as
// the build embeds them: #include pieces pasted in between #line directives
// that number line l of file f of kShaderFileNames (f + 1) x 10000 + l (one
// less before GLSL 3.30), then comments and indentation dropped. A compile
// log of such a text is located in the files by locateShaderLog like the
// embedded ones.
#pragma once
#include <string>
#include <vector>

#include "render/programs.h"

// The file each scene program slot is made from, in the shaders folder.
extern const char* const kSceneFiles[kSceneProgramCount];

struct ShaderText {
    std::string text;                // the program text, ready to compile
    std::vector<std::string> files;  // files it was made of, relative to the folder (its own first)
};

// Reads `file` (relative to `folder`, e.g. "cube.frag.glsl") with its
// includes. False with "shaders/<file>: what" in `error` when a file cannot
// be read, is not one of this build's shader files, or includes itself.
bool readShaderText(const std::string& folder, const std::string& file, ShaderText& out, std::string& error);

// Drops `//` comments, blanks before a line break and blanks that start a
// line after the first, keeping every line.
std::string minifyShaderText(const std::string& text);
