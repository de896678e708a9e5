// The show as one file (intro_packed): under the intro category's 65,536
// bytes, and it unpacks, runs the real show under Xvfb, ends with exit code 0
// on Escape and leaves no unpacked file behind.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/processes.h"

namespace {

const char* const kPacked = INTRO_BINARY_DIR "/driver/intro_packed";

// A sanitizer build carries its runtime and checks: only the optimised build
// has the size of the show that is handed out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kShippedSize = false;
#else
constexpr bool kShippedSize = true;
#endif

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
    if (kShippedSize) EXPECT_LT(bytes.size(), 65536u);

    // A private temporary folder: the unpacked program goes there and must
    // be gone once the show has ended.
    char pattern[] = "/tmp/packed_intro_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    {
        ChildProcess packed({kPacked}, {"SDL_AUDIODRIVER=dummy", "TMPDIR=" + folder});
        ASSERT_GT(packed.pid, 0);
        const std::string window = run("timeout 20 xdotool search --sync --onlyvisible --name '^intro$' | head -n 1");
        ASSERT_FALSE(window.empty()) << "no visible intro window: " << packed.errors();
        EXPECT_EQ(run("ls " + folder + " | wc -l"), "1");  // the unpacked show, running
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_EQ(packed.waitExit(std::chrono::milliseconds(0)), -1) << packed.errors();
        run("xdotool keydown Escape; sleep 0.2; xdotool keyup Escape");
        EXPECT_EQ(packed.waitExit(std::chrono::milliseconds(3000)), 0);
        EXPECT_EQ(packed.errors(), "");
    }
    EXPECT_EQ(run("ls -A " + folder + " | wc -l"), "0");
    run("rm -rf " + folder);
}
