// The show's probe hooks (driver/probe_hooks.h) in its test build
// `intro_probe` (compiled with INTRO_PROBE defined):
// it pins the counter so that its song equals `songrender --seed`, draws a
// small picture (cheap on a software renderer) that it scales up to the
// window, ends by itself after INTRO_PROBE_SECONDS of music, and prints on
// stderr at exit the audio counters, frame counts, how steadily the clock
// ran (its largest steps, how often it repeated, quantiles of its steps), how
// far the pictures led the sound, how much of its last frame was lit, and
// how soon after the process started its first loading frame and its first
// drawn frame were ready. In the shipped intro every hook is empty.
//
// A probe that is ended from outside (the Windows test sends Escape) reads
// its frame back at INTRO_PROBE_LOOK_SECONDS instead, announces that on
// stderr at once, and reports the frame before Escape as its last.
#pragma once
#include "driver/show.h"

#ifndef INTRO_PROBE_LOOK_SECONDS
#define INTRO_PROBE_LOOK_SECONDS INTRO_PROBE_SECONDS
#endif
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/audio_output.h"
#include "render/loading_screen.h"
#include "data/timetable.h"
#include "tests/probe/probe_allocations.h"
#include "runtime/counter.h"
#include "runtime/process_clock.h"

namespace probe {

constexpr double kBytesPerSecond = 176400.0;  // 44.1 kHz, 16-bit stereo

// Music time, device bytes and wall time at one moment.
struct Mark {
    bool taken = false;
    double music = 0.0;
    uint64_t consumed = 0;
    double wall = 0.0;
    double queued = 0.0;  // seconds written ahead of what the device took
};
inline Mark first;  // the first frame whose clock reached 1 s
inline Mark last;   // the last frame

// One presented frame: when its swap returned, its clock, and how far the
// device had got by then.
struct Presented {
    double wall;
    float clock;
    uint64_t consumed;
};
// Room for 12 s at well over 1000 frames per second; later frames are not kept.
constexpr size_t kMaxPresented = 1 << 14;
inline Presented presented[kMaxPresented];
inline size_t presentedCount = 0;

inline uint64_t frames = 0;       // iterations of the frame loop
inline uint64_t drawnFrames = 0;  // with a non-negative clock
inline uint64_t sceneFrames = 0;  // of those, inside a draw window
inline bool clockSeen = false;
inline float previousClock = 0.0f;
inline double largestBackStep = 0.0;     // seconds the clock went back between two frames
inline double largestForwardStep = 0.0;  // seconds it moved on between two frames
inline double lastFrameLit = -1.0;       // share of the last frame's pixels that are not black
inline bool lookedAt = false;            // the frame at INTRO_PROBE_LOOK_SECONDS was read back
// The lit part of the last frame: lowest and highest row (row 0 at the
// bottom), leftmost and rightmost column holding a pixel that is not black.
inline int32_t litBottom = -1, litTop = -1, litLeft = -1, litRight = -1;

// The phase of the show a frame belongs to: -2 pre-roll, -1 a black stretch
// (outside every draw window), else the Sequence on screen.
inline int32_t currentPhase = -3;  // -3: no frame yet
// Heap allocations the main thread made in the frame loop after its first
// frame (which meets lazily made objects of the window system first).
inline uint64_t loopAllocations = 0;     // from the program's own code
inline uint64_t loopAllocationsAll = 0;  // also Xlib's, xcb's and the GL driver's
inline uint64_t allocationsAtEntry = 0;  // the counts at the end of the first frame
inline uint64_t allocationsAllAtEntry = 0;
inline double loopEndWall = 0.0;  // when the frame loop ended (wall seconds)

inline double wallSeconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count();
}

inline double startUpEntered = -1.0;    // startShow began
inline double displayOpened = -1.0;     // the window and its GL context were ready
inline double displayOpenedCpu = -1.0;  // CPU seconds used by then
inline double firstLoadingFrame = -1.0; // the first loading frame was finished, before its swap
inline double firstLoadingFrameCpu = -1.0;  // CPU seconds used by then
inline double firstLoadingStep = -1.0;  // the frame with the bar's first sixth (the flag built)
inline double firstDrawnFrame = -1.0;   // the first frame with a non-negative clock, before its swap
inline uint64_t preRollFrames = 0;      // iterations of the frame loop before the clock reached 0

