#include "core/numberreading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace genre {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Beyond this an exponent only decides between infinity and zero, so keeping
// it bounded costs nothing and keeps the sums below from overflowing.
constexpr long long kExponentCap = 1'000'000'000;

bool isDropped(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDecimalDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(char16_t c, int base) {
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    return v < base ? v : -1;
}

char16_t upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

double readRadixWhole(std::u16string_view s, int base) {
    constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
    std::uint64_t value = 0;
    bool tooBig = false;
    for (char16_t c : s) {
        const int d = digitValue(c, base);
        if (d < 0) break;
        value = value * base + d;
        if (value > kMax32) {
            tooBig = true;
            value = kMax32; // keep reading the digits, but the number is lost
        }
    }
    if (tooBig) return kInfinity;
    if (value <= 0xFFFF) return static_cast<std::int16_t>(value);
    return static_cast<std::int32_t>(value);
}

// Decides what an out-of-range decimal was: too large (infinity) or too
// small (zero), from where its first significant digit stands.
double outOfRange(const std::string& intDigits, const std::string& fracDigits, long long exponent,
                  bool negative) {
    const std::string digits = intDigits + fracDigits;
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return negative ? -0.0 : 0.0;
    const long long magnitude =
        static_cast<long long>(intDigits.size()) - static_cast<long long>(first) - 1 + exponent;
    if (magnitude > 0) return negative ? -kInfinity : kInfinity;
    return negative ? -0.0 : 0.0;
}

double readDecimal(std::u16string_view s) {
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return k < s.size() ? s[k] : u'\0'; };
    bool negative = false;
    if (at(i) == u'+' || at(i) == u'-') negative = s[i++] == u'-';
    std::string intDigits;
    std::string fracDigits;
    while (isDecimalDigit(at(i)))
        intDigits += char(s[i++]);
    if (at(i) == u'.') {
        ++i;
        while (isDecimalDigit(at(i)))
            fracDigits += char(s[i++]);
    }
    if (intDigits.empty() && fracDigits.empty()) return 0.0;

    long long exponent = 0;
    const char16_t e = upper(at(i));
    if (e == u'E' || e == u'D') {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (at(j) == u'+' || at(j) == u'-') expNegative = s[j++] == u'-';
        // An exponent letter without digits ends the number before the letter.
        while (isDecimalDigit(at(j))) {
            exponent = std::min(exponent * 10 + (s[j++] - u'0'), kExponentCap);
        }
        if (expNegative) exponent = -exponent;
    }

    // from_chars, unlike strtod, ignores the C locale's decimal point.
    std::string text = (intDigits.empty() ? std::string("0") : intDigits) + "." + fracDigits + "e" +
                       std::to_string(exponent);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range)
        return outOfRange(intDigits, fracDigits, exponent, negative);
    return negative ? -value : value;
}

} // namespace

double readLeadingNumber(std::u16string_view text) {
    std::u16string s;
    s.reserve(text.size());
    for (char16_t c : text) {
        if (!isDropped(c)) s += c;
    }
    if (s.size() >= 2 && s[0] == u'&') {
        const char16_t radix = upper(s[1]);
        if (radix == u'H') return readRadixWhole(std::u16string_view(s).substr(2), 16);
        if (radix == u'O') return readRadixWhole(std::u16string_view(s).substr(2), 8);
    }
    return readDecimal(s);
}

std::u16string wholeNumberText(double wholeValue) {
    if (!std::isfinite(wholeValue)) return {};
    const double v = std::floor(wholeValue);
    char buf[64];
    std::string ascii;
    if (std::fabs(v) < 1e15) {
        // Exact: every whole number below 10^15 fits a long long and a double.
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
        ascii.assign(buf, r.ptr);
    } else {
        // 15 significant digits: one before the point, 14 after.
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
        const std::string sci(buf, r.ptr);
        const std::size_t e = sci.find('e');
        std::string mantissa = sci.substr(0, e);
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        if (mantissa.back() == '.') mantissa.pop_back();
        ascii = mantissa + "E" + sci.substr(e + 1);
    }
    return std::u16string(ascii.begin(), ascii.end());
}

std::optional<std::int16_t> toInt16Rounded(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double below = std::floor(value);
    const double rest = value - below;
    double rounded = below;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0)) rounded = below + 1.0;
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

} // namespace genre
