// Whole-file reads of source texts for the tools.
#include "tools/common/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool readTextFile(const std::string& path, std::string& text, std::string& reason) {
    text.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    int error = fd < 0 ? errno : fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    char chunk[65536];
    while (error == 0) {
        const ssize_t got = read(fd, chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        text.append(chunk, size_t(got));
        if (text.size() > kLargestSourceBytes) error = EFBIG;
    }
    if (fd >= 0) close(fd);
    if (error == 0) return true;
    reason = std::strerror(error);
    return false;
}
