// Command-line values for the tools: plain decimal numbers inside a stated
// range, or false. Leading blanks, signs the range cannot hold, hexadecimal,
// "inf" and "nan" are refused rather than read in some surprising way.
#pragma once
#include <cstdint>

// Digits only, 0 ..= max (e.g. seeds: "99999999999999999999" and " -1" are
// refused, not wrapped or clamped).
bool parseWhole(const char* text, uint64_t max, uint64_t& value);
// A whole number in low ..= high, an optional leading '-' allowed.
bool parseInteger(const char* text, int64_t low, int64_t high, int64_t& value);
// A finite decimal number (digits, an optional sign, point and exponent) in
// low ..= high.
bool parseReal(const char* text, double low, double high, double& value);
