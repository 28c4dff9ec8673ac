#include <gtest/gtest.h>

#include <ostream>

#include "metadata/number_format.h"

using metadata::formatNumber;

struct PatternCase {
    double value;
    const char* pattern;
    const char* expected;
};

// Readable names for the cases in test listings.
void PrintTo(const PatternCase& c, std::ostream* os)
{
    *os << c.pattern << " with " << c.value;
}

class NumberFormatTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(NumberFormatTest, WritesThePattern)
{
    const auto& c = GetParam();
    EXPECT_EQ(formatNumber(c.value, c.pattern), c.expected) << c.pattern << " with " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, NumberFormatTest,
    ::testing::Values(
        // Size texts.
        PatternCase{9999, "#,##0\"バイト\"", "9,999バイト"},
        PatternCase{123456 / 1024.0, "#,##0.#\"KB\"", "120.6KB"},
        PatternCase{20000000 / 1048576.0, "#,##0\"MB\"", "19MB"},
        PatternCase{1234567, "#,##0", "1,234,567"},
        PatternCase{123456, "#,##0", "123,456"},
        PatternCase{0, "#,##0", "0"},
        PatternCase{10000 / 1024.0, "#,##0.#\"KB\"", "9.8KB"},
        PatternCase{2048 / 1024.0, "#,##0.#\"KB\"", "2KB"},
        // Optional digits and the leading zero.
        PatternCase{0.5, "#####.##", ".5"},
        PatternCase{12.345, "###0.##", "12.35"},
        PatternCase{2.0, "###0.##\"mm\"", "2mm"},
        PatternCase{double(28.0f / 10.0f), "0.#", "2.8"},
        PatternCase{double(-2.0f / 3.0f), "0.##", "-0.67"},
        PatternCase{1.05, "0.0#", "1.05"},
        PatternCase{1.5, "0.0#", "1.5"},
        PatternCase{1.0, "0.0#", "1.0"},
        // All integer digits are written, however few '#'.
        PatternCase{123456, "##0", "123456"},
        // Half away from zero, also for exact halves.
        PatternCase{2.5, "0", "3"},
        PatternCase{-2.5, "0", "-3"},
        PatternCase{0.125, "0.##", "0.13"},
        PatternCase{9.96, "0.#", "10"},
        PatternCase{99.95, "#,##0.#", "100"},
        // Literal text around the number, and in front of it.
        PatternCase{250, "\" オートＩＳＯ感度：\"####", " オートＩＳＯ感度：250"},
        PatternCase{5.6, "\" 目標Ｆ値：F\"##0.#", " 目標Ｆ値：F5.6"},
        // Two sections: the second writes the absolute value.
        PatternCase{1.5, "\" ストロボ光量補正：+\"###0.#\"EV\";\" ストロボ光量補正：-\"###.#\"EV\"",
                    " ストロボ光量補正：+1.5EV"},
        PatternCase{-0.5, "\" ストロボ光量補正：+\"###0.#\"EV\";\" ストロボ光量補正：-\"###.#\"EV\"",
                    " ストロボ光量補正：-.5EV"},
        PatternCase{0, "\"x+\"####;\"x-\"####", "x+"},
        PatternCase{-3, "\"x+\"####;\"x-\"####", "x-3"},
        // A negative value that rounds to zero has no sign.
        PatternCase{-0.001, "0.0", "0.0"},
        // Empty for zero when nothing is required.
        PatternCase{0, "#", ""}));
