// The show as one file (intro_packed): under the intro category's 65,536
// bytes, and it unpacks, runs the real show under Xvfb, ends with exit code 0
// on Escape, passes on the show's exit code, and leaves no unpacked file
// behind and nothing else touched, whatever signal ends it and wherever
// TMPDIR points.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/processes.h"
#include "tests/support/sanitizer_build.h"
#include "tests/support/scratch_folder.h"

namespace {

const char* const kPacked = INTRO_BINARY_DIR "/driver/intro_packed";

// A sanitizer build carries its runtime and checks: only the optimised build
// has the size of the show that is handed out.
constexpr bool kShippedSize = !kSanitizerBuild;

std::string run(const std::string& command) {
    std::string out = runCommand(command).output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

TEST(PackedIntro, FitsInSixtyFourKibibytesAndRunsTheShowToEscape) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    const std::vector<uint8_t> bytes = readBytes(kPacked);
    ASSERT_FALSE(bytes.empty()) << "build the intro_packed target";
    if (kShippedSize) {
        EXPECT_LT(bytes.size(), 65536u);
    }

    // A private temporary folder: the unpacked program goes there and must
    // be gone once the show has ended.
    const ScratchFolder scratch("packed_intro");
    ASSERT_TRUE(scratch.made());
    const std::string& folder = scratch.path();
    {
        ChildProcess packed({kPacked}, {"SDL_AUDIODRIVER=dummy", "TMPDIR=" + folder});
        ASSERT_GT(packed.pid, 0);
        const std::string window = run("timeout 20 xdotool search --sync --onlyvisible --name '^intro$' | head -n 1");
        ASSERT_FALSE(window.empty()) << "no visible intro window: " << packed.errors();
        // The show runs from an open, already removed file.
        EXPECT_EQ(run("ls -A " + folder + " | wc -l"), "0");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_EQ(packed.waitExit(std::chrono::milliseconds(0)), -1) << packed.errors();
        run("xdotool keydown Escape; sleep 0.2; xdotool keyup Escape");
        EXPECT_EQ(packed.waitExit(std::chrono::milliseconds(3000)), 0);
        EXPECT_EQ(packed.errors(), "");
    }
    EXPECT_EQ(run("ls -A " + folder + " | wc -l"), "0");
}

TEST(PackedIntro, LeavesNothingBehindAndTouchesNothingElseWhateverEndsIt) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    const ScratchFolder scratch("packed_intro");
    ASSERT_TRUE(scratch.made());
    const std::string& root = scratch.path();
    // A TMPDIR with a blank, and a file named like its first word: an
    // unquoted path would remove that file.
    const std::string tmpdir = root + "/sp ace";
    ASSERT_EQ(run("mkdir '" + tmpdir + "' && echo keep > " + root + "/sp && echo ok"), "ok");
    const std::vector<std::string> environment = {"SDL_AUDIODRIVER=dummy", "TMPDIR=" + tmpdir};
    const std::string listing = run("ls -AR " + root);
    // The show quits on SIGINT and SIGTERM; SIGHUP and SIGKILL end it as
    // they end any program. Each reaches the show itself, not a wrapper.
    struct Case {
        int signal;
        int status;
    };
    for (const Case c : {Case{SIGINT, 0}, Case{SIGTERM, 0}, Case{SIGHUP, 128 + SIGHUP}, Case{SIGKILL, 128 + SIGKILL}}) {
        ChildProcess packed({kPacked}, environment);
        ASSERT_GT(packed.pid, 0);
        ASSERT_FALSE(run("timeout 20 xdotool search --sync --onlyvisible --name '^intro$' | head -n 1").empty())
            << packed.errors();
        kill(packed.pid, c.signal);
        EXPECT_EQ(packed.waitExit(std::chrono::milliseconds(5000)), c.status) << strsignal(c.signal);
        EXPECT_EQ(run("ls -AR " + root), listing) << strsignal(c.signal);
        EXPECT_EQ(run("cat " + root + "/sp"), "keep");
    }
    // A show that fails passes its exit code on: no display to open.
    ChildProcess headless({kPacked}, {"SDL_AUDIODRIVER=dummy", "TMPDIR=" + tmpdir, "DISPLAY=:99999"});
    ChildProcess plain({INTRO_BINARY_DIR "/driver/intro"}, {"SDL_AUDIODRIVER=dummy", "DISPLAY=:99999"});
    const int status = headless.waitExit(std::chrono::milliseconds(10000));
    EXPECT_NE(status, 0);
    EXPECT_EQ(status, plain.waitExit(std::chrono::milliseconds(10000)));
    EXPECT_EQ(run("ls -AR " + root), listing);
}
