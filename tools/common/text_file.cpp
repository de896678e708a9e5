// Whole-file reads for the tools.
#include "tools/common/text_file.h"

#include <fstream>
#include <sstream>

bool readTextFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return !in.bad();
}
