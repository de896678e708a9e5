// Per-scene draw timings in the GL at hand (Mesa's software rasteriser here).
#include "tools/capture/scene_timings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "data/timetable.h"
#include "driver/timeline.h"
#include "render/programs.h"
#include "render/render_target.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/show_pictures.h"
#include "tools/capture/show_replay.h"

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

double medianOf(double* values, int32_t count) {
    if (count <= 0) return 0.0;
    std::sort(values, values + count);
    if (count % 2) return values[count / 2];
    return 0.5 * (values[count / 2 - 1] + values[count / 2]);
}

int32_t printSceneTimings(ShowPictures& pictures, ShowReplay& replay, int32_t frames) {
    std::vector<double> perProgram[kSceneProgramCount];
    std::vector<double> times;
    std::printf("draw time per frame at %dx%d, ms (median, min, max of %d frames after one warm-up)\n",
                int(pictures.target->width), int(pictures.target->height), int(frames));
    std::printf("%-9s %-14s %9s %9s %9s %9s\n", "Sequence", "scene", "clock s", "median", "min", "max");
    for (int32_t s = 0; s < kSequenceCount; s++) {
        int32_t program = kSequences.sceneProgram[s];
        float start = sequenceMiddle(s);
        times.clear();
        for (int32_t i = 0; i <= frames; i++) {
            advanceReplay(replay, start + float(i) / 60.0f);
            double began = now();
            drawReplayFrame(pictures, replay);
            if (i > 0) times.push_back((now() - began) * 1000.0);
        }
        if (!sceneVisible(replay.timeline) || sceneProgramOf(replay.timeline) != program) {
            std::fprintf(stderr, "capture: Sequence %d is not on screen at %.2f s\n", int(s), double(start));
            return 1;
        }
        perProgram[program].insert(perProgram[program].end(), times.begin(), times.end());
        double low = *std::min_element(times.begin(), times.end());
        double high = *std::max_element(times.begin(), times.end());
        double median = medianOf(times.data(), int32_t(times.size()));
        std::printf("%-9d %-14s %9.2f %9.1f %9.1f %9.1f\n", int(s), sceneName(program), double(start), median, low,
                    high);
        std::fflush(stdout);
    }
    std::printf("\nper scene program, median over all its Sequences' frames:\n");
    for (int32_t p = 0; p < kSceneProgramCount; p++) {
        std::vector<double>& all = perProgram[p];
        std::printf("%d %-14s %9.1f ms\n", int(p), sceneName(p), medianOf(all.data(), int32_t(all.size())));
    }
    return 0;
}
