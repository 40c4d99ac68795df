#include "core/mp3length.h"

#include "core/tagrecord.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace playback {
namespace {

// How far past the tags we look for the first frame. Files with tens of
// kilobytes of silence or junk before the audio exist and still play; a file
// with none of its first megabytes in frames is not an MP3.
constexpr std::int64_t kFirstFrameSearch = std::int64_t{4} << 20;
// How much junk in the middle of the audio we step over to find the frames
// again, as a decoder that keeps playing after a damaged stretch does.
constexpr std::int64_t kResyncSearch = std::int64_t{64} << 10;
// A frame counts as found when this many frames follow it in step (or the
// audio ends right after it): a lone sync word in junk or in a picture is
// found often, a chain of consistent headers almost never.
constexpr int kConfirmFrames = 3;
// Samples a layer III decoder puts out before the first real one; a LAME
// tag's delay does not include them, a gapless decoder drops them too.
constexpr std::int64_t kDecoderDelay = 529;

constexpr std::int64_t kFirstChunk = std::int64_t{16} << 10;
constexpr std::int64_t kLargestChunk = std::int64_t{1} << 20;

// Buffered reads over ReadAt. The chunk grows while reads go on from one to
// the next, so that a few reads near the start stay small and a walk over
// the whole file makes few large reads.
class Source {
public:
    Source(const ReadAt& read, std::int64_t size) : read_(read), size_(size) {}

    std::int64_t size() const { return size_; }
    bool failed() const { return failed_; }

    // Points at the bytes from `offset` on, with at least `need` of them
    // unless the file ends first; `available` says how many. nullptr past the
    // end or on a read error.
    const std::uint8_t* at(std::int64_t offset, std::int64_t need, std::int64_t& available) {
        available = 0;
        if (offset < 0 || offset >= size_ || failed_) return nullptr;
        const std::int64_t wanted = std::min(need, size_ - offset);
        if (offset < start_ || offset + wanted > start_ + length_) {
            if (!fill(offset, need)) return nullptr;
        }
        available = start_ + length_ - offset;
        return buffer_.data() + (offset - start_);
    }

    // Reads exactly `count` bytes at `offset` past the buffer, for a look at
    // the other end of the file that should not cost a chunk.
    bool readDirect(std::int64_t offset, void* out, std::int64_t count) {
        if (offset < 0 || offset + count > size_ || failed_) return false;
        auto* to = static_cast<std::uint8_t*>(out);
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t got = read_(offset + done, to + done, count - done);
            if (got < 0) failed_ = true;
            if (got <= 0) return false;
            done += got;
        }
        return true;
    }

    // Copies exactly `count` bytes at `offset`, or returns false.
    bool copy(std::int64_t offset, void* out, std::int64_t count) {
        std::int64_t available = 0;
        const std::uint8_t* bytes = at(offset, count, available);
        if (!bytes || available < count) return false;
        std::memcpy(out, bytes, static_cast<std::size_t>(count));
        return true;
    }

private:
    bool fill(std::int64_t offset, std::int64_t need) {
        // A jump (over a tag, to the end) starts small again: only reading
        // on near where the last chunk ended earns a larger one. A frame
        // may straddle the end of a chunk, so the next header lies past it.
        if (offset < start_ || offset > start_ + length_ + kFirstChunk) chunk_ = kFirstChunk;
        const std::int64_t length = std::min(std::max(need, chunk_), size_ - offset);
        chunk_ = std::min(chunk_ * 2, kLargestChunk);
        buffer_.resize(static_cast<std::size_t>(length));
        std::int64_t done = 0;
        while (done < length) {
            const std::int64_t got = read_(offset + done, buffer_.data() + done, length - done);
            if (got < 0) {
                failed_ = true;
                return false;
            }
            if (got == 0) break; // the file shrank under us: what was read is all there is
            done += got;
        }
        start_ = offset;
        length_ = done;
        return done > 0;
    }

