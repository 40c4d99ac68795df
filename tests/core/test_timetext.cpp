#include "core/timetext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace {

struct TextCase {
    const char* name;
    double seconds;
    const char* text;
    double minutes;
    int wholeSeconds;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.seconds << " s";
}

class PlaybackTimeText : public testing::TestWithParam<TextCase> {};

TEST_P(PlaybackTimeText, SplitsAndFormats) {
    const TextCase& c = GetParam();
    const playback::TimeParts parts = playback::splitTime(c.seconds);
    EXPECT_EQ(parts.minutes, c.minutes);
    EXPECT_EQ(parts.seconds, c.wholeSeconds);
    EXPECT_EQ(playback::timeText(c.seconds), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlaybackTimeText,
    testing::Values(
        TextCase{"Zero", 0, "0:00", 0, 0}, TextCase{"NegativeZero", -0.0, "0:00", 0, 0},
        TextCase{"RoundsDown", 7.4, "0:07", 0, 7}, TextCase{"RoundsUp", 7.6, "0:08", 0, 8},
        TextCase{"LastSecondOfMinute", 59.2, "0:59", 0, 59},
        TextCase{"CarriesRounded60", 59.7, "1:00", 1, 0},
        TextCase{"CarriesRounded60Later", 119.6, "2:00", 2, 0},
        TextCase{"OneMinuteOne", 61, "1:01", 1, 1}, TextCase{"OneMinuteFive", 65, "1:05", 1, 5},
        TextCase{"NoHoursField", 3725, "62:05", 62, 5},
        TextCase{"TwoHours", 7200, "120:00", 120, 0},
        TextCase{"AllMinuteDigits", 6e10, "1000000000:00", 1e9, 0},
        TextCase{"NegativeCountsFromMinuteBelow", -30, "-1:30", -1, 30},
        TextCase{"NegativeWholeMinute", -60, "-1:00", -1, 0},
        TextCase{"NegativeCarryToZero", -0.2, "0:00", 0, 0},
        TextCase{"HalfToEvenUp", 1.5, "0:02", 0, 2}, TextCase{"HalfToEvenDown", 2.5, "0:02", 0, 2}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(PlaybackTimeTextFailure, NonFiniteTimeFails) {
    for (double x :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(playback::splitTime(x), std::domain_error) << x;
        EXPECT_THROW(playback::timeText(x), std::domain_error) << x;
    }
}

} // namespace
