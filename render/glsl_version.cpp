// Reading the GLSL version out of the driver's version string.
#include "render/display.h"

int32_t glslVersionNumber(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    if (*p < '0' || *p > '9') return 0;
    int32_t major = 0;
    while (*p >= '0' && *p <= '9' && major < 100) major = major * 10 + (*p++ - '0');
    if (*p != '.' || p[1] < '0' || p[1] > '9') return 0;
    ++p;
    // The minor number has two digits ("1.30"); a lone digit counts as tens.
    int32_t minor = (*p++ - '0') * 10;
    if (*p >= '0' && *p <= '9') minor += *p - '0';
    return major * 100 + minor;
}
