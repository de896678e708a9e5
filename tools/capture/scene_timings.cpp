// Per-scene draw timings in the GL at hand (Mesa's software rasteriser here),
// against the reference ray march.
#include "tools/capture/scene_timings.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "data/timetable.h"
#include "driver/timeline.h"
#include "render/full_screen_quad.h"
#include "render/gl_entry_points.h"
#include "render/program_check.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "shaders/bench_shader_sources.h"
#include "tools/capture/contact_sheet.h"
#include "tools/replay/show_pictures.h"
#include "tools/replay/show_replay.h"

namespace {

// Milliseconds of wall time and of CPU time of the whole process (every
// thread: llvmpipe shades on threads of its own).
struct Stamp {
    double wall, cpu;
};

Stamp now() {
    timespec cpu;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return {wall * 1000.0, double(cpu.tv_sec) * 1000.0 + double(cpu.tv_nsec) * 1e-6};
}

Stamp since(const Stamp& began) {
    const Stamp end = now();
    return {end.wall - began.wall, end.cpu - began.cpu};
}

// One full-size draw of the reference march, finished.
void drawReference(GLuint program) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pushIdentityMatrices();
    glEntry.glUseProgram(program);
    glEntry.glUniform1f(glEntry.glGetUniformLocation(program, "xy_scale_factor"), 1.7777778f);
    drawQuad();
    glEntry.glUseProgram(0);
    popMatrices();
    glFlush();
    glFinish();
}

struct Samples {
    std::vector<double> wall, cpu, referenceWall, referenceCpu;
};

double median(std::vector<double> values) {
    return medianOf(values.data(), int32_t(values.size()));
}

double ratio(const Samples& s) {
    const double reference = median(s.referenceCpu);
    return reference > 0.0 ? median(s.cpu) / reference : 0.0;
}

}  // namespace

double medianOf(double* values, int32_t count) {
    if (count <= 0) return 0.0;
    std::sort(values, values + count);
    if (count % 2) return values[count / 2];
    return 0.5 * (values[count / 2 - 1] + values[count / 2]);
}

int32_t printSceneTimings(ShowPictures& pictures, ShowReplay& replay, int32_t frames, int32_t onlySequence) {
    static char log[16384];
    const GLuint reference = buildProgram(kQuadVertexSource, kShader_reference_march_frag);
    if (!programBuiltCleanly(reference, log, sizeof(log))) {
        std::fprintf(stderr, "capture: the reference march failed to build:\n%s", log);
        return 1;
    }
    drawReference(reference);  // warm-up: the driver compiles on first draw

    Samples perProgram[kSceneProgramCount];
    Samples all;
    std::printf("draw time per frame at %dx%d, ms (medians of %d frames after one warm-up); cost = CPU time\n"
                "against the reference march (150 fixed steps per pixel) drawn after each frame\n",
                int(pictures.target->width), int(pictures.target->height), int(frames));
    std::printf("%-9s %-14s %9s %9s %9s %9s %9s\n", "Sequence", "scene", "clock s", "wall", "cpu", "ref cpu", "cost");
    for (int32_t s = 0; s < kSequenceCount; s++) {
        if (onlySequence >= 0 && s != onlySequence) continue;
        const int32_t program = kSequences.sceneProgram[s];
        const float start = sequenceMiddle(s);
        Samples here;
        for (int32_t i = 0; i <= frames; i++) {
            advanceReplay(replay, start + float(i) / 60.0f);
            const Stamp began = now();
            drawReplayFrame(pictures, replay);
            const Stamp scene = since(began);
            const Stamp referenceBegan = now();
            drawReference(reference);
            const Stamp referenceCost = since(referenceBegan);
            if (i == 0) continue;
            here.wall.push_back(scene.wall);
            here.cpu.push_back(scene.cpu);
            here.referenceWall.push_back(referenceCost.wall);
            here.referenceCpu.push_back(referenceCost.cpu);
        }
        if (!sceneVisible(replay.timeline) || sceneProgramOf(replay.timeline) != program) {
            std::fprintf(stderr, "capture: Sequence %d is not on screen at %.2f s\n", int(s), double(start));
            return 1;
        }
        for (Samples* into : {&perProgram[program], &all}) {
            into->wall.insert(into->wall.end(), here.wall.begin(), here.wall.end());
            into->cpu.insert(into->cpu.end(), here.cpu.begin(), here.cpu.end());
            into->referenceWall.insert(into->referenceWall.end(), here.referenceWall.begin(), here.referenceWall.end());
            into->referenceCpu.insert(into->referenceCpu.end(), here.referenceCpu.begin(), here.referenceCpu.end());
        }
        std::printf("%-9d %-14s %9.2f %9.1f %9.1f %9.1f %9.2f\n", int(s), sceneName(program), double(start),
                    median(here.wall), median(here.cpu), median(here.referenceCpu), ratio(here));
        std::fflush(stdout);
    }
    std::printf("\nper scene program, medians over all its Sequences' frames:\n");
    std::printf("%-16s %9s %9s %9s\n", "program", "wall", "cpu", "cost");
    for (int32_t p = 0; p < kSceneProgramCount; p++) {
        const Samples& s = perProgram[p];
        if (s.cpu.empty()) continue;
        std::printf("%d %-14s %9.1f %9.1f %9.2f\n", int(p), sceneName(p), median(s.wall), median(s.cpu), ratio(s));
    }
    std::printf("reference march  %9.1f %9.1f\n", median(all.referenceWall), median(all.referenceCpu));
    return 0;
}