    const ReadAt& read_;
    std::int64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
    std::int64_t chunk_ = kFirstChunk;
    bool failed_ = false;
};

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint32_t littleEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           std::uint32_t{p[0]};
}

// The fields of a frame header that must stay the same from frame to frame:
// sync, MPEG version, layer and sample rate.
constexpr std::uint32_t kSameStreamMask = 0xFFFE0C00;

struct Frame {
    std::uint32_t header = 0;
    int version = 0; // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int layer = 0;   // 1, 2 or 3
    int sampleRate = 0;
    int samples = 0;
    int length = 0; // bytes, 0 for a free-format frame
    bool mono = false;
    bool crc = false;
};

constexpr std::array<std::array<std::array<int, 16>, 3>, 2> kBitRates{{
    {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}},
    {{{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}},
}};
constexpr std::array<std::array<int, 3>, 3> kSampleRates{{
    {44100, 48000, 32000},
    {22050, 24000, 16000},
    {11025, 12000, 8000},
}};

int frameLength(int version, int layer, int bitRateIndex, int sampleRate, bool padding) {
    const int bitRate = kBitRates[version == 0 ? 0 : 1][layer - 1][bitRateIndex] * 1000;
    const int pad = padding ? 1 : 0;
    if (layer == 1) return (12 * bitRate / sampleRate + pad) * 4;
    if (layer == 3 && version != 0) return 72 * bitRate / sampleRate + pad;
    return 144 * bitRate / sampleRate + pad;
}

