// Shader texts made complete at build time: #include lines in shaders/*.glsl
// are replaced by the named files, nested ones too, before the texts become
// constants, with #line directives that keep each line's file and number; a
// missing or circular include stops the build; shared pieces under
// shaders/lib/ are not programs of their own. A compile log's source numbers
// are turned back into file names.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "render/programs.h"
#include "shaders/shader_sources.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kEmbedScript = INTRO_SOURCE_DIR "/shaders/embed.cmake";

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A scratch shader folder; `embed` runs the build's script on it.
class ShaderEmbed : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.made());
        ASSERT_EQ(std::system(("mkdir -p " + dir + "/lib").c_str()), 0);
    }

    void write(const std::string& name, const std::string& text) const {
        std::ofstream(dir + "/" + name) << text;
    }

    // The script's exit status; its generated source in `cpp`, its messages in `log`.
    int embed(bool minify = false) {
        const std::string command = "cmake -DSOURCE_DIR=" + dir + " -DOUTPUT_CPP=" + dir + "/out.cpp -DOUTPUT_H=" +
                                    dir + "/out.h" + (minify ? " -DMINIFY=ON" : "") + " -P " + kEmbedScript +
                                    " > " + dir + "/log 2>&1";
        const int status = std::system(command.c_str());
        cpp = read("out.cpp");
        log = read("log");
        return status;
    }

    std::string read(const std::string& name) const {
        std::stringstream text;
        text << std::ifstream(dir + "/" + name).rdbuf();
        return text.str();
    }

    const ScratchFolder scratch{"shader_embed"};
    const std::string dir = scratch.path();
    std::string cpp, log;
};

TEST_F(ShaderEmbed, IncludesAreReplacedInPlaceAndNestedOnesRelativeToTheirFile) {
    write("scene.frag.glsl", "#version 120\n// top\n#include \"lib/outer.glsl\"\nvoid main() {}\n");
    write("lib/outer.glsl", "// outer\n  #include \"inner.glsl\"  \nfloat outer;\n");
    write("lib/inner.glsl", "float inner; // a; b\n");
    ASSERT_EQ(embed(), 0) << log;
    // Files are numbered programs first, then lib/ pieces, each sorted:
    // 0 scene.frag.glsl, 1 lib/inner.glsl, 2 lib/outer.glsl. Each piece is
    // framed by #line directives, so every line keeps its file and number.
    // Line l of file f is numbered (f + 1) x 10000 + l, and before GLSL 3.30
    // `#line n` numbers the next line n + 1.
    EXPECT_NE(cpp.find("kShader_scene_frag[] = R\"glsl(#version 120\n#line 10001 0\n// top\n"
                       "#line 30000 2\n// outer\n#line 20000 1\nfloat inner; // a; b\n#line 30002 2\n"
                       "float outer;\n#line 10003 0\nvoid main() {}\n)glsl\""),
              std::string::npos)
        << cpp;
    EXPECT_NE(cpp.find("\"shaders/scene.frag.glsl\",\n    \"shaders/lib/inner.glsl\",\n    \"shaders/lib/outer.glsl\","),
              std::string::npos)
        << cpp;
    // lib/ holds pieces, not programs.
    EXPECT_EQ(cpp.find("kShader_outer"), std::string::npos) << cpp;
    EXPECT_EQ(cpp.find("kShader_inner"), std::string::npos) << cpp;
}

TEST_F(ShaderEmbed, OnlyWholeDirectiveLinesAreIncludes) {
    // Commented out, or in the middle of a line: left as text.
    const std::string text = "#version 120\n// #include \"lib/none.glsl\"\nint a; #include \"lib/none.glsl\"\n";
    write("plain.frag.glsl", text);
    ASSERT_EQ(embed(), 0) << log;
    const std::string numbered = "#version 120\n#line 10001 0\n" + text.substr(text.find('\n') + 1);
    EXPECT_NE(cpp.find("R\"glsl(" + numbered + ")glsl\""), std::string::npos) << cpp;
}

TEST_F(ShaderEmbed, AMissingFileStopsTheBuildNamingItAndTheFileAskingForIt) {
    write("scene.frag.glsl", "#version 120\n#include \"lib/absent.glsl\"\n");
    EXPECT_NE(embed(), 0);
    EXPECT_NE(log.find("lib/absent.glsl"), std::string::npos) << log;
    EXPECT_NE(log.find("scene.frag.glsl"), std::string::npos) << log;
}

TEST_F(ShaderEmbed, ACircularIncludeStopsTheBuild) {
    write("scene.frag.glsl", "#version 120\n#include \"lib/a.glsl\"\n");
    write("lib/a.glsl", "#include \"b.glsl\"\n");
    write("lib/b.glsl", "#include \"a.glsl\"\n");
    EXPECT_NE(embed(), 0);
    EXPECT_NE(log.find("a.glsl"), std::string::npos) << log;
}

