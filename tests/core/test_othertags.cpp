// The ID3v2 and APE tags that other players show, read from bytes built by
// hand so that each case holds exactly the trap it is about.
#include "core/othertags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes syncsafe(std::uint32_t n) {
    return {std::uint8_t(n >> 21 & 0x7F), std::uint8_t(n >> 14 & 0x7F), std::uint8_t(n >> 7 & 0x7F),
            std::uint8_t(n & 0x7F)};
}

Bytes bigEndian(std::uint32_t n, int count) {
    Bytes out;
    for (int i = count - 1; i >= 0; --i)
        out.push_back(std::uint8_t(n >> (8 * i)));
    return out;
}

Bytes littleEndian(std::uint32_t n) {
    return {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)};
}

// A frame of the given ID3v2 version; `format` is the second flags byte.
Bytes frame(int version, const std::string& id, const Bytes& data, std::uint8_t format = 0) {
    if (version == 2) return bytes(id) + bigEndian(std::uint32_t(data.size()), 3) + data;
    const Bytes size = version == 4 ? syncsafe(std::uint32_t(data.size()))
                                    : bigEndian(std::uint32_t(data.size()), 4);
    return bytes(id) + size + Bytes{0, format} + data;
}

Bytes id3(int version, std::uint8_t flags, const Bytes& body, std::uint32_t size = 0) {
    return bytes("ID3") + Bytes{std::uint8_t(version), 0, flags} +
           syncsafe(size ? size : std::uint32_t(body.size())) + body;
}

Bytes latin1(const std::string& s) {
    return Bytes{0} + bytes(s);
}
Bytes utf8(const std::string& s) {
    return Bytes{3} + bytes(s);
}

// UTF-16 code units with a byte order mark, as encoding 1 has them.
Bytes utf16(const std::u16string& s, bool big) {
    Bytes out{1};
    out = out + (big ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE});
    for (char16_t c : s)
        out = out + (big ? Bytes{std::uint8_t(c >> 8), std::uint8_t(c)}
                         : Bytes{std::uint8_t(c), std::uint8_t(c >> 8)});
    return out;
}

// Every 0xFF followed by 0x00 or a byte of 0xE0 and up gets a 0x00 after it.
Bytes unsynchronise(const Bytes& data) {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && (i + 1 == data.size() || data[i + 1] == 0 || data[i + 1] >= 0xE0))
            out.push_back(0);
    }
    return out;
}

Bytes apeItem(const std::string& key, const std::string& value, std::uint32_t flags = 0) {
    return littleEndian(std::uint32_t(value.size())) + littleEndian(flags) + bytes(key) + Bytes{0} +
           bytes(value);
}

Bytes apeTag(const std::vector<Bytes>& items, std::uint32_t sizeOverride = 0) {
    Bytes body;
    for (const Bytes& item : items)
        body = body + item;
    const std::uint32_t size = sizeOverride ? sizeOverride : std::uint32_t(body.size() + 32);
    return body + bytes("APETAGEX") + littleEndian(2000) + littleEndian(size) +
           littleEndian(std::uint32_t(items.size())) + littleEndian(0) + Bytes(8, 0);
}

Bytes id3v1() {
    Bytes record = bytes("TAG");
    record.resize(128, ' ');
    return record;
}

Bytes audio() {
    return Bytes(600, 0x55);
}

tag::OtherTags read(const Bytes& file) {
    const playback::ReadAt at = [&file](std::int64_t offset, void* buffer, std::int64_t length) {
        if (offset >= std::int64_t(file.size())) return std::int64_t(0);
        const std::int64_t n = std::min<std::int64_t>(length, std::int64_t(file.size()) - offset);
        std::memcpy(buffer, file.data() + offset, std::size_t(n));
        return n;
    };
    return tag::readOtherTags(at, std::int64_t(file.size()));
}

struct Values {
    std::string title, artist, album;
};

struct Case {
    const char* name;
    Bytes file;
    bool hasId3v2;
    Values id3v2;
    bool hasApe = false;
    Values ape = {};
};

