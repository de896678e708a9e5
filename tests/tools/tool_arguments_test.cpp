// The tools' value parsing: plain decimal numbers inside a range, nothing
// that strtoull or strtod would read in a surprising way.
#include <gtest/gtest.h>

#include <cstdint>

#include "tools/common/arguments.h"

TEST(ToolArguments, WholeNumbersAreDigitsOnlyAndNeverWrap) {
    uint64_t value = 7;
    EXPECT_TRUE(parseWhole("0", UINT64_MAX, value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parseWhole("18446744073709551615", UINT64_MAX, value));
    EXPECT_EQ(value, UINT64_MAX);
    EXPECT_TRUE(parseWhole("240", 240, value));
    EXPECT_EQ(value, 240u);
    value = 7;
    for (const char* text : {"18446744073709551616", "99999999999999999999", " -1", "-1", "+1", " 1", "1 ", "0x10",
                             "", "1e3"})
        EXPECT_FALSE(parseWhole(text, UINT64_MAX, value)) << text;
    EXPECT_FALSE(parseWhole("241", 240, value));
    EXPECT_EQ(value, 7u) << "a refused text leaves the value alone";
}

TEST(ToolArguments, IntegersKeepToTheirRangeOnBothSides) {
    int64_t value = 0;
    EXPECT_TRUE(parseInteger("-5", -5, 5, value));
    EXPECT_EQ(value, -5);
    EXPECT_FALSE(parseInteger("-6", -5, 5, value));
    EXPECT_FALSE(parseInteger("6", -5, 5, value));
    EXPECT_FALSE(parseInteger("--1", -5, 5, value));
    EXPECT_FALSE(parseInteger("99999999999999999999", -5, 5, value));
}

TEST(ToolArguments, RealsAreFiniteDecimalsInRange) {
    double value = 0.0;
    EXPECT_TRUE(parseReal("115", 0.0, 115.0, value));
    EXPECT_EQ(value, 115.0);
    EXPECT_TRUE(parseReal("-0.17", -0.17, 115.0, value));
    EXPECT_TRUE(parseReal("1.5e1", 0.0, 115.0, value));
    EXPECT_EQ(value, 15.0);
    for (const char* text : {"inf", "nan", "1e9", "115.01", "-0.2", "0x10", " 1", "", ".", "1e999"})
        EXPECT_FALSE(parseReal(text, -0.17, 115.0, value)) << text;
}
