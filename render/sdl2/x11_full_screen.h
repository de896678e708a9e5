// Full screen on an X server without SDL's wait for the window manager.
#pragma once

struct SDL_Window;

// Marks a window that is not mapped yet as full screen, in the
// _NET_WM_STATE property that a window manager reads when the window is
// first mapped. False when the window is not an X11 one or the property
// cannot be set; the caller then asks SDL for full screen instead.
bool markX11FullScreen(SDL_Window* window);
