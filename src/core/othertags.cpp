#include "core/othertags.h"

#include "core/tagrecord.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tag {
namespace {

using Bytes = std::vector<std::uint8_t>;
using playback::ReadAt;

// Bounds that keep a damaged or hostile size field from costing more than a
// click should: a tag read whole (only an unsynchronised one is) and one
// frame, and the number of frame headers looked at.
constexpr std::int64_t kMaxWholeTag = 16 << 20;
constexpr std::int64_t kMaxTextFrame = 1 << 20;
constexpr int kMaxFrames = 4096;
constexpr std::int64_t kMaxApeTag = 16 << 20;
constexpr auto kRecordLength = static_cast<std::int64_t>(tag::kRecordSize);
constexpr std::int64_t kApeFooterSize = 32;

const char* const kJoin = " / ";

bool readExactly(const ReadAt& read, std::int64_t offset, void* buffer, std::int64_t length) {
    return length == 0 || read(offset, buffer, length) == length;
}

std::uint32_t bigEndian(const std::uint8_t* p, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | p[i];
    return value;
}

std::uint32_t littleEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Seven bits a byte, as ID3v2 sizes are kept; nothing when a byte has its
// top bit set.
std::optional<std::uint32_t> syncsafe(const std::uint8_t* p) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] & 0x80) return std::nullopt;
        value = (value << 7) | p[i];
    }
    return value;
}

// Undoes unsynchronisation: every 0xFF 0x00 was a lone 0xFF.
Bytes resynchronise(const Bytes& data) {
    Bytes out;
    out.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < data.size() && data[i + 1] == 0x00) ++i;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string fromLatin1(const std::uint8_t* p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        appendUtf8(out, p[i]);
    return out;
}

// A byte order mark decides the order; without one, little-endian, as the
// Windows programs that leave it out write.
std::string fromUtf16(const std::uint8_t* p, std::size_t n, bool bigEndianDefault) {
    bool big = bigEndianDefault;
    std::size_t i = 0;
    if (n >= 2 && ((p[0] == 0xFE && p[1] == 0xFF) || (p[0] == 0xFF && p[1] == 0xFE))) {
        big = p[0] == 0xFE;
        i = 2;
    }
    std::string out;
    const auto unit = [&](std::size_t at) {
        return big ? char16_t(p[at] << 8 | p[at + 1]) : char16_t(p[at + 1] << 8 | p[at]);
    };
    for (; i + 1 < n; i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
            const char16_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, u >= 0xD800 && u < 0xE000 ? char32_t(0xFFFD) : char32_t(u));
    }
    return out;
}

// A text frame's values (encoding byte first), NUL-separated where there
// are several, joined for showing; the terminator after the last is no value.
std::string textOfFrame(const Bytes& data) {
    if (data.empty()) return {};
    const std::uint8_t encoding = data[0];
    const std::uint8_t* body = data.data() + 1;
    const std::size_t size = data.size() - 1;
    const bool wide = encoding == 1 || encoding == 2;
    const std::size_t step = wide ? 2 : 1;

    std::vector<std::string> values;
    std::size_t start = 0;
    for (std::size_t i = 0;; i += step) {
        const bool atEnd = i + step > size;
        const bool terminator = !atEnd && body[i] == 0 && (!wide || body[i + 1] == 0);
        if (atEnd || terminator) {
            const std::uint8_t* p = body + start;
            const std::size_t n = (atEnd ? size : i) - start;
            switch (encoding) {
            case 0:
                values.push_back(fromLatin1(p, n));
                break;
            case 1:
                values.push_back(fromUtf16(p, n, false));
                break;
            case 2:
                values.push_back(fromUtf16(p, n, true));
                break;
            case 3:
                values.emplace_back(reinterpret_cast<const char*>(p), n);
                break;
            default:
                return {};
            }
            if (atEnd) break;
            start = i + step;
        }
    }
    while (!values.empty() && values.back().empty())
        values.pop_back();
    std::string joined;
    for (const std::string& value : values) {
        if (!joined.empty()) joined += kJoin;
        joined += value;
    }
    return joined;
}

