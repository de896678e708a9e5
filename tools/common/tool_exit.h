// What the offline tools share for ending well: every signal that would end
// a run (INT, TERM, HUP, QUIT, PIPE, USR1, USR2, ALRM) stops it at once, kills
// its helper processes and removes the temporary files it had started;
// failed runs remove them the same way. Exit codes follow the shell:
// 128 + the signal (130 for SIGINT, 143 for SIGTERM).
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <cstdint>

// Installs the stop handlers (unless the parent ignores the signal). Call
// first thing in main, on the main thread, before any library (SDL) that
// would install its own.
void installStopHandlers();
// The signals the handlers catch, for blocking them around a step that must
// not be cut in half (creating a temporary file and registering it).
sigset_t stopSignals();

// A temporary file of this run: removed if the run is stopped by a signal
// or gives up (removeStartedOutputs). Up to eight at once; the path is
// copied. Only files the run made itself belong here: the handler removes
// them without asking.
void startOutput(const char* path);
// The file is no longer this run's to remove (renamed into place, or gone).
void forgetOutput(const char* path);
// Removes every started temporary file; for failure paths.
void removeStartedOutputs();

// A helper process (ffmpeg, sox) to kill and reap when stopped, and to
// forget once it was waited for. Started by startChild, it leads a process
// group of its own, and the whole group is killed.
void trackChild(pid_t pid);
void untrackChild(pid_t pid);
