#pragma once

#include <QString>

namespace genre {

// The genre code box's text as a number, read by the user's locale. The
// box may hold the exponent form that very large numbers are written in, so
// this reads a double and leaves the 16-bit judgement to the caller. Throws
// std::invalid_argument when the text is empty or not a number: the caller's
// statement fails there.
double boxNumber(const QString& text);

} // namespace genre
