// The stop handlers run on whichever thread the kernel picks (SDL and the GL
// driver start threads of their own); a handler on another thread hands the
// signal to the main thread, so that only one clean-up runs. Everything a
// handler touches is fixed storage and async-signal-safe calls.
#include "tools/common/tool_exit.h"

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
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM};

// A slot is claimed (1), filled, then published (2); the handler reads only
// published slots, so it never sees half a path.
char outputs[kMaxOutputs][PATH_MAX];
std::atomic<int> outputState[kMaxOutputs];
std::atomic<pid_t> children[kMaxChildren];
pid_t mainThread = 0;

void removeIfRegularFile(const char* path) {
    struct stat info;
    if (lstat(path, &info) == 0 && S_ISREG(info.st_mode)) unlink(path);
}

void removeOutputs() {
    for (int i = 0; i < kMaxOutputs; ++i)
        if (outputState[i].load() == 2) removeIfRegularFile(outputs[i]);
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
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);  // in case it had not yet made its group
        waitpid(pid, nullptr, 0);
    }
    removeOutputs();
    _exit(128 + signal);
}

}  // namespace

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals) sigaddset(&set, signal);
    return set;
}

void installStopHandlers() {
    mainThread = pid_t(syscall(SYS_gettid));
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = onStopSignal;
    // Every stop signal is held off while one is handled: a second Ctrl-C
    // must not start the clean-up again half-way through the first.
    action.sa_mask = stopSignals();
    // A signal the parent set to be ignored stays ignored (a shell starts
    // background jobs with SIGINT ignored, nohup ignores SIGHUP).
    for (const int signal : kStopSignals) {
        struct sigaction current;
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

void startOutput(const char* path) {
    if (path == nullptr || std::strlen(path) >= PATH_MAX) return;
    for (int i = 0; i < kMaxOutputs; ++i) {
        int free = 0;
        if (!outputState[i].compare_exchange_strong(free, 1)) continue;
        std::strcpy(outputs[i], path);
        outputState[i].store(2);
        return;
    }
}

void forgetOutput(const char* path) {
    for (int i = 0; i < kMaxOutputs; ++i) {
        int published = 2;
        if (std::strcmp(outputs[i], path) != 0 || !outputState[i].compare_exchange_strong(published, 1)) continue;
        outputs[i][0] = '\0';
        outputState[i].store(0);
        return;
    }
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
