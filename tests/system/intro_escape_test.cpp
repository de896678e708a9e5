// The real intro binary under Xvfb: it covers the screen, ends with exit code
// 0 within a second of Escape, and refuses to start without a screen.
//
// How the test knows the GL context exists: the program only keeps running
// once openDisplay has made a current context offering GLSL 1.30 and found
// every called entry point; otherwise it exits 1 with a line on stderr. So a
// window that stays up, a silent stderr and exit code 0 after Escape mean the
// context was there. tests/gl/display_test.cpp checks the same openDisplay's
// context directly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/processes.h"
#include "tests/support/sanitizer_build.h"

namespace {

const char* const kIntro = INTRO_BINARY_DIR "/driver/intro";

// Output of a shell command (stdout only), trailing newline removed.
std::string run(const std::string& command) {
    std::string out = runCommand(command).output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

}  // namespace

TEST(IntroShow, CoversTheScreenAndEndsWithinASecondOfEscape) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    // The dummy sound driver: without any sound device the show says so on stderr.
    ChildProcess intro({kIntro}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(intro.pid, 0);

    std::string window = run("timeout 20 xdotool search --sync --onlyvisible --name '^intro$' | head -n 1");
    ASSERT_FALSE(window.empty()) << "no visible intro window: " << intro.errors();
    std::string screen = run("xdotool getdisplaygeometry");
    std::string geometry = run("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Position: 0,0"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Geometry: " + screen.replace(screen.find(' '), 1, "x")),
              std::string::npos)
        << geometry;

    // Still running well after its window appeared: the context was made.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(intro.waitExit(std::chrono::milliseconds(0)), -1) << intro.errors();

    // Held for 0.2 s, as a person presses it; measured from the key-up.
    run("xdotool keydown Escape; sleep 0.2; xdotool keyup Escape");
    EXPECT_EQ(intro.waitExit(std::chrono::milliseconds(1000)), 0);
    EXPECT_EQ(intro.errors(), "");
}

TEST(IntroShow, WithoutAScreenItStopsWithOneLineInsteadOfRunningUnseen) {
    // SDL falls back to its offscreen driver by itself when no X or Wayland
    // server answers: nobody could see the show or press Escape there.
    // XDG_RUNTIME_DIR keeps the Wayland probe from printing a line of its own.
    const std::vector<std::vector<std::string>> cases = {
        {"SDL_VIDEODRIVER=absent"},
        {"SDL_VIDEODRIVER=offscreen"},
        {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR=/tmp"},
    };
    for (const std::vector<std::string>& environment : cases) {
        // A console that SDL could take over directly is a screen after all.
        if (environment.size() > 1 && access("/dev/dri/card0", R_OK | W_OK) == 0) continue;
        // "NAME" alone removes NAME from the environment.
        ChildProcess intro({kIntro}, environment);
        ASSERT_GT(intro.pid, 0);
        EXPECT_EQ(intro.waitExit(std::chrono::seconds(10)), 1) << environment[0];
        std::string errors = intro.errors();
        EXPECT_EQ(lineCount(errors), 1) << errors;
        EXPECT_EQ(errors.rfind("intro: ", 0), 0u) << errors;
    }
}

// The sanitizer runtimes need descriptors of their own (UBSan probes memory
// through a pipe), so under a tight descriptor limit they report their own
// failure before the show can name the cause.
constexpr bool kDescriptorsForTheShowAlone = !kSanitizerBuild;

TEST(IntroShow, WhenItCannotOpenAWindowItNamesTheCause) {
    // Each case breaks one thing the window needs and expects the cause in the
    // one line the show prints, not a guess at a missing screen. The show's
    // own descriptors (stdin, stdout, stderr) leave one free under a limit of
    // 4: SDL cannot reach the X server, and falls back to a driver that shows
    // nothing. A server without GLX gives a window but no GL context.
    const std::string intro = kIntro;
    const struct {
        std::string command;
        std::string cause;
        bool limitsDescriptors;
    } cases[] = {
        {"exec 3>&-; ulimit -n 4; exec " + intro, "out of file descriptors: 1 free under a limit of 4 (ulimit -n)", true},
        {"export DISPLAY=:987; exec " + intro, "cannot connect to the X server at DISPLAY=:987", false},
        {"xvfb-run -a -s '-extension GLX' sh -c '" + intro + "'", "GLX", false},
    };
    for (const auto& c : cases) {
        if (c.limitsDescriptors && !kDescriptorsForTheShowAlone) continue;
        const CommandRun run = runCommand("{ export SDL_AUDIODRIVER=dummy; " + c.command + "; } 2>&1");
        EXPECT_EQ(run.status, 1) << c.command << "\n" << run.output;
        // The X library may say something of its own first (no descriptor
        // for the authority file); the show's line is the last.
        const size_t last = run.output.rfind('\n', run.output.size() - 2) + 1;
        const std::string line = run.output.substr(last);
        EXPECT_EQ(line.rfind("intro: ", 0), 0u) << run.output;
        EXPECT_NE(line.find(c.cause), std::string::npos) << c.command << "\n" << run.output;
    }
}