std::vector<Case> cases() {
    const Bytes three = frame(3, "TIT2", latin1("Caf\xE9")) + frame(3, "TPE1", latin1("Artist")) +
                        frame(3, "TALB", latin1("Album"));
    // "\xFF\xE0" in Latin-1 is "ÿà": the pair that unsynchronisation splits.
    const Bytes sync =
        frame(3, "TIT2", latin1("\xFF\xE0") + Bytes{0}) + frame(3, "TPE1", latin1("After"));
    const Bytes v24Data = unsynchronise(latin1("\xFF\xE0 x"));
    return {
        {"v2.3 Latin-1, padding after the frames",
         id3(3, 0, three + Bytes(64, 0)) + audio(),
         true,
         {"Caf\xC3\xA9", "Artist", "Album"}},
        {"v2.4 UTF-8 with two artists and a terminator",
         id3(4, 0,
             frame(4, "TIT2", utf8("Title")) +
                 frame(4, "TPE1", utf8("One") + Bytes{0} + bytes("Two") + Bytes{0})) +
             audio(),
         true,
         {"Title", "One / Two", ""}},
        {"v2.3 UTF-16 little- and big-endian, a character beyond the BMP",
         id3(3, 0,
             frame(3, "TIT2", utf16(u"G\U0001D11E", false)) +
                 frame(3, "TPE1", utf16(u"\u00C9l", true))),
         true,
         {"G\xF0\x9D\x84\x9E", "\xC3\x89l", ""}},
        {"v2.4 UTF-16BE without mark",
         id3(4, 0, frame(4, "TALB", Bytes{2, 0, 'A', 0x04, 0x16})),
         true,
         {"", "", "A\xD0\x96"}},
        {"v2.2 three-letter frames",
         id3(2, 0, frame(2, "TT2", latin1("Old")) + frame(2, "TP1", latin1("Band"))),
         true,
         {"Old", "Band", ""}},
        {"v2.3 unsynchronised as a whole, sizes after resynchronising",
         id3(3, 0x80, unsynchronise(sync)),
         true,
         {"\xC3\xBF\xC3\xA0", "After", ""}},
        {"v2.4 frame unsynchronised with a data length indicator",
         id3(4, 0, frame(4, "TIT2", syncsafe(5) + v24Data, 0x03)),
         true,
         {"\xC3\xBF\xC3\xA0 x", "", ""}},
        {"v2.3 extended header before the frames",
         id3(3, 0x40, bigEndian(6, 4) + Bytes(6, 0) + frame(3, "TIT2", latin1("Ext"))),
         true,
         {"Ext", "", ""}},
        {"v2.3 compressed title passed over, artist read",
         id3(3, 0,
             frame(3, "TIT2", Bytes{0, 0, 0, 9, 0x78, 0x9C}, 0x80) +
                 frame(3, "TPE1", latin1("Plain"))),
         true,
         {"", "Plain", ""}},
        {"frame running past the tag ends the reading",
         id3(3, 0,
             frame(3, "TIT2", latin1("Kept")) + bytes("TPE1") + bigEndian(5000, 4) + Bytes{0, 0} +
                 latin1("Lost")),
         true,
         {"Kept", "", ""}},
        {"tag cut short by the end of the file",
         id3(4, 0, frame(4, "TIT2", utf8("Cut")), 9000),
         true,
         {"Cut", "", ""}},
        {"size that is not syncsafe: no tag",
         bytes("ID3") + Bytes{3, 0, 0, 0, 0, 0x80, 0} + frame(3, "TIT2", latin1("No")),
         false,
         {}},
        {"unknown major version: no tag", id3(5, 0, frame(4, "TIT2", utf8("No"))), false, {}},
        {"APE before the ID3v1 record, keys in any case, binary items passed over",
         audio() +
             apeTag({apeItem("TITLE", "Ape \xC3\xA9"), apeItem("Artist", "cover", 2),
                     apeItem("artist", "A" + std::string(1, '\0') + "B")}) +
             id3v1(),
         false,
         {},
         true,
         {"Ape \xC3\xA9", "A / B", ""}},
        {"APE at the very end of a file without a record, beside an ID3v2 tag",
         id3(3, 0, frame(3, "TIT2", latin1("Both"))) + audio() + apeTag({apeItem("Album", "Al")}),
         true,
         {"Both", "", ""},
         true,
         {"", "", "Al"}},
        {"APE footer with a size larger than the file",
         audio() + apeTag({apeItem("Title", "x")}, 1u << 30),
         false,
         {},
         true,
         {}},
        {"plain audio", audio() + id3v1(), false, {}},
    };
}

TEST(OtherTags, ReadsWhatOtherPlayersShow) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const tag::OtherTags tags = read(c.file);
        ASSERT_EQ(tags.id3v2.has_value(), c.hasId3v2);
        if (c.hasId3v2) {
            EXPECT_EQ(tags.id3v2->title, c.id3v2.title);
            EXPECT_EQ(tags.id3v2->artist, c.id3v2.artist);
            EXPECT_EQ(tags.id3v2->album, c.id3v2.album);
        }
        ASSERT_EQ(tags.ape.has_value(), c.hasApe);
        if (c.hasApe) {
            EXPECT_EQ(tags.ape->title, c.ape.title);
            EXPECT_EQ(tags.ape->artist, c.ape.artist);
            EXPECT_EQ(tags.ape->album, c.ape.album);
        }
    }
}

TEST(OtherTags, SaysInWordsWhatOtherPlayersShow) {
    using tag::OtherTags;
    using tag::TagValues;
    const auto tags = [](std::optional<TagValues> id3v2, std::optional<TagValues> ape) {
        OtherTags t;
        t.id3v2 = std::move(id3v2);
        t.ape = std::move(ape);
        return t;
    };
    const struct {
        OtherTags tags;
        const char* text;
    } rows[] = {
        {tags(TagValues{"New Title v2", "Someone", "Later"}, std::nullopt),
         "This file also has an ID3v2 tag: other players show \xE2\x80\x9CNew Title v2\xE2\x80\x9D "
         "by Someone, from \xE2\x80\x9CLater\xE2\x80\x9D."},
        {tags(TagValues{}, TagValues{"", "Band", ""}),
         "This file also has an ID3v2 tag and an APE tag: other players show no title by Band."},
        {tags(std::nullopt, TagValues{}),
         "This file also has an APE tag, with no title, artist or album in it."},
        {tags(std::nullopt, std::nullopt), ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(tag::describeOtherTags(row.tags), row.text);
}

} // namespace
