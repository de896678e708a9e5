// Reading a whole source text (the song's, a shader's) into a string.
#pragma once
#include <string>

// A source text is a few kilobytes; anything near this is not one (a film,
// /dev/zero) and is refused before it fills the memory.
constexpr size_t kLargestSourceBytes = 16 << 20;

// The file's bytes as they are; false with the reason in `reason` (missing,
// a folder, unreadable, larger than kLargestSourceBytes).
bool readTextFile(const std::string& path, std::string& text, std::string& reason);
