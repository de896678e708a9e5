// Running the build's programs from tests: a child with a changed environment
// and its stderr in a file, waiting for it with a time limit, a shell
// command's output and exit code, and the probe build's figures line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The current environment with `changes` applied in order: "NAME=value" sets
// NAME (replacing any value it had), "NAME" alone removes it.
std::vector<std::string> changedEnvironment(const std::vector<std::string>& changes);

// A program started with `arguments` (the first is the program's path) and a
// changed environment, its stderr going to a temporary file. If it is still
// running when this goes away it is killed; the file is removed.
struct ChildProcess {
    pid_t pid = -1;  // -1 when it could not start or has been waited for
    std::string stderrPath;

    ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& changes);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code (128 + signal when killed by a signal), or -1 when it has
    // not ended within `limit`. A zero limit looks once without waiting.
    int waitExit(std::chrono::milliseconds limit);
    // The exit code, however long that takes.
    int waitExit();
    // Everything it has written to stderr so far.
    std::string errors() const;
};

struct CommandRun {
    int status = -1;     // exit code; -1 when it did not run or did not exit
    std::string output;  // its stdout (add 2>&1 to the command for stderr too)
};

// Runs `command` through the shell to its end.
CommandRun runCommand(const std::string& command);

std::string readText(const std::string& path);
std::vector<uint8_t> readBytes(const std::string& path);
// The names in a folder, hidden ones included (a temporary file left behind
// shows up), sorted; empty when it cannot be read.
std::vector<std::string> namesIn(const std::string& folder);

// The "name=value" figures of the first "intro_probe:" line in `errors`;
// values that are not numbers (such as 1600x900) keep their leading number.
std::map<std::string, double> probeFigures(const std::string& errors);
