// capture: the show's pictures rendered offscreen and written as PNG files,
// deterministically: one frame at a given clock, one loading frame, or a
// contact sheet of every Sequence. Shader compile and link failures end the
// tool with the driver's log.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/timetable.h"
#include "driver/scene_uniforms.h"
#include "driver/timeline.h"
#include "render/data_texture.h"
#include "render/display.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/loading_screen.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "render/scene_draw.h"
#include "runtime/float_mode.h"
#include "tools/capture/show_replay.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

enum class Mode { None, Time, Loading, Sheet };

struct Options {
    Mode mode = Mode::None;
    float time = 0.0f;
    int32_t loadingStep = 0;
    int32_t width = 0;  // 0: the mode's default
    int32_t height = 0;
    bool music = true;
    uint64_t seed = 1;
    const char* output = nullptr;
};

const char kUsage[] =
    "usage: capture --time T [--size WxH] [--silent] [--seed N] -o frame.png\n"
    "       capture --loading N [--size WxH] -o frame.png       (N = 1..6)\n"
    "       capture --sheet [--size WxH] [--silent] [--seed N] -o sheet.png\n"
    "  --time T    the frame whose clock (music time - 0.17 s) is T seconds\n"
    "  --sheet     the middle frame of every Sequence the show draws, 5 per row\n"
    "  --size WxH  picture (or sheet tile) size; 1600x900, for a sheet 320x180\n"
    "  --silent    no music: every note texture stays zero (much faster)\n"
    "  --seed N    value the random counter is pinned to (default 1)\n";

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        char* end = nullptr;
        if (std::strcmp(arg, "--time") == 0 && value) {
            options.mode = Mode::Time;
            options.time = std::strtof(value, &end);
            if (*end || !(options.time >= 0.0f)) return false;
            i++;
        } else if (std::strcmp(arg, "--loading") == 0 && value) {
            options.mode = Mode::Loading;
            options.loadingStep = int32_t(std::strtol(value, &end, 10));
            if (*end || options.loadingStep < 1 || options.loadingStep > kSceneProgramCount) return false;
            i++;
        } else if (std::strcmp(arg, "--sheet") == 0) {
            options.mode = Mode::Sheet;
        } else if (std::strcmp(arg, "--size") == 0 && value) {
            if (std::sscanf(value, "%dx%d", &options.width, &options.height) != 2) return false;
            if (options.width < 1 || options.height < 1 || options.width > 8192 || options.height > 8192) return false;
            i++;
        } else if (std::strcmp(arg, "--silent") == 0) {
            options.music = false;
        } else if (std::strcmp(arg, "--seed") == 0 && value) {
            options.seed = std::strtoull(value, &end, 10);
            if (*end) return false;
            i++;
        } else if (std::strcmp(arg, "-o") == 0 && value) {
            options.output = value;
            i++;
        } else {
            return false;
        }
    }
    if (options.mode == Mode::None || !options.output) return false;
    if (options.width == 0) {
        options.width = options.mode == Mode::Sheet ? 320 : 1600;
        options.height = options.mode == Mode::Sheet ? 180 : 900;
    }
    return true;
}

// RGBA pixels, row 0 at the bottom as GL reads them.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
};

Picture readPicture(int32_t width, int32_t height) {
    Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
    // The screen ignores alpha: so does the picture file.
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return picture;
}

bool writePng(const Picture& picture, const char* path) {
    stbi_flip_vertically_on_write(1);
    if (stbi_write_png(path, picture.width, picture.height, 4, picture.rgba.data(), picture.width * 4)) return true;
    std::fprintf(stderr, "capture: cannot write %s\n", path);
    return false;
}

// Everything the show has made by the end of its loading screen.
struct Pictures {
    Display display;
    RenderTarget* target = nullptr;
    DataTexture notesVelocity;
    DataTexture maxNotesVelocity;
    int32_t loadingStep = 0;  // the loading frame to keep, 0 for none
    Picture loadingFrame;
};

void keepLoadingFrame(int32_t step, void* user) {
    auto* pictures = static_cast<Pictures*>(user);
    if (step == pictures->loadingStep)
        pictures->loadingFrame = readPicture(pictures->target->width, pictures->target->height);
}

// Every program built, checked; false (after printing the logs) on failure.
bool checkPrograms() {
    static char log[16384];
    struct Named {
        const char* name;
        GLuint program;
    };
    const Named programs[] = {
        {"copy", copyProgram},
        {"loading", loadingProgram},
        {"scene 0 (flag)", scenePrograms[0]},
        {"scene 1 (cube field)", scenePrograms[1]},
        {"scene 2 (inverted lattice)", scenePrograms[2]},
        {"scene 3 (folded tubes)", scenePrograms[3]},
        {"scene 4 (note grid)", scenePrograms[4]},
        {"scene 5 (icon)", scenePrograms[5]},
    };
    bool clean = true;
    for (const Named& p : programs) {
        if (programBuiltCleanly(p.program, log, sizeof(log))) continue;
        std::fprintf(stderr, "capture: %s program failed to build:\n%s", p.name, log);
        clean = false;
    }
    return clean;
}