std::string* fieldFor(TagValues& values, const char* id, int version) {
    static const std::array<const char*, 3> v22{"TT2", "TP1", "TAL"};
    static const std::array<const char*, 3> v23{"TIT2", "TPE1", "TALB"};
    const auto& ids = version == 2 ? v22 : v23;
    std::string* fields[] = {&values.title, &values.artist, &values.album};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (std::strcmp(id, ids[i]) == 0) return fields[i];
    }
    return nullptr;
}

// The frames from `begin` to `end`; with `unsyncFrames` (a v2.4 tag's
// header flag) every frame's data is unsynchronised.
TagValues readFrames(const ReadAt& read, std::int64_t begin, std::int64_t end, int version,
                     bool unsyncFrames) {
    TagValues values;
    const int headerSize = version == 2 ? 6 : 10;
    const int idSize = version == 2 ? 3 : 4;
    std::int64_t at = begin;
    int seen = 0;
    for (; seen < kMaxFrames && at + headerSize <= end; ++seen) {
        std::uint8_t h[10] = {};
        if (!readExactly(read, at, h, headerSize)) break;
        char id[5] = {};
        for (int i = 0; i < idSize; ++i) {
            const char c = static_cast<char>(h[i]);
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return values; // padding
            id[i] = c;
        }
        std::int64_t size = 0;
        if (version == 2) {
            size = bigEndian(h + 3, 3);
        } else if (version == 3) {
            size = bigEndian(h + 4, 4);
        } else {
            // Some writers put plain sizes in v2.4 tags; those have a top bit.
            const std::optional<std::uint32_t> safe = syncsafe(h + 4);
            size = safe ? *safe : bigEndian(h + 4, 4);
        }
        const std::int64_t dataAt = at + headerSize;
        if (size > end - dataAt) break; // cut short: nothing after it is whole
        at = dataAt + size;

        std::string* field = fieldFor(values, id, version);
        if (!field || !field->empty() || size > kMaxTextFrame) continue;
        const std::uint8_t format = version == 2 ? 0 : h[9];
        std::int64_t skip = 0;
        bool unsync = false;
        if (version == 3) {
            if (format & 0xC0) continue; // compressed or encrypted
            if (format & 0x20) skip = 1; // group id
        } else if (version == 4) {
            if (format & 0x0C) continue;
            skip = (format & 0x40 ? 1 : 0) + (format & 0x01 ? 4 : 0);
            unsync = unsyncFrames || (format & 0x02);
        }
        if (skip > size) continue;
        Bytes data(static_cast<std::size_t>(size - skip));
        if (!readExactly(read, dataAt + skip, data.data(), size - skip)) break;
        *field = textOfFrame(unsync ? resynchronise(data) : data);
        if (!values.title.empty() && !values.artist.empty() && !values.album.empty()) break;
    }
    return values;
}

