// The stop handlers run on whichever thread the kernel picks (SDL and the GL
// driver start threads of their own); a handler on another thread hands the
// signal to the main thread, so that only one clean-up runs. Everything a
// handler touches is fixed storage and async-signal-safe calls.
#include "tools/common/tool_exit.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace {

constexpr int kMaxOutputs = 8;
constexpr int kMaxChildren = 4;

char outputs[kMaxOutputs][PATH_MAX];
std::atomic<int> outputCount{0};
std::atomic<pid_t> children[kMaxChildren];
pid_t mainThread = 0;

void removeOutputs() {
    const int count = outputCount.load();
    for (int i = 0; i < count; ++i) removeIfRegularFile(outputs[i]);
}

void onStopSignal(int signal) {
    if (pid_t(syscall(SYS_gettid)) != mainThread) {
        syscall(SYS_tgkill, getpid(), mainThread, signal);
        return;
    }
    // Helpers first: an encoder still running could write its file again
    // after it was removed.
    for (std::atomic<pid_t>& child : children) {
        const pid_t pid = child.exchange(0);
        if (pid <= 0) continue;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    removeOutputs();
    _exit(128 + signal);
}

}  // namespace

bool removeIfRegularFile(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return unlink(path) == 0;
}

void installStopHandlers() {
    mainThread = pid_t(syscall(SYS_gettid));
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Both signals are held off while one is handled: a second Ctrl-C must
    // not start the clean-up again half-way through the first.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    // A signal the parent set to be ignored stays ignored (a shell starts
    // background jobs with SIGINT ignored, so that Ctrl-C reaches only the
    // foreground).
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

void startOutput(const char* path) {
    const int count = outputCount.load();
    if (count >= kMaxOutputs || path == nullptr) return;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(outputs[i], path) == 0) return;
    std::strncpy(outputs[count], path, PATH_MAX - 1);
    outputs[count][PATH_MAX - 1] = '\0';
    // Published only once the text is complete: a handler never reads half a path.
    outputCount.store(count + 1);
}

void removeStartedOutputs() {
    removeOutputs();
}

void trackChild(pid_t pid) {
    for (std::atomic<pid_t>& child : children) {
        pid_t empty = 0;
        if (child.compare_exchange_strong(empty, pid)) return;
    }
}

void untrackChild(pid_t pid) {
    for (std::atomic<pid_t>& child : children) {
        pid_t expected = pid;
        if (child.compare_exchange_strong(expected, 0)) return;
    }
}