// Every loading frame passes here; the first one shown (the empty bar, step
// 0, when the show opens the loading screen early) and the bar's first step
// are noted.
inline void loadingFrame(int32_t step, void*) {
    if (firstLoadingFrame < 0.0) {
        firstLoadingFrame = secondsSinceProcessStart();
        firstLoadingFrameCpu = processCpuSeconds();
    }
    if (step == 1) firstLoadingStep = secondsSinceProcessStart();
}

inline Mark mark(const Show& show) {
    return {true, double(show.synth.time.load(std::memory_order_relaxed)),
            readCounters(audioOutput).bytesConsumed, wallSeconds(), queuedSeconds(audioOutput)};
}

// Reads the window back (the back buffer, before the swap): the share of its
// pixels that are not black, and the bounds of those pixels.
inline void readLastFrame(const Show& show) {
    const int32_t width = show.display.width;
    const int32_t height = show.display.height;
    if (width <= 0 || height <= 0) return;
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    size_t lit = 0;
    litBottom = litTop = litLeft = litRight = -1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
            if ((p[0] | p[1] | p[2]) <= 8) continue;
            ++lit;
            if (litBottom < 0) litBottom = y;
            litTop = y;
            if (litLeft < 0 || x < litLeft) litLeft = x;
            if (x > litRight) litRight = x;
        }
    }
    lastFrameLit = double(lit) / double(size_t(width) * size_t(height));
}

// How long after being presented each frame's sound was taken by the device:
// for a frame with clock t the music of t + 0.17 s, whose stream byte follows
// from where the song began. The device's progress is a straight line fitted
// through its byte counter against wall time (it moves in whole device
// buffers). Positive: the picture came first. The clock follows what the
// device plays, and it plays each take over the time up to the next one;
// that runs half a take behind the line fitted through the takes, so a
// clock exactly on time shows a lead of about -11.6 ms.
struct Lead {
    size_t frames = 0;
    double mean = 0.0, spread = 0.0, least = 0.0, most = 0.0;  // seconds
};

inline Lead pictureLead(int64_t firstSourceByte) {
    Lead lead;
    if (firstSourceByte < 0 || presentedCount < 2) return lead;
    double sw = 0.0, sc = 0.0, sww = 0.0, swc = 0.0;
    const double w0 = presented[0].wall;
    for (size_t i = 0; i < presentedCount; ++i) {
        const double w = presented[i].wall - w0;
        const double c = double(presented[i].consumed);
        sw += w;
        sc += c;
        sww += w * w;
        swc += w * c;
    }
    const double n = double(presentedCount);
    const double slope = (n * swc - sw * sc) / (n * sww - sw * sw);  // bytes per second
    const double intercept = (sc - slope * sw) / n;
    if (!(slope > 0.0)) return lead;
    double sum = 0.0, squares = 0.0;
    lead.least = 1e9;
    lead.most = -1e9;
    for (size_t i = 0; i < presentedCount; ++i) {
        // Half a second in: past the first frames and their start-up costs.
        if (presented[i].clock < 0.5f) continue;
        const double byte = double(firstSourceByte) + (double(presented[i].clock) + double(kPictureDelay)) *
                                                          kBytesPerSecond;
        const double heardAt = (byte - intercept) / slope;
        const double value = heardAt - (presented[i].wall - w0);
        sum += value;
        squares += value * value;
        lead.least = value < lead.least ? value : lead.least;
        lead.most = value > lead.most ? value : lead.most;
        ++lead.frames;
    }
    if (lead.frames == 0) return Lead{};
    lead.mean = sum / double(lead.frames);
    lead.spread = std::sqrt(std::fmax(0.0, squares / double(lead.frames) - lead.mean * lead.mean));
    return lead;
}

// How smoothly the clock moved over the kept frames after the pre-roll:
// the share of frames whose clock equals the frame before (a picture that
// repeats its motion), quantiles of the steps between frames and of the wall
// time between frames, in seconds.
struct Steps {
    size_t frames = 0;
    double repeatShare = 0.0;
    double step10 = 0.0, step50 = 0.0, step90 = 0.0, step99 = 0.0;
    double interval50 = 0.0;
    double intervalMax = 0.0;  // the slowest frame, pre-roll included
};

inline double quantile(std::vector<double>& values, double q) {
    if (values.empty()) return 0.0;
    const size_t at = size_t(q * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(at), values.end());
    return values[at];
}