std::optional<Frame> parseHeader(std::uint32_t header) {
    if ((header & 0xFFE00000) != 0xFFE00000) return std::nullopt;
    const int versionBits = (header >> 19) & 3;
    const int layerBits = (header >> 17) & 3;
    const int bitRateIndex = (header >> 12) & 15;
    const int rateIndex = (header >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitRateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    Frame frame;
    frame.header = header;
    frame.version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
    frame.layer = 4 - layerBits;
    frame.sampleRate = kSampleRates[frame.version][rateIndex];
    frame.samples = frame.layer == 1 ? 384 : (frame.layer == 3 && frame.version != 0) ? 576 : 1152;
    frame.mono = ((header >> 6) & 3) == 3;
    frame.crc = ((header >> 16) & 1) == 0;
    if (bitRateIndex != 0)
        frame.length = frameLength(frame.version, frame.layer, bitRateIndex, frame.sampleRate,
                                   ((header >> 9) & 1) != 0);
    return frame;
}

// The smallest and largest frame this stream can have, to judge whether a
// header's byte count can hold its frame count.
std::pair<std::int64_t, std::int64_t> frameLengthRange(const Frame& frame) {
    return {frameLength(frame.version, frame.layer, 1, frame.sampleRate, false),
            frameLength(frame.version, frame.layer, 14, frame.sampleRate, true)};
}

struct Scanner {
    Source& source;
    std::int64_t audioEnd = 0;

    std::optional<Frame> frameAt(std::int64_t offset) {
        if (offset + 4 > audioEnd) return std::nullopt;
        std::uint8_t bytes[4];
        if (!source.copy(offset, bytes, 4)) return std::nullopt;
        return parseHeader(bigEndian32(bytes));
    }

    // True when the frame at `offset` is followed by frames of the same
    // stream, or ends where the audio ends.
    bool confirmed(std::int64_t offset, const Frame& first) {
        std::int64_t next = offset + first.length;
        for (int i = 0; i < kConfirmFrames; ++i) {
            if (next == audioEnd) return true;
            const std::optional<Frame> frame = frameAt(next);
            if (!frame || frame->length == 0 ||
                (frame->header & kSameStreamMask) != (first.header & kSameStreamMask))
                return false;
            if (next + frame->length > audioEnd) return i > 0; // the last, cut short
            next += frame->length;
        }
        return true;
    }

    // The first confirmed frame in [from, limit), or nothing. When `like` is
    // given, only a frame of that stream will do.
    std::optional<std::pair<std::int64_t, Frame>> findFrame(std::int64_t from, std::int64_t limit,
                                                            const Frame* like = nullptr) {
        limit = std::min(limit, audioEnd - 3);
        std::int64_t offset = from;
        while (offset < limit) {
            std::int64_t available = 0;
            const std::uint8_t* bytes = source.at(offset, 4, available);
            if (!bytes || available < 4) return std::nullopt;
            const std::int64_t span = std::min(available - 3, limit - offset);
            const void* sync = std::memchr(bytes, 0xFF, static_cast<std::size_t>(span));
            if (!sync) {
                offset += span;
                continue;
            }
            const std::int64_t at = offset + (static_cast<const std::uint8_t*>(sync) - bytes);
            const std::uint8_t* p = static_cast<const std::uint8_t*>(sync);
            const std::optional<Frame> frame = parseHeader(bigEndian32(p));
            if (frame && frame->length > 0 && at + frame->length <= audioEnd &&
                (!like || (frame->header & kSameStreamMask) == (like->header & kSameStreamMask)) &&
                confirmed(at, *frame))
                return std::pair{at, *frame};
            offset = at + 1;
        }
        return std::nullopt;
    }
};

// An ID3v2 tag's whole length from its 10-byte header, or 0 when these
// bytes do not start one.
std::int64_t id3v2Length(const std::uint8_t* h, Source& source, std::int64_t offset) {
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
    std::int64_t length = 10 + ((std::int64_t{h[6]} << 21) | (h[7] << 14) | (h[8] << 7) | h[9]);
    if (h[3] >= 4 && (h[5] & 0x10)) {
        // Trust the footer flag only where the footer is: a tag that claims
        // one it does not have would have us start ten bytes into the audio.
        std::uint8_t footer[3];
        if (source.copy(offset + length, footer, 3) && std::memcmp(footer, "3DI", 3) == 0)
            length += 10;
    }
    return length;
}

// An APE tag's length from the 32-byte footer or header at `p`, or 0.
std::int64_t apeLength(const std::uint8_t* p) {
    if (std::memcmp(p, "APETAGEX", 8) != 0) return 0;
    const std::int64_t size = littleEndian32(p + 12); // items and footer
    const bool hasHeader = (littleEndian32(p + 20) & 0x80000000u) != 0;
    return size + (hasHeader ? 32 : 0);
}

// Where the audio ends: before an ID3v1 record and an APE tag at the end.
std::int64_t findAudioEnd(Source& source) {
    constexpr std::int64_t kTail = 128 + 32;
    const std::int64_t size = source.size();
    std::uint8_t tail[kTail] = {};
    const std::int64_t count = std::min(size, kTail);
    if (!source.readDirect(size - count, tail + (kTail - count), count)) return size;
    std::int64_t end = size;
    if (size >= 128 && tag::startsWithTagMarker(tail + kTail - 128)) end -= 128;
    if (end >= 32) {
        const std::int64_t ape = apeLength(tail + kTail - (size - end) - 32);
        if (ape >= 32 && ape <= end) end -= ape;
    }
    return end;
}

struct InfoHeader {
    Mp3LengthSource kind = Mp3LengthSource::None;
    // Decoders skip a Xing/Info frame, but play a VBRI frame as a frame of
    // silence: they do not know that header.
    bool silent() const { return kind == Mp3LengthSource::VbriHeader; }
    std::int64_t frames = -1; // the frames after this one
    std::int64_t bytes = -1;  // from this frame to the end of the audio
    std::int64_t delay = -1;  // encoder delay and padding, in samples
    std::int64_t padding = -1;
};

// A Xing/Info or VBRI header in the first frame, if there is one.
InfoHeader readInfoHeader(Source& source, std::int64_t offset, const Frame& frame) {
    InfoHeader info;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frame.length));
    if (!source.copy(offset, bytes.data(), frame.length)) return info;
    const auto fits = [&](std::size_t at, std::size_t count) { return at + count <= bytes.size(); };

    const std::size_t sideInfo =
        frame.version == 0 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
    const auto isXing = [&](std::size_t at) {
        return fits(at, 8) &&
               (std::memcmp(&bytes[at], "Xing", 4) == 0 || std::memcmp(&bytes[at], "Info", 4) == 0);
    };
    // LAME leaves the CRC out of the offset even in a protected frame; the
    // header's own layout would have it in.
    std::size_t xing = 4 + sideInfo;
    if (frame.crc && !isXing(xing)) xing += 2;
    if (frame.layer == 3 && isXing(xing)) {
        info.kind = Mp3LengthSource::XingHeader;
        const std::uint32_t flags = bigEndian32(&bytes[xing + 4]);
        std::size_t at = xing + 8;
        if (flags & 1) {
            if (!fits(at, 4)) return info;
            info.frames = bigEndian32(&bytes[at]);
            at += 4;
        }
        if (flags & 2) {
            if (!fits(at, 4)) return info;
            info.bytes = bigEndian32(&bytes[at]);
            at += 4;
        }
        if (flags & 4) at += 100; // seek table
        if (flags & 8) at += 4;   // quality
        // A gapless decoder trims whenever it knows the frame count: by the
        // encoder's delay and padding (12 bits each) where the LAME tag's
        // place after the Xing fields holds them, by none where it does not.
        // libmpg123 reads that place whatever encoder name stands there.
        if (info.frames > 0) {
            info.delay = 0;
            info.padding = 0;
            if (fits(at, 24)) {
                const std::uint8_t* p = &bytes[at + 21];
                info.delay = (p[0] << 4) | (p[1] >> 4);
                info.padding = ((p[1] & 0x0F) << 8) | p[2];
            }
        }
        return info;
    }
    const std::size_t vbri = 4 + 32;
    if (fits(vbri, 18) && std::memcmp(&bytes[vbri], "VBRI", 4) == 0) {
        info.kind = Mp3LengthSource::VbriHeader;
        info.bytes = bigEndian32(&bytes[vbri + 10]);
        info.frames = bigEndian32(&bytes[vbri + 14]);
    }
    return info;
}

