// inotify, non-blocking, on whole folders.
#include "tools/intro_dev/file_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool openFileWatch(FileWatch& watch, const std::vector<std::string>& folders) {
    watch.descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch.descriptor < 0) {
        std::fprintf(stderr, "intro_dev: cannot watch files: %s\n", std::strerror(errno));
        return false;
    }
    for (const std::string& folder : folders) {
        const int id = inotify_add_watch(watch.descriptor, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
        if (id < 0) {
            std::fprintf(stderr, "intro_dev: cannot watch %s: %s\n", folder.c_str(), std::strerror(errno));
            continue;
        }
        watch.watches.push_back(id);
        watch.folders.push_back(folder);
    }
    return true;
}

void closeFileWatch(FileWatch& watch) {
    if (watch.descriptor >= 0) close(watch.descriptor);
    watch = FileWatch{};
}

std::vector<std::string> changedFiles(FileWatch& watch) {
    std::vector<std::string> changed;
    if (watch.descriptor < 0) return changed;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t got = read(watch.descriptor, buffer, sizeof(buffer));
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            for (size_t w = 0; w < watch.watches.size(); ++w) {
                if (watch.watches[w] != event->wd) continue;
                const std::string path = watch.folders[w] + "/" + event->name;
                bool seen = false;
                for (const std::string& p : changed) seen = seen || p == path;
                if (!seen) changed.push_back(path);
            }
        }
    }
    return changed;
}
