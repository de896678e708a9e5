// Which files of a few folders were written, through inotify: a file counts
// once it is closed after writing or moved into place (how editors save).
#pragma once
#include <string>
#include <vector>

struct FileWatch {
    int descriptor = -1;
    std::vector<int> watches;
    std::vector<std::string> folders;  // by watch, as given
};

// Watches each folder; false (after saying why) when inotify is refused.
bool openFileWatch(FileWatch& watch, const std::vector<std::string>& folders);
void closeFileWatch(FileWatch& watch);
// Paths ("<folder>/<name>") written since the last call, each once, in the
// order first seen. Never waits.
std::vector<std::string> changedFiles(FileWatch& watch);
