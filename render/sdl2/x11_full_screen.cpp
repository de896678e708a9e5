// Full screen on an X server, set before the window is mapped. SDL's own
// switch (SDL_WINDOW_FULLSCREEN_DESKTOP) also sets the state before mapping,
// then asks once more after it and waits up to 100 ms for the window to move
// twice and change size. A borderless window already at the desktop's size
// never does, so every start paid the whole wait, a third of the time to the
// first loading frame. Kept apart from display.cpp: Xlib's `Display` is a
// global name there already.
#include "render/sdl2/x11_full_screen.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

bool markX11FullScreen(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    ::Display* server = info.info.x11.display;
    const Atom state = XInternAtom(server, "_NET_WM_STATE", False);
    const Atom fullScreen = XInternAtom(server, "_NET_WM_STATE_FULLSCREEN", False);
    if (state == None || fullScreen == None) return false;
    // Replaces what SDL put there at creation (an empty list, for a window
    // made without SDL's full-screen, maximised or always-on-top flags); the
    // window manager takes the list as it stands when the window is mapped.
    XChangeProperty(server, info.info.x11.window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    XFlush(server);
    return true;
}
