#include "core/tagrecord.h"

namespace tag {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The undefined bytes
// keep their own value, which makes the mapping a bijection on bytes.
constexpr std::array<char16_t, 32> kHighControls = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

constexpr std::uint8_t kUnmappable = '?';

static_assert(sizeof(TagRecord) == kRecordSize * sizeof(char16_t),
              "the fields must add up to the 128-byte record");

template <std::size_t W>
void encodeField(const Field<W>& field, RecordBytes& out, std::size_t& at) {
    for (char16_t ch : field)
        out[at++] = encodeCp1252(ch);
}

template <std::size_t W> void decodeField(const RecordBytes& in, std::size_t& at, Field<W>& field) {
    for (char16_t& ch : field)
        ch = decodeCp1252(in[at++]);
}

} // namespace

char16_t decodeCp1252(std::uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

std::uint8_t encodeCp1252(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<std::uint8_t>(ch);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == ch) return static_cast<std::uint8_t>(0x80 + i);
    }
    return kUnmappable;
}

std::u16string withoutTrailingSpaces(std::u16string_view text) {
    const std::size_t last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(0, last == std::u16string_view::npos ? 0 : last + 1));
}

std::u16string textUpToFirstNul(std::u16string_view text) {
    return std::u16string(text.substr(0, text.find(u'\0')));
}

bool startsWithTagMarker(const std::uint8_t* bytes) {
    return bytes[0] == 'T' && bytes[1] == 'A' && bytes[2] == 'G';
}

bool hasTagMarker(const RecordBytes& bytes) {
    return startsWithTagMarker(bytes.data());
}

RecordBytes encodeRecord(const TagRecord& record) {
    RecordBytes out{};
    std::size_t at = 0;
    encodeField(record.Header, out, at);
    encodeField(record.Title, out, at);
    encodeField(record.Artist, out, at);
    encodeField(record.Album, out, at);
    encodeField(record.Year, out, at);
    encodeField(record.Comment, out, at);
    encodeField(record.Genre, out, at);
    return out;
}

TagRecord decodeRecord(const RecordBytes& bytes) {
    TagRecord record;
    std::size_t at = 0;
    decodeField(bytes, at, record.Header);
    decodeField(bytes, at, record.Title);
    decodeField(bytes, at, record.Artist);
    decodeField(bytes, at, record.Album);
    decodeField(bytes, at, record.Year);
    decodeField(bytes, at, record.Comment);
    decodeField(bytes, at, record.Genre);
    return record;
}

std::uint8_t genreCode(const TagRecord& record) {
    return encodeCp1252(record.Genre[0]);
}

void setGenreCode(TagRecord& record, std::uint8_t code) {
    record.Genre[0] = decodeCp1252(code);
}

} // namespace tag