// Samples a gapless decoder puts out for `total` decoded samples when the
// Xing header counts the frames. A file cut short of them gets no trimming
// at all: its end padding is gone. Otherwise the decoder plays from the
// encoder's delay (plus its own) to the end of the counted frames less the
// padding (plus its own delay again), and all of any frames after those.
std::int64_t gaplessSamples(std::int64_t total, const InfoHeader& info, int frameSamples) {
    if (info.delay < 0 || info.frames <= 0) return total;
    const std::int64_t counted = info.frames * frameSamples;
    if (counted > total) return total;
    const std::int64_t begin = info.delay + kDecoderDelay;
    const std::int64_t end = counted - info.padding + kDecoderDelay;
    const std::int64_t samples = total > end ? total - (counted - end) - begin : total - begin;
    return std::max<std::int64_t>(samples, 0);
}

// The ID3v2 tags at the start, chained or not: where they end, where the
// last one starts (-1 when there is none) and how many there are.
struct LeadingTags {
    std::int64_t end = 0;
    std::int64_t last = -1;
    int count = 0;
};

LeadingTags skipLeadingTags(Source& source) {
    LeadingTags tags;
    std::uint8_t header[10];
    while (tags.end < source.size() && source.copy(tags.end, header, 10)) {
        const std::int64_t length = id3v2Length(header, source, tags.end);
        if (length == 0) break;
        tags.last = tags.end;
        tags.end += length;
        ++tags.count;
    }
    return tags;
}

} // namespace

