#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tag {

// A field of W characters (UTF-16 code units). The type fixes the width, so
// a field always holds exactly W characters.
template <std::size_t W> using Field = std::array<char16_t, W>;

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

inline constexpr std::size_t kRecordSize = 128;

// The record as it lies in the file's last 128 bytes.
using RecordBytes = std::array<std::uint8_t, kRecordSize>;

// Tag text is Windows-1252 everywhere. Every byte decodes to a character and
// encodes back to itself; the five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same value,
// so a tag read and saved unchanged keeps its bytes. A character with no byte
// is written as '?'.
char16_t decodeCp1252(std::uint8_t byte);
std::uint8_t encodeCp1252(char16_t ch);

// Stores text left-justified: shorter text is padded with spaces, longer text
// is cut at the width. Nothing else about the text changes.
template <std::size_t W> void assign(Field<W>& field, std::u16string_view text) {
    const std::size_t kept = std::min(W, text.size());
    std::copy_n(text.begin(), kept, field.begin());
    std::fill(field.begin() + kept, field.end(), u' ');
}

// The field's text with trailing U+0020 removed. Only that one character
// counts: NULs and other white space are part of the text.
std::u16string withoutTrailingSpaces(std::u16string_view text);

template <std::size_t W> std::u16string displayText(const Field<W>& field) {
    return withoutTrailingSpaces(std::u16string_view(field.data(), W));
}

// A text box cannot hold U+0000, so it shows a field only up to its first
// one; records made elsewhere often pad with NULs or hide a track number
// behind one.
std::u16string textUpToFirstNul(std::u16string_view text);

// True when the bytes begin with "TAG" exactly: upper case, byte for byte.
bool hasTagMarker(const RecordBytes& bytes);
// The same for three bytes anywhere, such as a record met inside a stream.
bool startsWithTagMarker(const std::uint8_t* bytes);

// The seven fields in file order, one byte per character.
RecordBytes encodeRecord(const TagRecord& record);
TagRecord decodeRecord(const RecordBytes& bytes);

// The genre code is the byte value of the Genre field's character, 0..255.
std::uint8_t genreCode(const TagRecord& record);
void setGenreCode(TagRecord& record, std::uint8_t code);

} // namespace tag