// The ID3v2 tag at the start: its version and values, or nothing.
std::optional<TagValues> readId3v2(const ReadAt& read, std::int64_t fileSize, int& version) {
    std::uint8_t h[10];
    if (fileSize < 10 || !readExactly(read, 0, h, 10)) return std::nullopt;
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 || h[4] == 0xFF) return std::nullopt;
    const std::optional<std::uint32_t> size = syncsafe(h + 6);
    if (!size) return std::nullopt;
    version = h[3];
    const std::uint8_t flags = h[5];
    const std::int64_t end = std::min<std::int64_t>(10 + std::int64_t(*size), fileSize);

    // v2.2's second flag is a compression no one defined: nothing to read.
    if (version == 2 && (flags & 0x40)) return TagValues{};

    // Before v2.4, unsynchronisation covers the whole tag, extended header
    // included, so the frames' offsets are known only once it is undone.
    ReadAt source = read;
    std::int64_t begin = 10;
    std::int64_t stop = end;
    Bytes whole;
    if (version < 4 && (flags & 0x80)) {
        if (end - 10 > kMaxWholeTag) return TagValues{};
        Bytes raw(static_cast<std::size_t>(end - 10));
        if (!readExactly(read, 10, raw.data(), end - 10)) return TagValues{};
        whole = resynchronise(raw);
        source = [&whole](std::int64_t offset, void* buffer, std::int64_t length) {
            if (offset < 0 || offset >= std::int64_t(whole.size())) return std::int64_t(0);
            const std::int64_t n = std::min<std::int64_t>(length, whole.size() - offset);
            std::memcpy(buffer, whole.data() + offset, static_cast<std::size_t>(n));
            return n;
        };
        begin = 0;
        stop = std::int64_t(whole.size());
    }

    if (version >= 3 && (flags & 0x40)) {
        std::uint8_t e[4];
        if (!readExactly(source, begin, e, 4)) return TagValues{};
        if (version == 3) {
            begin += 4 + std::int64_t(bigEndian(e, 4));
        } else {
            const std::optional<std::uint32_t> extended = syncsafe(e);
            if (!extended) return TagValues{};
            begin += *extended;
        }
    }
    return readFrames(source, begin, stop, version, version == 4 && (flags & 0x80));
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// An APE tag (v1 or v2) whose footer ends at `end`.
std::optional<TagValues> readApe(const ReadAt& read, std::int64_t end) {
    std::uint8_t f[kApeFooterSize];
    if (end < kApeFooterSize || !readExactly(read, end - kApeFooterSize, f, kApeFooterSize))
        return std::nullopt;
    if (std::memcmp(f, "APETAGEX", 8) != 0) return std::nullopt;
    const std::int64_t tagSize = littleEndian32(f + 12); // items and footer
    const std::uint32_t count = littleEndian32(f + 16);
    if (tagSize < kApeFooterSize || tagSize > end || tagSize > kMaxApeTag) return TagValues{};

    Bytes items(static_cast<std::size_t>(tagSize - kApeFooterSize));
    if (!readExactly(read, end - tagSize, items.data(), std::int64_t(items.size())))
        return TagValues{};
    TagValues values;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < count && at + 8 <= items.size(); ++i) {
        const std::size_t valueSize = littleEndian32(items.data() + at);
        const std::uint32_t itemFlags = littleEndian32(items.data() + at + 4);
        const std::size_t keyAt = at + 8;
        const auto keyEnd = std::find(items.begin() + keyAt, items.end(), 0);
        if (keyEnd == items.end()) break;
        const std::string key(items.begin() + keyAt, keyEnd);
        const std::size_t valueAt = std::size_t(keyEnd - items.begin()) + 1;
        if (valueSize > items.size() - valueAt) break;
        at = valueAt + valueSize;

        std::string* field = equalsIgnoringCase(key, "Title")    ? &values.title
                             : equalsIgnoringCase(key, "Artist") ? &values.artist
                             : equalsIgnoringCase(key, "Album")  ? &values.album
                                                                 : nullptr;
        if (!field || !field->empty() || ((itemFlags >> 1) & 3) != 0) continue; // not text
        Bytes text(items.begin() + valueAt, items.begin() + valueAt + valueSize);
        text.insert(text.begin(), 3); // as a UTF-8 text frame: NUL-separated values
        *field = textOfFrame(text);
    }
    return values;
}

} // namespace

OtherTags readOtherTags(const playback::ReadAt& read, std::int64_t size) {
    OtherTags tags;
    tags.id3v2 = readId3v2(read, size, tags.id3v2Version);
    if (!tags.id3v2) tags.id3v2Version = 0;

    std::int64_t apeEnd = size;
    std::uint8_t marker[3];
    if (size >= kRecordLength && readExactly(read, size - kRecordLength, marker, 3) &&
        tag::startsWithTagMarker(marker))
        apeEnd = size - kRecordLength;
    tags.ape = readApe(read, apeEnd);
    return tags;
}

std::string describeOtherTags(const OtherTags& tags) {
    if (!tags.any()) return {};
    std::string which;
    if (tags.id3v2) which = "an ID3v2 tag";
    if (tags.ape) which += which.empty() ? "an APE tag" : " and an APE tag";
    const TagValues* shown = nullptr;
    for (const std::optional<TagValues>* values : {&tags.id3v2, &tags.ape}) {
        if (!shown && *values && !(*values)->empty()) shown = &**values;
    }
    const std::string open = "\xE2\x80\x9C";  // “
    const std::string close = "\xE2\x80\x9D"; // ”
    if (!shown) return "This file also has " + which + ", with no title, artist or album in it.";
    std::string text = "This file also has " + which + ": other players show ";
    text += shown->title.empty() ? "no title" : open + shown->title + close;
    if (!shown->artist.empty()) text += " by " + shown->artist;
    if (!shown->album.empty()) text += ", from " + open + shown->album + close;
    return text + ".";
}

} // namespace tag
