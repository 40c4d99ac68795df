#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace genre {

// Reads the number at the start of a text the way the genre code box wants
// it: blanks, tabs and line feeds are dropped wherever they stand; then an
// optional sign, digits, an optional "." with more digits and an optional
// exponent (E or D, either case, optional sign, digits); or "&H" / "&O" and a
// hexadecimal or octal whole number. Reading stops at the first character
// that cannot continue the number; a text that does not begin with one reads
// as 0. The point is "." whatever the locale.
//
// Hex and octal read as signed integers of the smallest width that holds
// them: up to 0xFFFF as 16 bits (so "&HFFFF" is -1, "&H8000" is -32768), up
// to 0xFFFFFFFF as 32 bits ("&HFFFFFFFF" is -1, "&H10000" is 65536). Leading
// zeros do not widen a number. "&H" or "&O" without a digit reads as 0.
//
// A number too large for a double (decimal, or hex/octal beyond 32 bits)
// reads as plus or minus infinity, one too small as 0; callers that must
// treat it as unreadable can test std::isfinite.
double readLeadingNumber(std::u16string_view text);

// Decimal text of a whole number: digits without leading zeros, "-" when
// negative, no blank or grouping; -0 gives "0". From 10^15 in magnitude on,
// exponent form with at most 15 significant digits ("1E+15",
// "1.23456789012346E+20"). A fraction is dropped towards minus infinity.
// Infinity and NaN have no such text and give the empty text.
std::u16string wholeNumberText(double wholeValue);

// Rounds half to even, as 16-bit conversions of numbers do; nothing when the
// result falls outside -32768..32767 or the value is not finite.
std::optional<std::int16_t> toInt16Rounded(double value);

} // namespace genre
