#pragma once

#include <cstdint>
#include <functional>

namespace playback {

// Reads up to `length` bytes at `offset` of an open file into `buffer` and
// returns how many it read: fewer (0 at the end) only at the end of the file,
// a negative number on a read error.
using ReadAt = std::function<std::int64_t(std::int64_t offset, void* buffer, std::int64_t length)>;

enum class Mp3LengthError {
    None,
    Empty,       // the file has no bytes at all
    NoFrames,    // no run of MPEG audio frames: not an MP3 file
    Damaged,     // frames were found, but none that can be counted whole
    Unsupported, // free-format frames: their length is not in their header
    Unreadable   // a read failed
};

// Where the length came from: the encoder's own header, trusted because its
// frame and byte counts agree with the file as it is, or a walk over every
// frame header.
enum class Mp3LengthSource { None, XingHeader, VbriHeader, FrameCount };

struct Mp3Length {
    Mp3LengthError error = Mp3LengthError::NoFrames;
    Mp3LengthSource source = Mp3LengthSource::None;
    std::int64_t samples = 0; // per channel, after the encoder's delay and padding
    int sampleRate = 0;
    std::int64_t frames = 0;     // audio frames, not counting an information frame
    std::int64_t audioStart = 0; // offset of the first frame
    int leadingTags = 0;         // ID3v2 tags chained at the start
    std::int64_t tagsEnd = 0;    // where those tags end
    double seconds() const {
        return sampleRate > 0 ? static_cast<double>(samples) / sampleRate : 0.0;
    }
    bool ok() const { return error == Mp3LengthError::None; }
};

// The exact length of the MPEG audio in a file of `size` bytes, read through
// `read`. Tags before the audio (any number of ID3v2 tags, junk, silence) are
// skipped; a Xing, Info or VBRI header gives the length at once when its
// counts agree with the file, otherwise every frame header is read in large
// chunks. The length is the one a gapless decoder plays, to the sample the
// same as libmpg123's full scan: where a Xing header counts the frames, the
// encoder's delay and padding from the LAME tag and the decoder's own delay
// are not part of it. A frame cut short by the end of the file does not
// count. May read the whole file: keep it off a thread that must answer
// quickly.
Mp3Length measureMp3Length(const ReadAt& read, std::int64_t size);

} // namespace playback
