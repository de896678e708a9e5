// Helper programs (sox, ffmpeg, ffprobe) run by the tools. Each leads a
// process group of its own, so Ctrl-C at the terminal reaches the tool alone
// and the tool decides; the kernel kills it if the tool dies first
// (PR_SET_PDEATHSIG), and the stop handlers kill its whole group: no helper
// outlives the tool or writes after it is gone.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// Starts argv[0], looked up on PATH, with its stdin, stdout and stderr taken
// from the given descriptors (-1: the tool's own). The child is tracked by
// the stop handlers until waitChild. -1 (after a message naming the program)
// when it cannot start.
pid_t startChild(const char* tool, const std::vector<const char*>& argv, int in = -1, int out = -1, int err = -1);
// Waits for the child and forgets it; true when it exited with 0.
bool waitChild(pid_t pid);
// Runs a child to its end with stdout (and stderr, when `withErrors`)
// collected into `output`; true when it exited with 0.
bool runChildCollecting(const char* tool, const std::vector<const char*>& argv, std::string& output,
                        bool withErrors);
