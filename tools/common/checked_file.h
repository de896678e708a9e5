// Files written whole and checked to the last byte, closing included: a
// failed write removes what was written and says why.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes `size` bytes to `path` (created or replaced). On any failure (open,
// write, flush or close) the partial file is removed, one line naming the
// tool, the path and the reason goes to stderr, and the result is false.
bool writeWholeFile(const char* tool, const char* path, const uint8_t* bytes, size_t size);

// True when `path` names a regular file holding at least one byte.
bool fileHasBytes(const char* path);
