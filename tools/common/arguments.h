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

// The random counter seeds 32-bit generators: a larger seed would silently
// lose its high bits, so it is refused.
constexpr uint64_t kLargestSeed = 4294967295u;
// A --seed value in 0 ..= kLargestSeed; false after a message naming the tool
// and the range.
bool parseSeed(const char* tool, const char* text, uint64_t& seed);
