// Child processes, shell commands and the probe's figures for the tests that
// run whole programs of the build.
#include "tests/support/processes.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::vector<std::string> changedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> settings;
    for (char** e = environ; *e != nullptr; ++e) settings.emplace_back(*e);
    for (const std::string& change : changes) {
        const size_t eq = change.find('=');
        const std::string prefix = change.substr(0, eq) + "=";
        std::erase_if(settings, [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
        if (eq != std::string::npos) settings.push_back(change);
    }
    return settings;
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& changes) {
    char pathTemplate[] = "/tmp/child_stderr_XXXXXX";
    const int fd = mkstemp(pathTemplate);
    if (fd < 0 || arguments.empty()) {
        if (fd >= 0) close(fd);
        return;
    }
    stderrPath = pathTemplate;
    std::vector<std::string> settings = changedEnvironment(changes);
    std::vector<char*> envp;
    for (std::string& s : settings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = arguments;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, STDERR_FILENO);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fd);
}

ChildProcess::~ChildProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (!stderrPath.empty()) unlink(stderrPath.c_str());
}

int ChildProcess::waitExit(std::chrono::milliseconds limit) {
    if (pid <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return exitCode(status);
        }
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int ChildProcess::waitExit() {
    if (pid <= 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    pid = -1;
    return exitCode(status);
}

std::string ChildProcess::errors() const {
    return readText(stderrPath);
}

CommandRun runCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pipe) != nullptr) run.output += buffer;
    const int status = pclose(pipe);
    run.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string readText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, double> probeFigures(const std::string& errors) {
    std::map<std::string, double> figures;
    const size_t line = errors.find("intro_probe:");
    if (line == std::string::npos) return figures;
    std::istringstream words(errors.substr(line, errors.find('\n', line) - line));
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) figures[word.substr(0, eq)] = std::atof(word.c_str() + eq + 1);
    }
    return figures;
}
