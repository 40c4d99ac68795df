#include "core/numberreading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::string printable(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F)
            out += char(c);
        else
            out += "\\u" + std::to_string(int(c));
    }
    return "\"" + out + "\"";
}

TEST(GenreNumberReading, LeadingNumber) {
    const struct {
        std::u16string text;
        double value;
    } cases[] = {
        // Plain decimals, and where reading stops.
        {u"", 0},
        {u"12", 12},
        {u"12abc", 12},
        {u"2.9", 2.9},
        {u"-2.5", -2.5},
        {u"+5", 5},
        {u".5", 0.5},
        {u"5.", 5},
        {u"1.2.3", 1.2},
        {u"007", 7},
        {u"1,5", 1},
        {u"$3", 0},
        {u"abc", 0},
        {u"-", 0},
        {u".", 0},
        {u"-.", 0},
        {u"--5", 0},
        {u"+-5", 0},
        {u"0x10", 0},
        {u"\u0661\u0662", 0}, // digits of another script are not digits here
        // Blanks, tabs and line feeds vanish wherever they are; nothing else does.
        {u" 1 2", 12},
        {u"\t7\n", 7},
        {u"- 3", -3},
        {u"1 e 2", 100},
        {u"\r5", 0},
        {u"\u00A05", 0},
        {u"12\u00A034", 12},
        // Exponents: E or D, either case; a letter without digits is not one.
        {u"1e2", 100},
        {u"1D2", 100},
        {u"1d-2", 0.01},
        {u"2E+3", 2000},
        {u".5e1", 5},
        {u"1e", 1},
        {u"1e+", 1},
        {u"1ex", 1},
        {u"1f2", 1},
        {u"9999999999999999", 1e16},
        {u"0e99999", 0},
        // Hexadecimal and octal whole numbers.
        {u"&H10", 16},
        {u"&h1f", 31},
        {u"&HfF", 255},
        {u"&O17", 15},
        {u"&o17", 15},
        {u"&O8", 0},
        {u"&O178", 15},
        {u"&H", 0},
        {u"&O", 0},
        {u"&", 0},
        {u"&X10", 0},
        {u"& H 10", 16},
        {u"&H10.5", 16},
        {u"&HFFFF", -1},
        {u"&H8000", -32768},
        {u"&H7FFF", 32767},
        {u"&H00FF", 255},
        {u"&H0000FFFF", -1},
        {u"&H10000", 65536},
        {u"&H7FFFFFFF", 2147483647},
        {u"&H80000000", -2147483648.0},
        {u"&HFFFFFFFF", -1},
        {u"&O177777", -1},
        {u"&O37777777777", -1},
        {u"-&H10", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.text));
        EXPECT_DOUBLE_EQ(genre::readLeadingNumber(c.text), c.value);
    }
}

TEST(GenreNumberReading, OutOfRangeGivesInfinityOrZero) {
    const struct {
        std::u16string text;
        double value;
    } cases[] = {
        {u"1e400", kInf},
        {u"-1e400", -kInf},
        {u"1D99999999999999999999", kInf},
        {u"0.0001e309", 1e305},
        {u"1e-400", 0},
        {u"-1e-400", 0},
        {u"&H100000000", kInf},
        {u"&HFFFFFFFFFFFFFFFFFFFF", kInf},
        {u"1" + std::u16string(400, u'0'), kInf},
        {u"0." + std::u16string(400, u'0') + u"1e400", 1e-1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.text).substr(0, 40));
        const double v = genre::readLeadingNumber(c.text);
        if (std::isinf(c.value))
            EXPECT_EQ(v, c.value);
        else
            EXPECT_DOUBLE_EQ(v, c.value);
    }
}

// The box has no length limit, so the reading must cope with pasted text of
// any length (and stay linear in it).
TEST(GenreNumberReading, TextOfAnyLength) {
    const std::u16string million(1'000'000, u'0');
    const struct {
        std::u16string text;
        double value;
    } cases[] = {
        {std::u16string(1'000'000, u'\n') + u"7", 7},
        {std::u16string(500'000, u' ') + u"1" + std::u16string(500'000, u'\t') + u"2", 12},
        {million + u"42", 42},
        {u"&H" + million + u"1F", 31},
        {u"1" + million, kInf},
        {u"0." + million + u"1e1000002", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_DOUBLE_EQ(genre::readLeadingNumber(c.text), c.value);
    }
}

TEST(GenreNumberReading, NegativeZeroStaysZero) {
    const double v = genre::readLeadingNumber(u"-0");
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(genre::wholeNumberText(std::floor(v)), u"0");
}

TEST(GenreNumberText, WholeNumberText) {
    const struct {
        double value;
        std::u16string text;
    } cases[] = {
        {0, u"0"},
        {-0.0, u"0"},
        {7, u"7"},
        {-3, u"-3"},
        {146, u"146"},
        {32768, u"32768"},
        {999999999999999.0, u"999999999999999"},
        {-999999999999999.0, u"-999999999999999"},
        {1e15, u"1E+15"},
        {-1e15, u"-1E+15"},
        {1234567890123456.0, u"1.23456789012346E+15"},
        {123456789012345678.0, u"1.23456789012346E+17"},
        {1.5e20, u"1.5E+20"},
        {1e100, u"1E+100"},
        {9999999999999999e10, u"1E+26"}, // rounding to 15 digits carries
        {std::numeric_limits<double>::max(), u"1.79769313486232E+308"},
        // A fraction goes towards minus infinity, like the floor before it.
        {2.9, u"2"},
        {-2.5, u"-3"},
        {-0.5, u"-1"},
        // No decimal text exists for these.
        {kInf, u""},
        {-kInf, u""},
        {std::numeric_limits<double>::quiet_NaN(), u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(printable(genre::wholeNumberText(c.value)), printable(c.text));
    }
}

TEST(GenreNumberText, BoxTextAfterReadingAndFloor) {
    // What the genre code box is left showing after a paste.
    const struct {
        std::u16string typed;
        std::u16string shown;
    } cases[] = {
        {u"2.9", u"2"},    {u"-2.5", u"-3"},     {u"1e2", u"100"}, {u" 12abc", u"12"},
        {u"-", u"0"},      {u"abc", u"0"},       {u"007", u"7"},   {u"-3", u"-3"},
        {u"&H92", u"146"}, {u"99999", u"99999"}, {u"-0.5", u"-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(printable(c.typed));
        const double n = std::floor(genre::readLeadingNumber(c.typed));
        EXPECT_EQ(printable(genre::wholeNumberText(n)), printable(c.shown));
    }
}

TEST(GenreNumberText, ToInt16RoundsHalfToEven) {
    const struct {
        double value;
        std::optional<std::int16_t> result;
    } cases[] = {
        {0, 0},
        {145, 145},
        {-1, -1},
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {2.51, 3},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {32767, 32767},
        {32767.4, 32767},
        {32767.5, std::nullopt},
        {32768, std::nullopt},
        {-32768, -32768},
        {-32768.5, -32768},
        {-32768.6, std::nullopt},
        {1e10, std::nullopt},
        {kInf, std::nullopt},
        {-kInf, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(genre::toInt16Rounded(c.value), c.result);
    }
}

} // namespace
