// A private folder for a test's files: made fresh under $TMPDIR (or /tmp),
// removed with everything in it when the object goes.
#pragma once

#include <string>

class ScratchFolder {
public:
    // `prefix` names the folder (prefix_XXXXXX); on failure path() is empty
    // and the test's own assertion on made() says so.
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
