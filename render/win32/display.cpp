// The display on Windows: the screen switched to 1600 x 900, one borderless
// maximised window of a class the system registers itself, a WGL context on
// it, the message pump, the Escape key state and SwapBuffers. The program has
// no window procedure: messages are taken off the queue and dropped.
#include "render/display.h"

#include <windows.h>

#include <GL/gl.h>

#include "render/gl_entry_points.h"

namespace {

constexpr int32_t kScreenWidth = 1600;
constexpr int32_t kScreenHeight = 900;
// The class the system itself registers under this atom; passing the atom in
// place of a class name spares the program a class of its own.
constexpr ATOM kSystemClassAtom = 0xC018;
// Messages taken per poll at most, so that a flood cannot hold the frame up.
constexpr int32_t kMessagesPerPoll = 256;

// Set when the mode switch succeeded: quitDisplaySystem gives the desktop's
// own mode back then, and only then.
bool screenSwitched = false;

// Holds the text of the last failure; Display::failure points into it.
char failureText[256];

static_assert(sizeof(DEVMODEA) == 156, "the display-mode record is 156 bytes");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the pixel-format record is 40 bytes");

// Only width and height are asked for, so colour depth and refresh rate stay
// the desktop's.
DEVMODEA showMode() {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = kScreenWidth;
    mode.dmPelsHeight = kScreenHeight;
    return mode;
}

// 32-bit RGBA with 8 bits of alpha, a 32-bit depth buffer, double-buffered.
PIXELFORMATDESCRIPTOR showPixelFormat() {
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cAlphaBits = 8;
    format.cDepthBits = 32;
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}

void* wglProcAddress(const char* name) {
    return reinterpret_cast<void*>(wglGetProcAddress(name));
}

HWND windowOf(const Display& display) {
    return static_cast<HWND>(display.window);
}

HDC deviceContextOf(const Display& display) {
    return static_cast<HDC>(display.deviceContext);
}

// The window's client area, which is what the context draws into.
void readSize(Display& display) {
    RECT area{};
    if (GetClientRect(windowOf(display), &area) == 0) return;
    display.width = area.right - area.left;
    display.height = area.bottom - area.top;
}

Display failed(Display& display, const char* what) {
    display.failure = what;
    closeDisplay(display);
    quitDisplaySystem();
    return display;
}

}  // namespace

Display openDisplay(const DisplayOptions& options) {
    Display display;
    if (options.hidden) {
        display.failure = "hidden windows are only offered on Linux";
        return display;
    }
    // The switch is temporary (CDS_FULLSCREEN): the system gives the mode back
    // when the process ends, whatever way it ends; quitDisplaySystem does it
    // at once. A refused switch leaves the desktop's size, and the picture is
    // then letterboxed into it.
    DEVMODEA mode = showMode();
    screenSwitched = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
    display.modeSwitched = screenSwitched;
    // Hidden before the window exists, so it never flashes up.
    ShowCursor(FALSE);

    // No title; WS_MAXIMIZE makes the borderless window cover the screen. Its
    // size is also given as the screen's (the size it would take when no
    // longer maximised): with a size of 0, wine maximises the window but
    // leaves its X window at 1 x 1 pixels, so nothing is seen and no key
    // reaches it.
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_MAXIMIZE;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExA(0, MAKEINTATOM(kSystemClassAtom), nullptr, style, 0, 0, width, height, nullptr,
                                  nullptr, nullptr, nullptr);
    // Not every system has a class under that atom (wine has none); the
    // static-control class is one that every system registers.
    if (window == nullptr)
        window = CreateWindowExA(0, "STATIC", nullptr, style, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return failed(display, "cannot create the window");
    display.window = window;
    display.deviceContext = GetDC(window);

    const PIXELFORMATDESCRIPTOR wanted = showPixelFormat();
    const int format = ChoosePixelFormat(deviceContextOf(display), &wanted);
    if (format == 0 || SetPixelFormat(deviceContextOf(display), format, &wanted) == FALSE)
        return failed(display, "no double-buffered RGBA pixel format with a depth buffer");
    PIXELFORMATDESCRIPTOR obtained{};
    DescribePixelFormat(deviceContextOf(display), format, sizeof(obtained), &obtained);
    display.depthBits = obtained.cDepthBits;

    HGLRC context = wglCreateContext(deviceContextOf(display));
    if (context == nullptr) return failed(display, "cannot create the OpenGL context");
    display.context = context;
    if (wglMakeCurrent(deviceContextOf(display), context) == FALSE)
        return failed(display, "cannot make the OpenGL context current");

    // Checked although the driver is trusted elsewhere: a scene program that
    // cannot compile, or a null entry point that is called, would crash the
    // show instead of ending it.
    const char* glsl = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    if (glslVersionNumber(glsl) < 130) return failed(display, "the OpenGL driver lacks GLSL 1.30");
    loadGlEntryPoints(glEntry, wglProcAddress);
    if (const char* missing = missingGlEntryPoint(glEntry)) {
        wsprintfA(failureText, "the OpenGL driver lacks %s", missing);
        return failed(display, failureText);
    }
    readSize(display);
    return display;
}

void closeDisplay(Display& display) {
    if (display.context != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(static_cast<HGLRC>(display.context));
    }
    if (display.deviceContext != nullptr) ReleaseDC(windowOf(display), deviceContextOf(display));
    if (display.window != nullptr) DestroyWindow(windowOf(display));
    display.context = nullptr;
    display.deviceContext = nullptr;
    display.window = nullptr;
}

void swapDisplay(Display& display) {
    SwapBuffers(deviceContextOf(display));
}

void pollDisplayEvent(Display& display) {
    // Messages are taken off the queue and dropped: nothing is translated or
    // dispatched. The whole queue goes each frame, not one message, so that a
    // slow frame never leaves the window unanswered long enough for the system
    // to call it hung. The window's paint request is never answered either
    // (there is no window procedure), so it comes back as soon as the queue
    // holds nothing else: that is where the queue counts as drained.
    MSG message;
    for (int32_t i = 0; i < kMessagesPerPoll; ++i) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) == 0) break;
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) display.escapeLatched = true;
        if (message.message == WM_PAINT) break;
    }
    // A press that is still queued behind the paint request, or that came and
    // went between two polls, shows in the key state: remembered here, the
    // loading screen sees it after each program rather than at the first frame.
    if (GetAsyncKeyState(VK_ESCAPE) != 0) display.escapeLatched = true;
    // The window may have been resized after it was made (a mode switch that
    // came late, a second monitor): the presentation follows its client area.
    if (display.window != nullptr) readSize(display);
}

bool escapeRequested(Display& display) {
    // Non-zero when the key is down now or went down since the last query.
    const bool requested = display.escapeLatched || GetAsyncKeyState(VK_ESCAPE) != 0;
    display.escapeLatched = false;
    return requested;
}

void quitDisplaySystem() {
    // The registry's mode: the desktop as it was before the show.
    if (screenSwitched) ChangeDisplaySettingsA(nullptr, 0);
    screenSwitched = false;
}
