// The show's one window and its OpenGL context, plus the input side of the
// frame loop: the event queue drained each frame and the Escape test. All
// window-system calls of the program's picture side live behind this header:
// SDL2 on Linux (render/sdl2/display.cpp), Win32 and WGL on Windows
// (render/win32/display.cpp).
#pragma once
#include <cstdint>

// The show uses the defaults: a borderless window covering the desktop. Tools
// and GL tests ask for a hidden window of a fixed size instead, and the
// development player for an ordinary window that the user may resize (Linux).
struct DisplayOptions {
    bool hidden = false;
    bool windowed = false;  // visible, decorated, resizable, with the pointer
    int32_t width = 0;   // pixels; hidden and windowed windows only
    int32_t height = 0;  // pixels; hidden and windowed windows only
};

struct Display {
    void* window = nullptr;   // SDL_Window* or HWND
    void* context = nullptr;  // SDL_GLContext or HGLRC, current on the opening thread
    void* deviceContext = nullptr;  // the window's HDC on Windows; null on Linux
    int32_t width = 0;        // drawable size in pixels, as read back (and
    int32_t height = 0;       // again after the window was resized)
    int32_t depthBits = 0;  // of the depth buffer actually obtained
    bool vsync = false;     // swaps wait for the vertical blank (as far as the driver says)
    bool escapeLatched = false;  // Escape went down since the last escapeRequested
    const char* failure = nullptr;  // one line saying why openDisplay failed, else null
    // The screen's mode was switched for the show (Windows); quitDisplaySystem
    // gives the desktop's own mode back.
    bool modeSwitched = false;
};

// Linux: starts SDL video, hides the pointer, makes the window with a
// double-buffered RGBA 8/8/8/8 GL compatibility context (depth 32, else 24)
// offering GLSL 1.30, makes it current, asks for swaps on the vertical blank
// (full-screen windows only) and loads glEntry. A full-screen window needs a
// real screen: SDL's offscreen and dummy drivers are refused, since nobody
// could see the show or press Escape there. On failure everything opened is
// closed again and `failure` says why. Windows: switches the screen to
// 1600 x 900, hides the pointer and makes a borderless maximised window with
// a WGL context (render/win32/display.cpp); hidden windows are not offered.
Display openDisplay(const DisplayOptions& options = {});
// Destroys the context and window and stops SDL video (tests and tools; the
// show leaves them to quitDisplaySystem).
void closeDisplay(Display& display);
// Shows the back buffer.
void swapDisplay(Display& display);
// Takes every pending window-system event without waiting. The events are
// dropped, except that an Escape key-down or a quit request (window closed,
// Ctrl-C, SIGTERM) is remembered until the next escapeRequested, and a size
// change updates width and height.
void pollDisplayEvent(Display& display);
// True when Escape is down now or was pressed (or quit requested) since the
// last call; clears what was remembered.
bool escapeRequested(Display& display);
// Shuts the window system down as a whole, leaving the desktop as it was
// (on Windows the display mode is given back).
void quitDisplaySystem();

// The GLSL version a GL_SHADING_LANGUAGE_VERSION string names, as 100 * major
// + minor ("4.50 ..." gives 450, "1.30" gives 130); 0 when unreadable.
int32_t glslVersionNumber(const char* text);
