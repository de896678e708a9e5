// fork and exec rather than posix_spawn: the death signal has to be asked
// for in the child itself. Between fork and exec the child of a threaded
// program may only make async-signal-safe calls, so the program is looked up
// on PATH beforehand.
#include "tools/common/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/common/tool_exit.h"

namespace {

// The executable file PATH names for `program`; empty when there is none.
std::string findProgram(const char* program) {
    if (std::strchr(program, '/') != nullptr) return access(program, X_OK) == 0 ? program : "";
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

}  // namespace

pid_t startChild(const char* tool, const std::vector<const char*>& argv, int in, int out, int err) {
    const std::string program = findProgram(argv[0]);
    if (program.empty()) {
        std::fprintf(stderr, "%s: cannot run %s (is it installed?)\n", tool, argv[0]);
        return -1;
    }
    std::vector<char*> args;
    for (const char* a : argv) args.push_back(const_cast<char*>(a));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    // Held off until the child is tracked: a stop between fork and
    // trackChild would leave it running.
    const sigset_t stops = stopSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);  // the tool died before the line above
        // The tool's handlers are gone with exec; an ignored SIGPIPE would
        // stay ignored, and the helper should die of a closed pipe as usual.
        signal(SIGPIPE, SIG_DFL);
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (in >= 0) dup2(in, STDIN_FILENO);
        if (out >= 0) dup2(out, STDOUT_FILENO);
        if (err >= 0) dup2(err, STDERR_FILENO);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    const int error = errno;
    if (pid > 0) {
        setpgid(pid, pid);  // also here, so that the group exists whichever runs first
        trackChild(pid);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) std::fprintf(stderr, "%s: cannot start %s: %s\n", tool, argv[0], std::strerror(error));
    return pid;
}

bool waitChild(pid_t pid) {
    if (pid < 0) return false;
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    untrackChild(pid);
    return waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runChildCollecting(const char* tool, const std::vector<const char*>& argv, std::string& output,
                        bool withErrors) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "%s: cannot run %s: %s\n", tool, argv[0], std::strerror(errno));
        return false;
    }
    const pid_t pid = startChild(tool, argv, -1, fds[1], withErrors ? fds[1] : -1);
    close(fds[1]);
    char chunk[1024];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof(chunk))) > 0 || (got < 0 && errno == EINTR))
        if (got > 0) output.append(chunk, size_t(got));
    close(fds[0]);
    return waitChild(pid);
}
