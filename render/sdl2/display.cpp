// The display on Linux: the window and GL context on SDL2, buffer swaps, and
// the event poll and Escape test of the frame loop.
#include "render/display.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/icon_picture.h"
#include "render/gl_entry_points.h"
#include "render/sdl2/x11_full_screen.h"

namespace {

SDL_Window* sdlWindow(const Display& display) {
    return static_cast<SDL_Window*>(display.window);
}

// Holds the text of the last failure; Display::failure points into it.
char failureText[256];

const char* fail(const char* what) {
    std::snprintf(failureText, sizeof(failureText), "%s: %s", what, SDL_GetError());
    return failureText;
}

// The X connection, the GL driver and the sound device each take file
// descriptors; with fewer free than this a failure to open the window is put
// down to the limit. Under Xvfb and Mesa the show starts with three free.
constexpr int32_t kDescriptorsWanted = 16;

// How many more file descriptors the process could open, counted up to
// `wanted` by opening /dev/null and closing it again. `wanted` when the count
// cannot be made for another reason (no /dev/null): no shortage is claimed.
int32_t freeDescriptors(int32_t wanted) {
    int held[kDescriptorsWanted];
    int32_t free = 0;
    bool limited = false;
    while (free < wanted && free < kDescriptorsWanted) {
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            limited = errno == EMFILE || errno == ENFILE;
            break;
        }
        held[free++] = fd;
    }
    for (int32_t i = 0; i < free; ++i) close(held[i]);
    return limited ? free : wanted;
}

// Appends to failureText why a window could not be had when the process is
// short of file descriptors: SDL's own message then names only the symptom
// (no X connection, no GLX visual). Nothing when enough are free.
void addDescriptorShortage() {
    const int32_t spare = freeDescriptors(kDescriptorsWanted);
    if (spare >= kDescriptorsWanted) return;
    rlimit limit = {};
    getrlimit(RLIMIT_NOFILE, &limit);
    const size_t used = std::strlen(failureText);
    std::snprintf(failureText + used, sizeof(failureText) - used,
                  "; out of file descriptors: %d free under a limit of %llu (ulimit -n)", int(spare),
                  static_cast<unsigned long long>(limit.rlim_cur));
}

void* sdlProcAddress(const char* name) {
    return SDL_GL_GetProcAddress(name);
}

// Drivers that show nothing and deliver no keys.
bool driverHasScreen(const char* driver) {
    return driver != nullptr && std::strcmp(driver, "offscreen") != 0 &&
           std::strcmp(driver, "dummy") != 0;
}

void setAttributes(int depthBits) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    // 3.0 is the first version that must offer GLSL 1.30; the compatibility
    // profile keeps the 1.1 matrix stacks and client vertex arrays.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

// Gives the window the program's icon, for window lists and task bars.
void setWindowIcon(SDL_Window* window) {
    static uint8_t pixels[kIconWidth * kIconHeight * 4];
    for (int32_t y = 0; y < kIconHeight; ++y)
        for (int32_t x = 0; x < kIconWidth; ++x) iconPixel(x, y, &pixels[(y * kIconWidth + x) * 4]);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels, kIconWidth, kIconHeight, 32, kIconWidth * 4,
                                                           SDL_PIXELFORMAT_RGBA32);
    if (icon == nullptr) return;  // no icon is no reason to stop
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

// One attempt at window plus context with the given depth; null context and
// window when either could not be made.
bool tryWindow(Display& display, const DisplayOptions& options, int depthBits) {
    setAttributes(depthBits);
    Uint32 flags = SDL_WINDOW_OPENGL;
    SDL_Rect area = {SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, options.width,
                     options.height};
    // On X11 the window is made hidden, marked full screen and then shown,
    // which spares SDL's 100 ms wait for a window manager (x11_full_screen.h).
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool onX11 = !options.hidden && !options.windowed && driver != nullptr && std::strcmp(driver, "x11") == 0;
    if (options.hidden) {
        flags |= SDL_WINDOW_HIDDEN;
    } else if (options.windowed) {
        flags |= SDL_WINDOW_RESIZABLE;
    } else {
        // Desktop full screen never switches the video mode, so a crash cannot
        // leave the desktop at the wrong size. The window is also made at the
        // desktop's own position and size: without a window manager (a bare X
        // server such as Xvfb) nobody else would make it cover the screen.
        flags |= SDL_WINDOW_BORDERLESS | (onX11 ? SDL_WINDOW_HIDDEN : SDL_WINDOW_FULLSCREEN_DESKTOP);
        if (SDL_GetDisplayBounds(0, &area) != 0) return false;
    }
    display.window = SDL_CreateWindow("intro", area.x, area.y, area.w, area.h, flags);
    if (display.window == nullptr) return false;
    if (onX11) {
        if (!markX11FullScreen(sdlWindow(display)))
            SDL_SetWindowFullscreen(sdlWindow(display), SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_ShowWindow(sdlWindow(display));
    }
    display.context = SDL_GL_CreateContext(sdlWindow(display));
    if (display.context == nullptr) {
        SDL_DestroyWindow(sdlWindow(display));
        display.window = nullptr;
        return false;
    }
    return true;
}

}  // namespace

