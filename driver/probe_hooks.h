// The points at which the show's test builds (intro_probe and its variants,
// compiled with INTRO_PROBE defined) watch it: their definitions live with
// the tests (tests/probe/probe.h). In the shipped intro every hook is empty.
#pragma once
#include "driver/show.h"

#ifdef INTRO_PROBE
#include "tests/probe/probe.h"
#else

#include "render/loading_screen.h"

inline void probeStartUp() {}
inline void probeDisplayOpened() {}
inline LoadingFrameHook probeLoadingFrames() {
    return nullptr;
}
inline void probePictureSize(int32_t&, int32_t&) {}
inline void probeBeforeSwap(const Show&, bool) {}
inline bool probeFrame(const Show&) { return true; }
inline void probeLoopEnded() {}
inline void probeShutDown(const Show&) {}

#endif
