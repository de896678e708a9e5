// What the system tests start programs with: exit codes, stderr,
// waiting with and without a limit, and environment changes that really
// replace or remove a setting.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/processes.h"

namespace {

using std::chrono::milliseconds;

TEST(ChildProcess, ReportsTheExitCodeAndWhatWentToStderr) {
    ChildProcess child({"/bin/sh", "-c", "echo to-out; echo to-err >&2; exit 3"}, {});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(child.waitExit(milliseconds(5000)), 3);
    EXPECT_EQ(child.errors(), "to-err\n");
    // Once waited for, it is not waited for again.
    EXPECT_EQ(child.waitExit(milliseconds(0)), -1);
}

TEST(ChildProcess, AKilledChildCounts128PlusTheSignal) {
    ChildProcess child({"/bin/sh", "-c", "kill -9 $$"}, {});
    EXPECT_EQ(child.waitExit(), 128 + 9);
}

TEST(ChildProcess, AZeroLimitLooksOnceWithoutWaiting) {
    ChildProcess quick({"/bin/sh", "-c", "exit 4"}, {});
    ChildProcess slow({"/bin/sh", "-c", "exec sleep 30"}, {});
    ASSERT_GT(slow.pid, 0);
    EXPECT_EQ(slow.waitExit(milliseconds(300)), -1);
    // quick has ended by now: a zero limit must still collect its exit code.
    EXPECT_EQ(quick.waitExit(milliseconds(0)), 4);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slow.waitExit(milliseconds(0)), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(100));
}

TEST(ChildProcess, GoingAwayKillsARunningChildAndRemovesItsStderrFile) {
    pid_t pid = -1;
    std::string path;
    {
        ChildProcess child({"/bin/sh", "-c", "exec sleep 30"}, {});
        pid = child.pid;
        path = child.stderrPath;
        ASSERT_GT(pid, 0);
    }
    EXPECT_NE(kill(pid, 0), 0) << "still running";
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path << " left behind";
}

TEST(ChildProcess, AProgramThatDoesNotExistDoesNotStart) {
    ChildProcess child({"/no/such/program"}, {});
    EXPECT_EQ(child.pid, -1);
}

TEST(ChangedEnvironment, SettingsReplaceEarlierValuesAndBareNamesRemove) {
    ASSERT_EQ(setenv("PROCESS_SUPPORT_A", "outer", 1), 0);
    ASSERT_EQ(setenv("PROCESS_SUPPORT_B", "outer", 1), 0);
    // A child reads the first of two settings of one name, so an added
    // setting must replace the inherited one, not follow it.
    ChildProcess child({"/bin/sh", "-c", "printf '%s|%s' \"$PROCESS_SUPPORT_A\" \"${PROCESS_SUPPORT_B-unset}\" >&2"},
                       {"PROCESS_SUPPORT_A=first", "PROCESS_SUPPORT_A=second", "PROCESS_SUPPORT_B"});
    EXPECT_EQ(child.waitExit(milliseconds(5000)), 0);
    EXPECT_EQ(child.errors(), "second|unset");
    unsetenv("PROCESS_SUPPORT_A");
    unsetenv("PROCESS_SUPPORT_B");
}

TEST(RunCommand, StdoutAndExitCode) {
    const CommandRun run = runCommand("echo one; echo two >&2; exit 5");
    EXPECT_EQ(run.status, 5);
    EXPECT_EQ(run.output, "one\n");
}

TEST(ProbeFigures, ReadsNameValuePairsOfTheProbeLineOnly) {
    const auto f = probeFigures("noise=1\nintro_probe: frames=12 window=1600x900 lead=-0.25 word\nlater=3\n");
    EXPECT_EQ(f.size(), 3u);
    EXPECT_EQ(f.at("frames"), 12.0);
    EXPECT_EQ(f.at("window"), 1600.0);
    EXPECT_EQ(f.at("lead"), -0.25);
    EXPECT_TRUE(probeFigures("no probe line\n").empty());
}

}  // namespace
