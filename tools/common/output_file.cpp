// Writing through a temporary file and a rename: the rename is atomic within
// one folder, so the target holds either its old bytes or the whole new file,
// never a part; the fsync before it makes sure the new bytes are on the disk
// before the old ones are let go.
#include "tools/common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "tools/common/tool_exit.h"

namespace {

// How long a FIFO may go without a reader before the write is given up.
constexpr int kFifoWaitMilliseconds = 5000;

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What makes two paths one file: the device and inode of a file that exists,
// otherwise the resolved folder and the name.
std::string identity(const char* path) {
    struct stat info;
    if (stat(path, &info) == 0) return "i" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    char folder[PATH_MAX];
    if (realpath(folderOf(path).c_str(), folder) == nullptr) return std::string("p") + path;
    return std::string("p") + folder + "/" + nameOf(path);
}

bool failed(OutputFile& out, const char* what, int error) {
    std::fprintf(stderr, "%s: %s %s: %s\n", out.tool, what, out.target.c_str(), std::strerror(error));
    abandonOutput(out);
    return false;
}

// New files get what the umask allows, as fopen would give them.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A FIFO's open for writing blocks until a reader comes; without O_NONBLOCK
// it would wait for ever, with it it fails (ENXIO) until there is one.
int openDirect(const char* path, bool fifo) {
    for (int waited = 0;; waited += 100) {
        const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (!fifo || errno != ENXIO || waited >= kFifoWaitMilliseconds) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// `.name.XXXXXX.ext` beside the target: hidden, unique, the same extension.
std::string temporaryPattern(const std::string& target, size_t& suffixLength) {
    std::string name = nameOf(target);
    const size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    std::string stem = name.substr(0, name.size() - extension.size());
    if (stem.size() > 160) stem.resize(160);  // room for the rest within a file name's 255 bytes
    suffixLength = extension.size() <= 32 ? extension.size() : 0;
    return folderOf(target) + "/." + stem + ".XXXXXX" + (suffixLength ? extension : "");
}

}  // namespace

bool refuseSameFiles(const char* tool, std::initializer_list<const char*> inputs,
                     std::initializer_list<const char*> outputs) {
    std::vector<std::pair<std::string, const char*>> seen;
    for (const char* input : inputs)
        if (input != nullptr) seen.push_back({identity(input), input});
    const size_t inputCount = seen.size();
    for (const char* output : outputs) {
        if (output == nullptr) continue;
        const std::string id = identity(output);
        for (size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].first != id) continue;
            if (i < inputCount)
                std::fprintf(stderr, "%s: %s is both an input and an output; nothing done\n", tool, output);
            else
                std::fprintf(stderr, "%s: %s and %s are one file, named twice as an output; nothing done\n", tool,
                             seen[i].second, output);
            return false;
        }
        seen.push_back({id, output});
    }
    return true;
}

bool openOutput(const char* tool, const char* path, OutputFile& out) {
    out = OutputFile{};
    out.tool = tool;
    out.target = path;
    // A link is followed, as a plain open would: the file it names gets the
    // bytes, and the link stays a link.
    struct stat info;
    char resolved[PATH_MAX];
    if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode) && realpath(path, resolved) != nullptr)
        out.target = resolved;
    mode_t mode = 0;
    if (stat(out.target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return failed(out, "cannot write", EISDIR);
        if (!S_ISREG(info.st_mode)) {
            out.fd = openDirect(out.target.c_str(), S_ISFIFO(info.st_mode));
            if (out.fd >= 0) return true;
            if (errno == ENXIO) {
                std::fprintf(stderr, "%s: nothing reads the FIFO %s (waited %d s)\n", tool, path,
                             kFifoWaitMilliseconds / 1000);
                return false;
            }
            return failed(out, "cannot write", errno);
        }
        mode = info.st_mode & 07777;
    } else if (errno == ENOENT) {
        mode = newFileMode();
    } else {
        return failed(out, "cannot write", errno);
    }

    size_t suffixLength = 0;
    std::string pattern = temporaryPattern(out.target, suffixLength);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // A signal between making the file and registering it would leave it behind.
    const sigset_t stops = stopSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    out.fd = mkostemps(name.data(), int(suffixLength), O_CLOEXEC);
    const int error = errno;
    if (out.fd >= 0) startOutput(name.data());
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (out.fd < 0) return failed(out, "cannot write", error);
    out.temporary = name.data();
    if (fchmod(out.fd, mode) != 0) return failed(out, "cannot write", errno);
    return true;
}

const char* outputWritePath(const OutputFile& out) {
    return out.temporary.empty() ? out.target.c_str() : out.temporary.c_str();
}

bool writeOutput(OutputFile& out, const void* bytes, size_t size) {
    const auto* at = static_cast<const uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t wrote = write(out.fd, at, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return failed(out, "writing", wrote < 0 ? errno : ENOSPC);
        at += wrote;
        size -= size_t(wrote);
    }
    return true;
}

bool commitOutput(OutputFile& out) {
    // A helper writing by name opens the same file (truncating it in place),
    // so this descriptor's fsync covers its bytes too. Devices and FIFOs
    // cannot be synced (EINVAL), and need not be.
    if (fsync(out.fd) != 0 && !(out.temporary.empty() && (errno == EINVAL || errno == EROFS)))
        return failed(out, "writing", errno);
    const int fd = out.fd;
    out.fd = -1;
    if (close(fd) != 0 && errno != EINTR) return failed(out, "writing", errno);
    if (out.temporary.empty()) return true;
    if (rename(out.temporary.c_str(), out.target.c_str()) != 0) return failed(out, "cannot replace", errno);
    forgetOutput(out.temporary.c_str());
    out.temporary.clear();
    return true;
}

void abandonOutput(OutputFile& out) {
    if (out.fd >= 0) close(out.fd);
    out.fd = -1;
    if (out.temporary.empty()) return;
    unlink(out.temporary.c_str());
    forgetOutput(out.temporary.c_str());
    out.temporary.clear();
}

bool writeWholeFile(const char* tool, const char* path, const uint8_t* bytes, size_t size) {
    OutputFile out;
    return openOutput(tool, path, out) && writeOutput(out, bytes, size) && commitOutput(out);
}

bool fileHasBytes(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}
