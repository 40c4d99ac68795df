#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace genre {

inline constexpr std::size_t kGenreCount = 146;

// The program's genre names, by list position. A genre's code is its
// position plus one; code 0 means no genre. Files written by this program
// carry that code in their genre byte, so the order never changes.
extern const std::array<std::string_view, kGenreCount> kGenreNames;

inline constexpr std::int16_t codeOfPosition(std::int16_t position) {
    return static_cast<std::int16_t>(position + 1);
}
inline constexpr std::int16_t positionOfCode(std::int16_t code) {
    return static_cast<std::int16_t>(code - 1);
}

} // namespace genre
