// Putting the show's fixed-size picture on a window of any size: the largest
// centred rectangle of the picture's aspect ratio (black bars around it), and
// the copy of a picture drawn offscreen into that rectangle.
#pragma once
#include <cstdint>

struct RenderTarget;

// The picture's aspect ratio, 16:9 by design, as the float the scenes and the
// loading bar scale x by.
constexpr float kPictureAspect = 1.7777778f;

// A rectangle of window pixels, from the bottom-left corner as glViewport
// takes it.
struct Viewport {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The largest rectangle with the picture's aspect ratio that fits the
// drawable, centred (bars left and right or above and below, the odd pixel
// of a bar going to the right or top). Sides are rounded to whole pixels and
// never exceed the drawable; an empty drawable or picture gives an empty box.
Viewport letterbox(int32_t drawableWidth, int32_t drawableHeight, int32_t pictureWidth, int32_t pictureHeight);

// Clears the whole window (the default frame buffer, `windowWidth` x
// `windowHeight`) to black and draws the target's colour texture scaled into
// `box` with copyProgram. Binds the window's frame buffer, leaves the viewport
// at `box`, no program current and texture unit 0 active.
void presentTarget(const RenderTarget& target, const Viewport& box, int32_t windowWidth, int32_t windowHeight);
