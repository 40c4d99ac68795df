#include "core/tagrecord.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using namespace std::string_literals;
using tag::Field;
using tag::RecordBytes;
using tag::TagRecord;

template <std::size_t W> std::u16string stored(const Field<W>& f) {
    return std::u16string(f.begin(), f.end());
}

std::u16string spaces(std::size_t n) {
    return std::u16string(n, u' ');
}

std::string ascii(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '~';
    return out;
}

TEST(TagRecordCodePage, EveryByteDecodesAndEncodesBackToItself) {
    std::set<char16_t> seen;
    for (int b = 0; b < 256; ++b) {
        const char16_t ch = tag::decodeCp1252(std::uint8_t(b));
        EXPECT_EQ(tag::encodeCp1252(ch), b) << "byte " << b;
        seen.insert(ch);
    }
    EXPECT_EQ(seen.size(), 256u) << "two bytes decode to the same character";
}

TEST(TagRecordCodePage, KnownCharacters) {
    const struct {
        std::uint8_t byte;
        char16_t ch;
    } cases[] = {
        {0x00, u'\0'},     {0x41, u'A'},      {0x7F, u'\u007F'}, {0x80, u'\u20AC'},
        {0x81, u'\u0081'}, {0x8A, u'\u0160'}, {0x8D, u'\u008D'}, {0x8F, u'\u008F'},
        {0x90, u'\u0090'}, {0x92, u'\u2019'}, {0x9D, u'\u009D'}, {0x9F, u'\u0178'},
        {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'}, {0xFF, u'\u00FF'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.byte));
        EXPECT_EQ(tag::decodeCp1252(c.byte), c.ch);
        EXPECT_EQ(tag::encodeCp1252(c.ch), c.byte);
    }
}

TEST(TagRecordCodePage, CharactersWithoutAByteBecomeQuestionMarks) {
    // U+0080 and U+009F are C1 controls whose bytes the code page gives to
    // other characters; a lone surrogate is half of a character outside it.
    for (char16_t ch : {u'\u0080', u'\u009F', u'\u0100', u'\u4E2D', u'\uFFFD', char16_t(0xD83D)}) {
        SCOPED_TRACE(int(ch));
        EXPECT_EQ(tag::encodeCp1252(ch), '?');
    }
}

struct AssignCase {
    const char* name;
    std::u16string input;
    std::u16string stored;  // all 30 characters of the Title field
    std::u16string display; // what the field shows
};

void PrintTo(const AssignCase& c, std::ostream* os) {
    *os << c.name;
}

class TagRecordAssign : public ::testing::TestWithParam<AssignCase> {};

TEST_P(TagRecordAssign, StoresAndShows) {
    const AssignCase& c = GetParam();
    Field<30> field;
    field.fill(u'#'); // whatever was there before must not show through
    tag::assign(field, c.input);
    EXPECT_EQ(ascii(stored(field)), ascii(c.stored));
    EXPECT_EQ(stored(field), c.stored);
    EXPECT_EQ(tag::displayText(field), c.display);
}

const std::u16string k30 = u"abcdefghijklmnopqrstuvwxyz0123";

INSTANTIATE_TEST_SUITE_P(
    Title, TagRecordAssign,
    ::testing::Values(
        AssignCase{"Empty", u"", spaces(30), u""}, AssignCase{"ThirtyStoredWhole", k30, k30, k30},
        AssignCase{"ThirtyOneLosesLast", k30 + u"Z", k30, k30},
        AssignCase{"TrailingSpacesDoNotSurvive", u"abc  ", u"abc" + spaces(27), u"abc"},
        AssignCase{"LeadingSpacesKept", u"  abc", u"  abc" + spaces(25), u"  abc"},
        AssignCase{"OnlySpaces", u"   ", spaces(30), u""},
        AssignCase{"TabIsNotASpace", u"abc\t", u"abc\t" + spaces(26), u"abc\t"},
        AssignCase{"CaseAndInnerSpacesKept", u"Ab  cD", u"Ab  cD" + spaces(24), u"Ab  cD"},
        AssignCase{"TrailingNoBreakSpaceKept", u"abc\u00A0", u"abc\u00A0" + spaces(26),
                   u"abc\u00A0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TagRecordAssignYear, FourCharacterField) {
    Field<4> year;
    tag::assign(year, u"12345");
    EXPECT_EQ(stored(year), u"1234");
    tag::assign(year, u"99");
    EXPECT_EQ(stored(year), u"99  ");
    EXPECT_EQ(tag::displayText(year), u"99");
}

TEST(TagRecordDisplay, ZeroCharactersAreText) {
    // Records made elsewhere pad with NULs: the display text keeps them (they
    // are not spaces), and a text box shows the text up to the first one.
    const std::u16string nuls27(27, u'\0');
    const struct {
        const char* name;
        std::u16string field; // 30 characters
        std::u16string display;
        std::u16string box;
    } cases[] = {
        {"LettersThenNuls", u"abc" + nuls27, u"abc" + nuls27, u"abc"},
        {"LettersSpacesNuls", u"abc   "s + std::u16string(24, u'\0'),
         u"abc   "s + std::u16string(24, u'\0'), u"abc   "},
        {"TrackNumberAfterNul", u"Nice"s + std::u16string(24, u'\0') + u"\x07 "s,
         u"Nice"s + std::u16string(24, u'\0') + u"\x07"s, u"Nice"},
        {"NulFirst", u"\0hidden"s + spaces(23), u"\0hidden"s, u""},
        {"ThirtyLetters", k30, k30, k30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.field.size(), 30u);
        Field<30> field;
        std::copy(c.field.begin(), c.field.end(), field.begin());
        const std::u16string display = tag::displayText(field);
        EXPECT_EQ(display, c.display);
        EXPECT_EQ(tag::textUpToFirstNul(display), c.box);
        EXPECT_EQ(stored(field), c.field) << "showing a field must not change it";
    }
}

// A record whose every field is told apart from its neighbours.
TagRecord sampleRecord() {
    TagRecord r;
    tag::assign(r.Header, u"TAG");
    tag::assign(r.Title, u"T\u00E9tulo \u20AC");
    tag::assign(r.Artist, u"Artist");
    tag::assign(r.Album, u"Album \u2019s");
    tag::assign(r.Year, u"1999");
    tag::assign(r.Comment, u"Comment");
    tag::setGenreCode(r, 17);
    return r;
}

std::string bytesAt(const RecordBytes& b, std::size_t at, std::size_t n) {
    return std::string(b.begin() + at, b.begin() + at + n);
}

TEST(TagRecordBytes, EncodesFieldsAtTheirOffsets) {
    const RecordBytes b = tag::encodeRecord(sampleRecord());
    EXPECT_EQ(bytesAt(b, 0, 3), "TAG");
    EXPECT_EQ(bytesAt(b, 3, 30), "T\xE9tulo \x80" + std::string(22, ' '));
    EXPECT_EQ(bytesAt(b, 33, 30), "Artist" + std::string(24, ' '));
    EXPECT_EQ(bytesAt(b, 63, 30), "Album \x92s" + std::string(22, ' '));
    EXPECT_EQ(bytesAt(b, 93, 4), "1999");
    EXPECT_EQ(bytesAt(b, 97, 30), "Comment" + std::string(23, ' '));
    EXPECT_EQ(b[127], 17);
}

TEST(TagRecordBytes, EmptyFieldsAndNoGenre) {
    TagRecord r;
    tag::assign(r.Header, u"TAG");
    for (auto* f : {&r.Title, &r.Artist, &r.Album, &r.Comment})
        tag::assign(*f, u"");
    tag::assign(r.Year, u"");
    tag::setGenreCode(r, 0);
    const RecordBytes b = tag::encodeRecord(r);
    EXPECT_EQ(bytesAt(b, 0, 127), "TAG" + std::string(124, ' '));
    EXPECT_EQ(b[127], 0);
}

TEST(TagRecordBytes, AnyRecordDecodesAndEncodesBackByteForByte) {
    // Reading a tag and saving it unchanged must give the same bytes.
    RecordBytes b;
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = std::uint8_t(i * 2 + 1) ^ std::uint8_t(i >> 1);
    b[0] = 'T', b[1] = 'A', b[2] = 'G';
    EXPECT_EQ(tag::encodeRecord(tag::decodeRecord(b)), b);

    for (int start = 0; start < 256; start += 128) {
        RecordBytes all;
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = std::uint8_t(start + i);
        EXPECT_EQ(tag::encodeRecord(tag::decodeRecord(all)), all);
    }
}

TEST(TagRecordBytes, DecodesFieldsFromTheirOffsets) {
    const TagRecord r = tag::decodeRecord(tag::encodeRecord(sampleRecord()));
    EXPECT_EQ(tag::displayText(r.Header), u"TAG");
    EXPECT_EQ(tag::displayText(r.Title), u"T\u00E9tulo \u20AC");
    EXPECT_EQ(tag::displayText(r.Artist), u"Artist");
    EXPECT_EQ(tag::displayText(r.Album), u"Album \u2019s");
    EXPECT_EQ(tag::displayText(r.Year), u"1999");
    EXPECT_EQ(tag::displayText(r.Comment), u"Comment");
    EXPECT_EQ(tag::genreCode(r), 17);
}

TEST(TagRecordBytes, GenreCodeIsTheByteValue) {
    // 32 is the byte of a space and must not be taken for padding; 0x80..0x9F
    // decode to characters far from their byte values.
    for (int code : {0, 1, 32, 128, 129, 146, 147, 255}) {
        SCOPED_TRACE(code);
        TagRecord r = sampleRecord();
        tag::setGenreCode(r, std::uint8_t(code));
        EXPECT_EQ(tag::genreCode(r), code);
        RecordBytes b = tag::encodeRecord(r);
        EXPECT_EQ(b[127], code);
        EXPECT_EQ(tag::genreCode(tag::decodeRecord(b)), code);
    }
}

TEST(TagRecordBytes, MarkerIsExactlyUpperCaseTag) {
    const struct {
        const char* marker;
        bool isRecord;
    } cases[] = {{"TAG", true},   {"tag", false},    {"Tag", false}, {"TAg", false},
                 {"TA\0", false}, {"\0\0\0", false}, {" TA", false}, {"TAH", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marker);
        RecordBytes b{};
        std::copy_n(c.marker, 3, b.begin());
        EXPECT_EQ(tag::hasTagMarker(b), c.isRecord);
    }
}

} // namespace
