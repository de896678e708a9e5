#include "tests/support/scratch_folder.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>

namespace {
// Goes on past what cannot be removed, to take away as much as it can.
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}
}  // namespace

ScratchFolder::ScratchFolder(const std::string& prefix) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "_XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    // Depth first and without following links: a link a test made goes, never
    // what it points to.
    if (!path_.empty()) nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}
