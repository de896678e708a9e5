// strtoull and strtod skip blanks, accept signs, hexadecimal and words like
// "inf"; the tools want what a person types for a count or a time, so the
// text is checked character by character first.
#include "tools/common/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool parseWhole(const char* text, uint64_t max, uint64_t& value) {
    if (text == nullptr || *text == '\0') return false;
    uint64_t result = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t digit = uint64_t(*p - '0');
        if (result > (max - digit) / 10) return false;  // result * 10 + digit > max
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

bool parseInteger(const char* text, int64_t low, int64_t high, int64_t& value) {
    if (text == nullptr) return false;
    const bool negative = *text == '-';
    uint64_t magnitude = 0;
    if (!parseWhole(negative ? text + 1 : text, uint64_t(INT64_MAX), magnitude)) return false;
    const int64_t result = negative ? -int64_t(magnitude) : int64_t(magnitude);
    if (result < low || result > high) return false;
    value = result;
    return true;
}

bool parseReal(const char* text, double low, double high, double& value) {
    if (text == nullptr || *text == '\0') return false;
    bool digits = false;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            digits = true;
            continue;
        }
        if (c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E') continue;
        return false;
    }
    if (!digits) return false;
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(result)) return false;
    if (result < low || result > high) return false;
    value = result;
    return true;
}

bool parseSeed(const char* tool, const char* text, uint64_t& seed) {
    if (parseWhole(text, kLargestSeed, seed)) return true;
    std::fprintf(stderr, "%s: --seed wants a whole number from 0 to %llu in plain digits, not '%s'\n", tool,
                 (unsigned long long)kLargestSeed, text);
    return false;
}
