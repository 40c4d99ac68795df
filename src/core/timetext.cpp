#include "core/timetext.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace playback {

TimeParts splitTime(double seconds) {
    if (!std::isfinite(seconds))
        throw std::domain_error("a play time must be a finite number of seconds");
    const double m = seconds / 60.0;
    double whole = std::floor(m);
    // nearbyint rounds a half to even in the default rounding mode, which
    // this program never changes.
    double s = std::nearbyint((m - whole) * 60.0);
    if (s >= 60.0) {
        s = 0.0;
        whole += 1.0;
    }
    // + 0.0 turns a -0 (from -0 s, or a carry up to minute 0) into 0.
    return {whole + 0.0, static_cast<std::int16_t>(s)};
}

std::string timeText(const TimeParts& parts) {
    // A finite double has at most 309 integer digits.
    char buffer[320];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, parts.minutes, std::chars_format::fixed, 0);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    text += ':';
    text += static_cast<char>('0' + parts.seconds / 10);
    text += static_cast<char>('0' + parts.seconds % 10);
    return text;
}

std::string timeText(double seconds) {
    return timeText(splitTime(seconds));
}

} // namespace playback
