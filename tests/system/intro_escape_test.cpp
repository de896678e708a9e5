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

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kIntro = INTRO_BINARY_DIR "/driver/intro";

// Output of a shell command (stdout only), trailing newline removed.
std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
    pclose(pipe);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The intro started with extra environment settings ("NAME=value", or "NAME"
// alone to remove NAME) and its stderr going to a file.
struct Intro {
    pid_t pid = -1;
    std::string stderrPath;

    explicit Intro(const std::vector<std::string>& environment = {}) {
        char pathTemplate[] = "/tmp/intro_stderr_XXXXXX";
        int fd = mkstemp(pathTemplate);
        stderrPath = pathTemplate;
        std::vector<std::string> settings;
        for (char** e = environ; *e != nullptr; ++e) settings.emplace_back(*e);
        for (const std::string& change : environment) {
            std::string name = change.substr(0, change.find('='));
            std::erase_if(settings, [&](const std::string& s) { return s.rfind(name + "=", 0) == 0; });
            if (change.find('=') != std::string::npos) settings.push_back(change);
        }
        std::vector<char*> envp;
        for (std::string& s : settings) envp.push_back(s.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fd, STDERR_FILENO);
        char* argv[] = {const_cast<char*>(kIntro), nullptr};
        if (posix_spawn(&pid, kIntro, &actions, nullptr, argv, envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fd);
    }

    ~Intro() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unlink(stderrPath.c_str());
    }

    // The exit code, or -1 when it has not ended within `limit`.
    int waitExit(std::chrono::milliseconds limit) {
        Clock::time_point end = Clock::now() + limit;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    std::string errors() const {
        std::stringstream text;
        text << std::ifstream(stderrPath).rdbuf();
        return text.str();
    }
};

int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

}  // namespace

TEST(IntroShow, CoversTheScreenAndEndsWithinASecondOfEscape) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    // The dummy sound driver: without any sound device the show says so on stderr.
    Intro intro({"SDL_AUDIODRIVER=dummy"});
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
        Intro intro(environment);
        ASSERT_GT(intro.pid, 0);
        EXPECT_EQ(intro.waitExit(std::chrono::seconds(10)), 1) << environment[0];
        std::string errors = intro.errors();
        EXPECT_EQ(lineCount(errors), 1) << errors;
        EXPECT_EQ(errors.rfind("intro: ", 0), 0u) << errors;
    }
}
