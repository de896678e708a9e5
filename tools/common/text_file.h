// Reading a whole text file (song source, shader source) into a string.
#pragma once
#include <string>

// The file's bytes as they are; false when it cannot be opened or read.
bool readTextFile(const std::string& path, std::string& text);
