// The whole show, start to its own end at 115 s: the probe build at its
// small picture (intro_soak) under Xvfb with SDL's dummy sound driver. It
// must end by itself with exit code 0, every Sequence must appear in order,
// the device must never run dry, the picture clock must never step back, and
// the frame loop's own code must not allocate once its first frame is done.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/processes.h"

namespace {

const char* const kSoak = INTRO_BINARY_DIR "/driver/intro_soak";

}  // namespace

TEST(FullShow, RunsToItsOwnEndWithoutUnderrunBackStepOrAllocation) {
    ChildProcess probe({"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1280x720x24", kSoak}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(probe.pid, 0);
    ASSERT_EQ(probe.waitExit(std::chrono::seconds(400)), 0) << probe.errors();
    const std::string errors = probe.errors();
    const std::map<std::string, double> f = probeFigures(errors);
    for (const char* name : {"last_clock", "underruns", "clock_back_max", "loop_allocations", "allocations_counted",
                             "frames", "blocks"})
        ASSERT_TRUE(f.count(name)) << "the probe printed no " << name << ": " << errors;

    // Its own end: the first frame at 115 s or later, within a few frames.
    EXPECT_GE(f.at("last_clock"), 115.0);
    EXPECT_LT(f.at("last_clock"), 115.5);
    // Every Sequence up to the last one shown before 115 s, in order.
    size_t at = 0;
    for (int s = 0; s <= 9; ++s) {
        const size_t found = errors.find("phase=sequence" + std::to_string(s) + " ", at);
        ASSERT_NE(found, std::string::npos) << "Sequence " << s << " never shown (or out of order)";
        at = found;
    }
    EXPECT_EQ(f.at("underruns"), 0.0);
    EXPECT_EQ(f.at("clock_back_max"), 0.0);
    if (f.at("allocations_counted") == 1.0) {
        EXPECT_EQ(f.at("loop_allocations"), 0.0) << "the frame loop's own code allocated";
    }
    // 115 s of sound at 512 frames per block, at the least.
    EXPECT_GE(f.at("blocks"), 115.0 * 44100.0 / 512.0);
    std::printf("soak: %s\n", errors.substr(errors.find("intro_probe: seed")).c_str());
}
