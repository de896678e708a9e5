// Every program the show and its tools build, as embedded, put through the
// reference GLSL compiler (glslangValidator, Debian's glslang-tools) at its
// own #version, vertex and fragment stage linked together. Mesa accepts texts
// that a strict driver refuses (an integer min under GLSL 1.20), so building
// them under Mesa alone would pass a scene that another machine draws black.
// No window is needed, so the fast test loop catches a broken shader too.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "render/programs.h"
#include "runtime/memory.h"
#include "shaders/bench_shader_sources.h"
#include "shaders/shader_sources.h"
#include "tests/support/processes.h"
#include "tests/support/scratch_folder.h"

namespace {

struct Validation {
    bool ran = false;  // false when glslangValidator could not be run
    bool passed = false;
    std::string log;  // its messages, each location turned into file:line
};

// The validator's messages start "ERROR: 10:110043: ..."; the location after
// the severity is turned into the shader file's name and line.
std::string locatedLog(const std::string& output) {
    std::string located;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        const size_t colon = line.find(": ");
        const size_t rest = colon == std::string::npos ? 0 : colon + 2;
        std::vector<char> out(line.size() + 256);
        locateShaderLog(line.c_str() + rest, out.data(), int32_t(out.size()));
        located += line.substr(0, rest) + out.data() + "\n";
        start = end + 1;
    }
    return located;
}

// Writes both stages into a scratch folder and runs the validator on them
// as one program.
Validation validate(const std::string& vertex, const std::string& fragment) {
    Validation result;
    const ScratchFolder scratch("shader_validation");
    if (!scratch.made()) return result;
    std::ofstream(scratch.path("program.vert")) << vertex;
    std::ofstream(scratch.path("program.frag")) << fragment;
    const CommandRun run =
        runCommand("glslangValidator -l " + scratch.path("program.vert") + " " + scratch.path("program.frag") + " 2>&1");
    // The shell's "not found" is 127; the validator's own failures are 1 or 2.
    result.ran = run.status >= 0 && run.status != 127;
    result.passed = run.status == 0 && run.output.find("ERROR") == std::string::npos;
    result.log = locatedLog(run.output);
    return result;
}

struct ProgramText {
    std::string name;
    std::string fragment;
};

// The fragment texts exactly as they are compiled: the two utility programs,
// each scene slot with its prefix joined in as the loading does, and the
// reference march the capture tool measures scene costs against.
std::vector<ProgramText> builtPrograms() {
    std::vector<ProgramText> programs = {{"copy", kShader_copy_frag}, {"loading", kShader_loading_frag}};
    for (int32_t slot = 0; slot < kSceneProgramCount; slot++) {
        char* text = joinSource(sceneSourcePrefixes[slot], kSceneSources[slot]);
        programs.push_back({kSceneProgramNames[slot], text});
        deallocate(text);
    }
    programs.push_back({"reference march", kShader_reference_march_frag});
    return programs;
}

}  // namespace

TEST(ShaderValidation, EveryBuiltProgramPassesTheReferenceCompilerAtItsOwnVersion) {
    for (const ProgramText& program : builtPrograms()) {
        const Validation result = validate(kQuadVertexSource, program.fragment);
        ASSERT_TRUE(result.ran) << "glslangValidator did not run (Debian package glslang-tools)";
        EXPECT_TRUE(result.passed) << "the " << program.name << " program:\n" << result.log;
    }
}

// The check above is only worth something if the validator holds each text to
// its own version and its refusals reach the test: a fault a lenient driver
// takes, at the version that lacks the feature and at the one that has it.
TEST(ShaderValidation, TheValidatorRefusesWhatTheDeclaredVersionLacks) {
    const struct {
        const char* fragment;
        bool passes;
    } cases[] = {
        {"#version 120\nvoid main() { int i = min(1, 2); gl_FragColor = vec4(float(i)); }\n", false},
        {"#version 130\nvoid main() { int i = min(1, 2); gl_FragColor = vec4(float(i)); }\n", true},
        {"#version 120\nuniform sampler2D s;\n"
         "void main() { gl_FragColor = vec4(textureSize(s, 0), 0.0, 1.0); }\n",
         false},
        {"#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n", true},
    };
    for (const auto& c : cases) {
        const Validation result = validate(kQuadVertexSource, c.fragment);
        ASSERT_TRUE(result.ran);
        EXPECT_EQ(result.passed, c.passes) << c.fragment << result.log;
    }
}

TEST(ShaderValidation, ItsMessagesNameTheShaderFileAndLine) {
    // Line 3 of file 0 in the embedded numbering.
    const std::string log = locatedLog("ERROR: 0:10003: 'x' : undeclared identifier\nERROR: 1 compilation errors.\n");
    EXPECT_EQ(log, std::string("ERROR: ") + kShaderFileNames[0] +
                       ":3: 'x' : undeclared identifier\nERROR: 1 compilation errors.\n");
}
