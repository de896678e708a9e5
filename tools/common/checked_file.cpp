// fwrite alone can report success for bytes still in the stdio buffer; the
// failure (a full disk, /dev/full) may only surface at fflush or fclose, so
// all three are checked.
#include "tools/common/checked_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/common/tool_exit.h"

bool writeWholeFile(const char* tool, const char* path, const uint8_t* bytes, size_t size) {
    startOutput(path);
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", tool, path, std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes, 1, size, file) == size;
    int error = ok ? 0 : errno;
    if (std::fflush(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) return true;
    std::fprintf(stderr, "%s: writing %s failed: %s\n", tool, path, error != 0 ? std::strerror(error) : "short write");
    removeIfRegularFile(path);
    return false;
}

bool fileHasBytes(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}