Mp3Length measureMp3Length(const ReadAt& read, std::int64_t size) {
    Mp3Length result;
    if (size <= 0) {
        result.error = size == 0 ? Mp3LengthError::Empty : Mp3LengthError::Unreadable;
        return result;
    }
    Source source(read, size);
    Scanner scanner{source, findAudioEnd(source)};
    const LeadingTags tags = skipLeadingTags(source);
    const std::int64_t afterTags = tags.end;
    const std::int64_t lastTag = tags.last;
    result.leadingTags = tags.count;
    result.tagsEnd = tags.end;

    auto first = scanner.findFrame(afterTags, afterTags + kFirstFrameSearch);
    if (!first && lastTag >= 0) {
        // A tag whose size is too large hides the audio behind it: look
        // again from just inside the last tag, the one that overshot.
        first = scanner.findFrame(lastTag + 10, lastTag + 10 + kFirstFrameSearch);
    }
    if (source.failed()) {
        result.error = Mp3LengthError::Unreadable;
        return result;
    }
    if (!first) {
        const std::optional<Frame> start = scanner.frameAt(afterTags);
        if (start && start->length == 0)
            result.error = Mp3LengthError::Unsupported;
        else if (start)
            result.error = Mp3LengthError::Damaged;
        return result;
    }

    const auto [firstOffset, firstFrame] = *first;
    result.audioStart = firstOffset;
    result.sampleRate = firstFrame.sampleRate;
    const InfoHeader info = readInfoHeader(source, firstOffset, firstFrame);

    if (info.kind != Mp3LengthSource::None && info.frames > 0 &&
        info.bytes == scanner.audioEnd - firstOffset) {
        const auto [smallest, largest] = frameLengthRange(firstFrame);
        const std::int64_t frames = info.frames + 1; // with the information frame
        if (frames * smallest <= info.bytes && info.bytes <= frames * largest) {
            result.error = Mp3LengthError::None;
            result.source = info.kind;
            result.frames = info.frames + (info.silent() ? 1 : 0);
            result.samples =
                gaplessSamples(result.frames * firstFrame.samples, info, firstFrame.samples);
            return result;
        }
    }

    // Count the frames, from the information frame on where it is played.
    std::int64_t offset =
        firstOffset + (info.kind == Mp3LengthSource::XingHeader ? firstFrame.length : 0);
    std::int64_t frames = 0;
    const std::uint32_t stream = firstFrame.header & kSameStreamMask;
    while (offset + 4 <= scanner.audioEnd) {
        std::int64_t available = 0;
        const std::uint8_t* bytes = source.at(offset, 10, available);
        if (!bytes || available < 4) break;
        const std::uint32_t header = bigEndian32(bytes);
        if ((header & kSameStreamMask) == stream) {
            const std::optional<Frame> frame = parseHeader(header);
            if (frame && frame->length > 0) {
                // A frame cut short by the end of the file is not played; one
                // cut short by the tag after it is, with the tag's bytes as its
                // end, and is the last.
                if (offset + frame->length > source.size()) break;
                ++frames;
                offset += frame->length;
                if (offset > scanner.audioEnd) break;
                continue;
            }
        }
        // Tags in the middle of the audio (files joined together) are
        // skipped whole; other junk by finding the frames again after it.
        if (available >= 10 && std::memcmp(bytes, "ID3", 3) == 0) {
            if (const std::int64_t length = id3v2Length(bytes, source, offset)) {
                offset += length;
                continue;
            }
        }
        if (tag::startsWithTagMarker(bytes) && offset + 128 <= scanner.audioEnd) {
            offset += 128;
            continue;
        }
        std::uint8_t ape[32];
        if (std::memcmp(bytes, "APET", 4) == 0 && source.copy(offset, ape, 32)) {
            if (const std::int64_t length = apeLength(ape); length >= 32) {
                offset += length;
                continue;
            }
        }
        const auto next = scanner.findFrame(offset + 1, offset + 1 + kResyncSearch, &firstFrame);
        if (!next) break;
        offset = next->first;
    }
    if (source.failed()) {
        result.error = Mp3LengthError::Unreadable;
        return result;
    }
    result.frames = frames;
    if (frames == 0) {
        result.error = Mp3LengthError::Damaged;
        return result;
    }
    result.error = Mp3LengthError::None;
    result.source = Mp3LengthSource::FrameCount;
    result.samples = gaplessSamples(frames * firstFrame.samples, info, firstFrame.samples);
    return result;
}

} // namespace playback
