// The show's picture side, made offscreen for capture: a hidden window, the
// note textures, the quad, every program (checked) and a render target of the
// picture size, and the frame loop's drawing of one frame into it.
#pragma once
#include <cstdint>

#include "render/data_texture.h"
#include "render/display.h"
#include "tools/replay/picture.h"

struct RenderTarget;
struct ShowReplay;

struct ShowPictures {
    Display display;
    RenderTarget* target = nullptr;
    DataTexture notesVelocity;
    DataTexture maxNotesVelocity;
    int32_t loadingStep = 0;  // the loading frame to keep, 0 for none
    Picture loadingFrame;
};

// Start-up as the show does it, drawing into an offscreen target of the
// picture size, in a hidden window or, when `window` is given, in that one.
// False, after printing why (a build log, or the display's failure), when
// something did not work.
bool openShowPictures(ShowPictures& pictures, int32_t width, int32_t height, const ShowReplay& replay,
                      const DisplayOptions* window = nullptr);
void closeShowPictures(ShowPictures& pictures);

// Draws the replay's current frame as the frame loop would (black outside
// the Sequence's draw window) and waits until the GL has finished it.
void drawReplayFrame(ShowPictures& pictures, const ShowReplay& replay);
// Reads the target back, made opaque (the screen ignores alpha).
Picture readShowPicture(const ShowPictures& pictures);