inline Steps clockSteps() {
    Steps steps;
    std::vector<double> sizes, intervals;
    size_t repeats = 0;
    for (size_t i = 1; i < presentedCount; ++i) {
        steps.intervalMax = std::max(steps.intervalMax, presented[i].wall - presented[i - 1].wall);
        if (presented[i - 1].clock < 0.0f) continue;
        if (presented[i].clock == presented[i - 1].clock) ++repeats;
        sizes.push_back(double(presented[i].clock) - double(presented[i - 1].clock));
        intervals.push_back(presented[i].wall - presented[i - 1].wall);
    }
    steps.frames = sizes.size();
    if (steps.frames == 0) return steps;
    steps.repeatShare = double(repeats) / double(steps.frames);
    steps.step10 = quantile(sizes, 0.10);
    steps.step50 = quantile(sizes, 0.50);
    steps.step90 = quantile(sizes, 0.90);
    steps.step99 = quantile(sizes, 0.99);
    steps.interval50 = quantile(intervals, 0.50);
    return steps;
}

}  // namespace probe

inline void probeStartUp() {
    probe::startUpEntered = secondsSinceProcessStart();
    pinCounter(INTRO_PROBE_SEED);
}

// Notes when the window and its GL context are ready.
inline void probeDisplayOpened() {
    probe::displayOpened = secondsSinceProcessStart();
    probe::displayOpenedCpu = processCpuSeconds();
}

// Notes when the first loading frame is ready.
inline LoadingFrameHook probeLoadingFrames() {
    return probe::loadingFrame;
}

// The probe draws a small picture: a ray-marched frame at the full size takes
// seconds in a software renderer, and the probe measures the clock and the
// stream, not the scenes.
inline void probePictureSize(int32_t& width, int32_t& height) {
    width = INTRO_PROBE_PICTURE_WIDTH;
    height = INTRO_PROBE_PICTURE_HEIGHT;
}

// Counts the frame and, on the last one, reads back how much of it is lit.
inline void probeBeforeSwap(const Show& show, bool sceneDrawn) {
    armAllocationCount(false);  // the probe's own work is not the show's
    ++probe::frames;
    if (show.clock < 0.0f) ++probe::preRollFrames;
    if (show.clock >= 0.0f && probe::drawnFrames == 0) probe::firstDrawnFrame = secondsSinceProcessStart();
    if (show.clock >= 0.0f) ++probe::drawnFrames;
    if (sceneDrawn) ++probe::sceneFrames;
    if (!probe::lookedAt && (show.clock >= INTRO_PROBE_LOOK_SECONDS || show.clock >= kShowEnd)) {
        probe::readLastFrame(show);
        probe::lookedAt = true;
        std::fprintf(stderr, "intro_probe looked at the frame of clock=%.6f lit=%.4f\n", double(show.clock), probe::lastFrameLit);
        std::fflush(stderr);
    }
    const int32_t phase = show.clock < 0.0f ? -2 : sceneDrawn ? show.timeline.sequence : -1;
    if (phase != probe::currentPhase) {
        // Printed before the swap, so a test that waits for it sees the
        // phase's first frame still on its way.
        probe::currentPhase = phase;
        char name[32];
        if (phase == -2)
            std::snprintf(name, sizeof(name), "preroll");
        else if (phase == -1)
            std::snprintf(name, sizeof(name), "black");
        else
            std::snprintf(name, sizeof(name), "sequence%d", int(phase));
        std::fprintf(stderr, "intro_probe_phase: phase=%s program=%d clock=%.3f wall=%.3f\n", name,
                     phase >= 0 ? int(kSequences.sceneProgram[phase]) : -1, double(show.clock),
                     probe::wallSeconds());
    }
    armAllocationCount(true);
}

// False once the probe has heard enough.
inline bool probeFrame(const Show& show) {
    armAllocationCount(false);
    // Everything from the end of the first frame on counts: that frame meets
    // lazily made objects of the window system for the first time.
    if (probe::frames == 1) {
        probe::allocationsAtEntry = countedAllocations();
        probe::allocationsAllAtEntry = countedAllocationsOfAllCode();
    }
    const probe::Mark now = probe::mark(show);
    probe::last = now;
    if (probe::presentedCount < probe::kMaxPresented)
        probe::presented[probe::presentedCount++] = {now.wall, show.clock, now.consumed};
    if (probe::clockSeen) {
        const double step = double(show.clock) - double(probe::previousClock);
        if (-step > probe::largestBackStep) probe::largestBackStep = -step;
        if (step > probe::largestForwardStep) probe::largestForwardStep = step;
    }
    probe::clockSeen = true;
    probe::previousClock = show.clock;
    if (!probe::first.taken && show.clock >= 1.0f) probe::first = now;
    // Every frame may be the last: Escape can end the loop after any of them.
    probe::last = now;
    if (show.clock < INTRO_PROBE_SECONDS) {
        armAllocationCount(true);
        return true;
    }
    return false;
}

