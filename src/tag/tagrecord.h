#pragma once

#include <array>
#include <cstddef>

namespace tag {

// A field of W characters (UTF-16 code units). The type fixes the width, so
// a field always holds exactly W characters.
template <std::size_t W>
using Field = std::array<char16_t, W>;

// The window's copy of the 128-byte ID3v1 record, field by field in file order.
struct TagRecord {
    Field<3> Header{};
    Field<30> Title{};
    Field<30> Artist{};
    Field<30> Album{};
    Field<4> Year{};
    Field<30> Comment{};
    Field<1> Genre{};
};

} // namespace tag
