// Start-up of the pictures: palette textures, the utility programs and the
// scene programs, with a loading bar that grows one sixth per scene (the cube
// field's two programs make one step).
#pragma once
#include <cstdint>

struct Display;

// Called once a loading frame is finished (after glFinish, before it is
// swapped to the screen), with step 1..6; tools read the picture back here.
using LoadingFrameHook = void (*)(int32_t step, void* user);

// The bar's length after `step` of the six scenes is built, as the
// loading shader's "percent": step / 6 in single precision, exactly 1 at 6.
float loadingPercent(int32_t step);

// The first picture of the show, made with as little as possible before it:
// builds the loading program and presents the loading screen with the bar
// still empty, so that the screen says "loading" while the rest is built.
// Needs the context current, glEntry loaded and the full-screen quad made;
// draws into whatever frame buffer and viewport are current. The hook sees
// this frame as step 0. The loadPrograms that follows in the same context
// uses this loading program instead of building its own. False when the
// program did not build (reported on stderr as in loadPrograms). Drains the
// display's events afterwards, like every loading frame.
bool openLoadingScreen(Display& display, LoadingFrameHook hook = nullptr, void* user = nullptr);

// Builds everything the frame loop draws with (the palette textures right
// after the first loading frame, the programs before) and presents six loading
// frames, each after its scene's programs have been built and drawn once. Needs
// the context current, glEntry loaded and the full-screen quad made. Draws
// into whatever frame buffer and viewport are current. A program that does
// not build is reported on stderr (the GL's log, located in the shader files)
// and kept: false then, but everything else is built all the same. Drains the
// display's events after each frame and stops early, with the later scene
// programs left 0, once an Escape or a quit request is latched.
bool loadPrograms(Display& display, LoadingFrameHook hook = nullptr, void* user = nullptr);