// The frame loop is over: the allocation count stops before the shut-down.
inline void probeLoopEnded() {
    probe::loopEndWall = probe::wallSeconds();
    armAllocationCount(false);
    probe::loopAllocations = countedAllocations() - probe::allocationsAtEntry;
    probe::loopAllocationsAll = countedAllocationsOfAllCode() - probe::allocationsAllAtEntry;
}

inline void probeShutDown(const Show& show) {
    const AudioCounters c = readCounters(audioOutput);
    const probe::Lead lead = probe::pictureLead(c.firstSourceByte);
    const probe::Steps steps = probe::clockSteps();
    // The frame loop's last frame (from the end of the frame before it) and
    // the shut-down up to here: what an Escape or a signal has to wait for.
    const double lastFrame = probe::last.taken ? probe::loopEndWall - probe::last.wall : 0.0;
    const double shutDown = probe::wallSeconds() - probe::loopEndWall;
    std::fprintf(stderr,
                 "intro_probe: seed=%d blocks=%" PRIu64 " source_blocks=%" PRIu64 " underruns=%" PRIu64
                 " consumed=%" PRIu64 " written=%" PRIu64 " first_source_byte=%" PRId64
                 " first_music=%.6f first_consumed=%" PRIu64 " first_wall=%.6f"
                 " last_music=%.6f last_consumed=%" PRIu64 " last_wall=%.6f last_queued=%.6f"
                 " frames=%" PRIu64 " drawn_frames=%" PRIu64 " scene_frames=%" PRIu64 " last_clock=%.6f"
                 " clock_back_max=%.6f clock_step_max=%.6f lead_frames=%zu lead_mean=%.6f lead_spread=%.6f"
                 " lead_min=%.6f lead_max=%.6f last_lit=%.4f lit_bottom=%d lit_top=%d lit_left=%d lit_right=%d"
                 " window=%dx%d picture=%dx%d vsync=%d mode_switched=%d step_frames=%zu clock_repeats=%.4f"
                 " step_p10=%.6f step_p50=%.6f step_p90=%.6f step_p99=%.6f frame_interval_p50=%.6f"
                 " frame_interval_max=%.6f last_frame_seconds=%.6f shutdown_seconds=%.6f"
                 " startup_entered=%.3f display_opened=%.3f display_opened_cpu=%.3f"
                 " first_loading_frame=%.3f first_loading_frame_cpu=%.3f first_loading_step=%.3f"
                 " first_drawn_frame=%.3f preroll_frames=%" PRIu64 " loop_allocations=%" PRIu64
                 " loop_allocations_all=%" PRIu64 " allocations_counted=%d\n",
                 int(INTRO_PROBE_SEED), c.blocksWritten, c.sourceBlocks, c.underruns, c.bytesConsumed,
                 c.bytesWritten, c.firstSourceByte, probe::first.music, probe::first.consumed, probe::first.wall,
                 probe::last.music, probe::last.consumed, probe::last.wall, probe::last.queued, probe::frames,
                 probe::drawnFrames, probe::sceneFrames, double(show.clock), probe::largestBackStep,
                 probe::largestForwardStep, lead.frames, lead.mean, lead.spread, lead.least, lead.most,
                 probe::lastFrameLit, int(probe::litBottom), int(probe::litTop), int(probe::litLeft),
                 int(probe::litRight), int(show.display.width), int(show.display.height), int(show.pictureWidth),
                 int(show.pictureHeight), int(show.display.vsync), int(show.display.modeSwitched), steps.frames,
                 steps.repeatShare, steps.step10, steps.step50, steps.step90, steps.step99, steps.interval50,
                 steps.intervalMax, lastFrame, shutDown, probe::startUpEntered, probe::displayOpened,
                 probe::displayOpenedCpu, probe::firstLoadingFrame, probe::firstLoadingFrameCpu,
                 probe::firstLoadingStep, probe::firstDrawnFrame, probe::preRollFrames, probe::loopAllocations,
                 probe::loopAllocationsAll, int(probeCountsAllocations()));
}
