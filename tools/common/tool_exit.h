// What the offline tools share for ending well: Ctrl-C and SIGTERM stop a
// run at once, kill its helper processes and remove every file it had
// started; failed runs remove them the same way. Exit codes follow the shell:
// 128 + the signal (130 for SIGINT, 143 for SIGTERM).
#pragma once
#include <sys/types.h>

#include <cstdint>

// Installs the SIGINT and SIGTERM handlers (unless the parent ignores the
// signal). Call first thing in main, on the main thread, before any library
// (SDL) that would install its own.
void installStopHandlers();

// A file this run is about to create or overwrite: it is removed if the run
// is stopped by a signal or gives up (removeStartedOutputs). Up to eight;
// the path is copied.
void startOutput(const char* path);
// Removes every started output; for failure paths.
void removeStartedOutputs();
// Removes `path` if it is a regular file: an output named /dev/full or
// /dev/null must never take the device with it. Async-signal-safe.
bool removeIfRegularFile(const char* path);

// A helper process (ffmpeg, sox) to kill and reap when stopped, and to
// forget once it was waited for.
void trackChild(pid_t pid);
void untrackChild(pid_t pid);