TEST_F(ShaderEmbed, MinifyingDropsCommentsAndIndentationButKeepsLines) {
    write("scene.frag.glsl",
          "#version 120\n// what it is\n#include \"lib/piece.glsl\"\n\n#ifdef frozen  \n"
          "const float a = 1.0; // why\n#endif\nvoid main() {\n    gl_FragColor = vec4(a);\n}\n");
    write("lib/piece.glsl", "  // a piece\n\tfloat b(float x) { return x / 2.0; }  \n");
    ASSERT_EQ(embed(true), 0) << log;
    // Every line stays (blank where it held only a comment), so that the
    // #line numbers still name the lines of the files.
    EXPECT_NE(cpp.find("R\"glsl(#version 120\n#line 10001 0\n\n#line 20000 1\n\nfloat b(float x) { return x / 2.0; }\n"
                       "#line 10003 0\n\n#ifdef frozen\nconst float a = 1.0;\n#endif\nvoid main() {\n"
                       "gl_FragColor = vec4(a);\n}\n)glsl\""),
              std::string::npos)
        << cpp;
}

TEST(ShowShaders, EveryProgramTextIsCompleteWithItsVersionFirst) {
    const char* const programs[] = {kShader_flag_frag, kShader_cube_frag, kShader_cube_grid_frag, kShader_lattice_frag,
                                    kShader_tubes_frag, kShader_note_grid_frag, kShader_icon_frag,
                                    kShader_copy_frag, kShader_loading_frag, kShader_quad_vert};
    for (const char* program : programs) {
        const std::string text = program;
        EXPECT_EQ(text.rfind("#version ", 0), 0u) << text.substr(0, 200);
        EXPECT_EQ(text.find("#include"), std::string::npos) << text.substr(0, 200);
    }
    // Each shared piece once per scene that uses it: none was pasted twice.
    const std::string cubes = kShader_cube_frag;
    const std::string grid = kShader_cube_grid_frag;
    const std::string tubes = kShader_tubes_frag;
    const std::string lattice = kShader_lattice_frag;
    for (const std::string* scene : {&cubes, &grid, &tubes, &lattice}) {
        EXPECT_EQ(count(*scene, "uniform float track_time;"), 1u);
        EXPECT_EQ(count(*scene, "vec3 rotate_dir("), 1u);
        EXPECT_EQ(count(*scene, "mat2 rot("), 1u);
    }
    EXPECT_EQ(count(cubes, "vec4 hsv_to_rgb("), 1u);
    EXPECT_EQ(count(grid, "vec3 cubeGlow("), 1u);
    EXPECT_EQ(count(tubes, "vec4 hsv_to_rgb("), 1u);
    EXPECT_EQ(count(cubes, "float sdBox("), 1u);
    EXPECT_EQ(count(lattice, "float sdBox("), 1u);
}

TEST(ShaderLog, LocationsBecomeTheFileAndItsOwnLine) {
    // Mesa writes "source:line(column)", other drivers "source(line)"; the
    // line number carries the file: (f + 1) x kShaderLineStride + line.
    int hsvNumber = -1;
    for (int i = 0; i < kShaderFileCount; ++i) {
        if (std::string(kShaderFileNames[i]) == "shaders/lib/hsv.glsl") hsvNumber = i;
    }
    ASSERT_GE(hsvNumber, 0);
    const std::string hsv6 = std::to_string((hsvNumber + 1) * kShaderLineStride + 6);
    const std::string beyond = std::to_string((kShaderFileCount + 1) * kShaderLineStride + 2);
    const std::string log = "0:" + hsv6 + "(12): error: `nonsense' undeclared\n" + "3(" + hsv6 +
                            ") : error C1008: undefined variable\nplain text 0:" + hsv6 + " stays\n0:5(1): a text of "
                            "no file\n0:" + beyond + "(1): no such file\n";
    char out[512];
    const int32_t length = locateShaderLog(log.c_str(), out, sizeof(out));
    EXPECT_EQ(std::string(out), "shaders/lib/hsv.glsl:6(12): error: `nonsense' undeclared\n"
                                "shaders/lib/hsv.glsl(6) : error C1008: undefined variable\n"
                                "plain text 0:" + hsv6 + " stays\n0:5(1): a text of no file\n0:" + beyond +
                                    "(1): no such file\n");
    EXPECT_EQ(length, int32_t(std::string(out).size()));
    // A short buffer is filled and terminated, never overrun.
    char tiny[10];
    EXPECT_EQ(locateShaderLog(log.c_str(), tiny, sizeof(tiny)), 9);
    EXPECT_EQ(std::string(tiny), "shaders/l");
}

}  // namespace
