#pragma once

#include <cstdint>
#include <string>

namespace playback {

// Play time split as the time labels show it: whole minutes (which keep
// counting past 59, there is no hours field) and the seconds past them.
struct TimeParts {
    double minutes;       // a whole number, negative for a negative time
    std::int16_t seconds; // 0 to 59
};

// Splits a number of seconds. The seconds are rounded to the nearest whole
// second, a half to the even neighbour, and a rounded 60 is carried into the
// minutes, so 59.7 s is 1:00 and never 0:60. A negative time counts from the
// minute below: -30 s is minute -1 and 30 seconds.
// Throws std::domain_error for an infinite or not-a-number time: there is no
// text that could stand for it, and the caller is meant to fail there.
TimeParts splitTime(double seconds);

// "M:SS": the minutes with all their digits ("-" when negative), then the
// seconds as two digits. 3725 s is "62:05", -30 s is "-1:30".
std::string timeText(const TimeParts& parts);
std::string timeText(double seconds); // throws as splitTime does

} // namespace playback