Display openDisplay(const DisplayOptions& options) {
    Display display;
    if ((options.hidden || options.windowed) && (options.width <= 0 || options.height <= 0)) {
        display.failure = "a hidden or ordinary window needs a positive width and height";
        return display;
    }
    // Without XDG_RUNTIME_DIR (a headless server, a CI job) no Wayland
    // compositor can be reached, but SDL's Wayland probe still says
    // "error: XDG_RUNTIME_DIR is invalid or not set" while it fails: skip that
    // probe unless the user chose drivers. The environment overrides the hint.
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,kmsdrm,offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        display.failure = fail("cannot start SDL video");
        return display;
    }
    if (!options.hidden && !driverHasScreen(SDL_GetCurrentVideoDriver())) {
        // With DISPLAY set there is a screen, but SDL could not connect to it
        // and took a driver that shows nothing.
        const char* x11 = std::getenv("DISPLAY");
        if (x11 != nullptr && x11[0] != '\0') {
            std::snprintf(failureText, sizeof(failureText), "cannot connect to the X server at DISPLAY=%s", x11);
        } else {
            std::snprintf(failureText, sizeof(failureText),
                          "no screen to show on (SDL video driver '%s'): run it under X11 or "
                          "Wayland, or inside xvfb-run",
                          SDL_GetCurrentVideoDriver());
        }
        addDescriptorShortage();
        display.failure = failureText;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return display;
    }
    // The pointer is hidden before the window exists, so it never flashes up.
    if (!options.windowed) SDL_ShowCursor(SDL_DISABLE);

    // The deepest depth buffer the system has: 32 bits, else 24.
    if (!tryWindow(display, options, 32) && !tryWindow(display, options, 24)) {
        display.failure = fail("cannot create the OpenGL window");
        addDescriptorShortage();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return display;
    }
    if (!options.hidden) setWindowIcon(sdlWindow(display));
    if (SDL_GL_MakeCurrent(sdlWindow(display), display.context) != 0) {
        display.failure = fail("cannot make the OpenGL context current");
        closeDisplay(display);
        return display;
    }

    // Swaps wait for the vertical blank where the driver offers it; where it
    // does not (or refuses), the frame loop runs free, which the show allows.
    if (!options.hidden && !options.windowed) display.vsync = SDL_GL_SetSwapInterval(1) == 0;

    int depth = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    display.depthBits = depth;
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(sdlWindow(display), &width, &height);
    display.width = width;
    display.height = height;

    const char* glsl = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    if (glslVersionNumber(glsl) < 130) {
        std::snprintf(failureText, sizeof(failureText),
                      "the OpenGL context offers GLSL %s, 1.30 is needed", glsl ? glsl : "(none)");
        display.failure = failureText;
        closeDisplay(display);
        return display;
    }

    loadGlEntryPoints(glEntry, sdlProcAddress);
    if (const char* missing = missingGlEntryPoint(glEntry)) {
        std::snprintf(failureText, sizeof(failureText),
                      "the OpenGL driver lacks %s", missing);
        display.failure = failureText;
        closeDisplay(display);
        return display;
    }
    return display;
}

void closeDisplay(Display& display) {
    if (display.context != nullptr) SDL_GL_DeleteContext(display.context);
    if (display.window != nullptr) SDL_DestroyWindow(sdlWindow(display));
    display.context = nullptr;
    display.window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void swapDisplay(Display& display) {
    SDL_GL_SwapWindow(sdlWindow(display));
}

void pollDisplayEvent(Display& display) {
    // Every pending event, not one: a frame can take seconds in a software
    // renderer, and an Escape queued behind mouse motion or window events
    // would otherwise wait that many frames.
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        // A quick press can come and go between two tests: remember it. A quit
        // request (window closed, SIGINT/SIGTERM caught by SDL) ends the show
        // the same way, since SDL would otherwise swallow Ctrl-C.
        if (event.type == SDL_KEYDOWN && event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)
            display.escapeLatched = true;
        if (event.type == SDL_QUIT) display.escapeLatched = true;
        // A window manager may still resize the full-screen window after it
        // was made; the presentation follows the drawable's size.
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            int width = 0;
            int height = 0;
            SDL_GL_GetDrawableSize(sdlWindow(display), &width, &height);
            display.width = width;
            display.height = height;
        }
    }
}

bool escapeRequested(Display& display) {
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    bool requested = display.escapeLatched || keys[SDL_SCANCODE_ESCAPE] != 0;
    display.escapeLatched = false;
    return requested;
}

void quitDisplaySystem() {
    SDL_Quit();
}