// Start-up as the show does it, into an offscreen target of the picture size.
bool openPictures(Pictures& pictures, int32_t width, int32_t height, uint32_t instruments,
                  const float* notes, const float* peaks) {
    pictures.display = openDisplay({.hidden = true, .width = width, .height = height});
    if (pictures.display.failure) {
        std::fprintf(stderr, "capture: %s\n", pictures.display.failure);
        return false;
    }
    pictures.notesVelocity.create(128, int32_t(instruments), notes, GL_R32F, GL_RED, GL_FLOAT);
    pictures.maxNotesVelocity.create(1, int32_t(instruments), peaks, GL_R32F, GL_RED, GL_FLOAT);
    createQuad();
    pictures.target = new RenderTarget(width, height);
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, pictures.target->framebuffer);
    // Unless a loading frame is wanted, the warm-up draws cover one pixel:
    // at 1600 x 900 they would cost seconds each in a software renderer.
    if (pictures.loadingStep == 0) glViewport(0, 0, 1, 1);
    else glViewport(0, 0, width, height);
    loadPrograms(pictures.display, keepLoadingFrame, &pictures);
    glViewport(0, 0, width, height);
    return checkPrograms();
}

// The frame loop's drawing for the replay's current frame.
Picture drawFrame(Pictures& pictures, ShowReplay& replay) {
    const Timeline& timeline = replay.timeline;
    GLuint program = *sequencePrograms[timeline.sequence];
    SceneUniform uniforms[kSceneUniformCount];
    sceneUniforms(timeline, replay.lastClock, uniforms);
    applySceneUniforms(program, uniforms);
    pictures.notesVelocity.update(replay.feed.notes);
    pictures.maxNotesVelocity.update(replay.feed.peaks);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (sceneVisible(timeline)) drawScene(program, pictures.notesVelocity, pictures.maxNotesVelocity);
    glFlush();
    glFinish();
    return readPicture(pictures.target->width, pictures.target->height);
}

// Copies a tile into the sheet at tile column `column`, row `row` from the top.
void placeTile(Picture& sheet, const Picture& tile, int32_t column, int32_t row, int32_t rows) {
    int32_t x0 = column * tile.width;
    int32_t y0 = (rows - 1 - row) * tile.height;  // sheet rows are bottom-up too
    for (int32_t y = 0; y < tile.height; y++)
        std::memcpy(&sheet.rgba[((size_t(y0 + y) * sheet.width) + x0) * 4], &tile.rgba[size_t(y) * tile.width * 4],
                    size_t(tile.width) * 4);
}

int run(const Options& options) {
    setFloatMode(0x21);  // flush-to-zero, as on both of the show's threads

    ShowReplay replay;
    if (!initReplay(replay, options.music && options.mode != Mode::Loading, options.seed)) {
        std::fprintf(stderr, "capture: the song or the note arrays could not be set up\n");
        return 1;
    }
    Pictures pictures;
    pictures.loadingStep = options.mode == Mode::Loading ? options.loadingStep : 0;
    bool opened = openPictures(pictures, options.width, options.height, replayInstruments(replay),
                               replay.feed.notes, replay.feed.peaks);
    int status = 1;
    if (opened) {
        if (options.mode == Mode::Loading) {
            status = writePng(pictures.loadingFrame, options.output) ? 0 : 1;
        } else if (options.mode == Mode::Time) {
            advanceReplay(replay, options.time);
            status = writePng(drawFrame(pictures, replay), options.output) ? 0 : 1;
        } else {
            // The Sequences the show draws (the last starts after the end).
            const int32_t shown = kSequenceCount - 1, columns = 5, rows = (shown + columns - 1) / columns;
            Picture sheet{options.width * columns, options.height * rows,
                          std::vector<uint8_t>(size_t(options.width) * columns * options.height * rows * 4, 0)};
            for (int32_t s = 0; s < shown; s++) {
                float middle = (float(kSequences.start[s]) + float(kSequences.duration[s]) * 0.5f) / 60.0f;
                advanceReplay(replay, middle);
                Picture tile = drawFrame(pictures, replay);
                placeTile(sheet, tile, s % columns, s / columns, rows);
                std::fprintf(stderr, "capture: Sequence %d at %.2f s\n", s, middle);
            }
            for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
            status = writePng(sheet, options.output) ? 0 : 1;
        }
    }
    if (pictures.display.window) closeDisplay(pictures.display);
    releaseReplay(replay);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return run(options);
}
