// Shader files to program texts, numbered and minified as the build does it.
#include "tools/intro_dev/shader_source.h"

#include <regex>
#include <sstream>

#include "shaders/shader_sources.h"
#include "tools/common/text_file.h"

const char* const kSceneFiles[kSceneProgramCount] = {
    "flag.frag.glsl",      "cube.frag.glsl", "lattice.frag.glsl",   "tubes.frag.glsl",
    "note_grid.frag.glsl", "icon.frag.glsl", "cube_grid.frag.glsl",
};

namespace {

// The number of `relative` in kShaderFileNames, -1 when the build has no such file.
int fileNumber(const std::string& relative) {
    const std::string name = "shaders/" + relative;
    for (int i = 0; i < kShaderFileCount; ++i)
        if (name == kShaderFileNames[i]) return i;
    return -1;
}

int countBreaks(const std::string& text) {
    int breaks = 0;
    for (char c : text) breaks += c == '\n';
    return breaks;
}

// Folds "a/../b" and "./" out of a relative path.
std::string normalise(const std::string& path) {
    std::vector<std::string> parts;
    std::stringstream stream(path);
    std::string part;
    while (std::getline(stream, part, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == ".." && !parts.empty()) parts.pop_back();
        else parts.push_back(part);
    }
    std::string joined;
    for (const std::string& p : parts) joined += (joined.empty() ? "" : "/") + p;
    return joined;
}

struct Resolver {
    const std::string& folder;
    int lineShift;
    std::vector<std::string>& files;
    std::string& error;

    // `file`'s text with its includes pasted in; `chain` holds the files
    // being resolved around it.
    bool resolve(const std::string& file, std::vector<std::string> chain, std::string& out) {
        const int number = fileNumber(file);
        std::string rest;
        if (number < 0) {
            error = "shaders/" + file + ": not a shader file of this build (a new file needs a rebuild)";
            return false;
        }
        std::string reason;
        if (!readTextFile(folder + "/" + file, rest, reason)) {
            error = "shaders/" + file + ": cannot be read: " + reason;
            return false;
        }
        for (const std::string& outer : chain)
            if (outer == file) {
                error = "shaders/" + file + ": included again from itself";
                return false;
            }
        chain.push_back(file);
        bool known = false;
        for (const std::string& seen : files) known = known || seen == file;
        if (!known) files.push_back(file);
        const std::string dir = file.find('/') == std::string::npos ? "" : file.substr(0, file.rfind('/') + 1);
        static const std::regex directive("(^|\n)[ \t]*#[ \t]*include[ \t]+\"([^\"\n]*)\"[ \t]*(\r?\n|$)");
        std::string text;
        int lines = 0;  // line breaks of this file passed so far
        std::smatch match;
        while (std::regex_search(rest, match, directive)) {
            const std::string lead = match[1], name = match[2], tail = match[3];
            const std::string before = rest.substr(0, size_t(match.position(0)));
            if (name.empty()) {
                error = "shaders/" + file + ": #include without a file name";
                return false;
            }
            const std::string included = normalise(dir + name);
            std::string piece;
            if (!resolve(included, chain, piece)) return false;
            lines += countBreaks(before + lead) + 1;
            const int next = lines + 1;
            if (!piece.empty() && piece.back() == '\n') piece.pop_back();
            if (!piece.empty() && piece.back() == '\r') piece.pop_back();
            const int pieceNumber = fileNumber(included);
            text += before + lead + "#line " + std::to_string((pieceNumber + 1) * kShaderLineStride + 1 - lineShift) +
                    " " + std::to_string(pieceNumber) + "\n" + piece + "\n#line " +
                    std::to_string((number + 1) * kShaderLineStride + next - lineShift) + " " +
                    std::to_string(number) + tail;
            rest = rest.substr(size_t(match.position(0) + match.length(0)));
        }
        out = text + rest;
        return true;
    }
};

}  // namespace

bool readShaderText(const std::string& folder, const std::string& file, ShaderText& out, std::string& error) {
    out = ShaderText{};
    std::string head, reason;
    if (!readTextFile(folder + "/" + file, head, reason)) {
        error = "shaders/" + file + ": cannot be read: " + reason;
        return false;
    }
    // Before GLSL 3.30 `#line n` numbers the next line n + 1.
    static const std::regex version("^[ \t]*#[ \t]*version[ \t]+([0-9]+)");
    std::smatch match;
    const std::string start = head.substr(0, 200);
    const int lineShift = std::regex_search(start, match, version) && std::stoi(match[1]) < 330 ? 1 : 0;
    Resolver resolver{folder, lineShift, out.files, error};
    std::string text;
    if (!resolver.resolve(file, {}, text)) return false;
    const int number = fileNumber(file);
    static const std::regex versionLine("^[ \t]*#[ \t]*version[^\n]*\n");
    if (std::regex_search(text, match, versionLine)) {
        const size_t length = size_t(match.length(0));
        text = text.substr(0, length) + "#line " +
               std::to_string((number + 1) * kShaderLineStride + 2 - lineShift) + " " + std::to_string(number) +
               "\n" + text.substr(length);
    } else {
        text = "#line " + std::to_string((number + 1) * kShaderLineStride + 1 - lineShift) + " " +
               std::to_string(number) + "\n" + text;
    }
    out.text = minifyShaderText(text);
    return true;
}

std::string minifyShaderText(const std::string& text) {
    // GLSL has no string literals, so // always starts a comment.
    static const std::regex comment("//[^\n]*");
    static const std::regex trailing("[ \t]+\n");
    static const std::regex leading("\n[ \t]+");
    std::string out = std::regex_replace(text, comment, "");
    out = std::regex_replace(out, trailing, "\n");
    return std::regex_replace(out, leading, "\n");
}
