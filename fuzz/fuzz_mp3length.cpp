// Fuzz target: the MP3 length reader on whatever bytes a file may hold.
#include "core/mp3length.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Serves the input as a file, `most` bytes a read at most, and checks that
// the reader never asks for bytes outside it.
playback::ReadAt memoryFile(const std::uint8_t* data, std::int64_t size, std::int64_t most) {
    return [=](std::int64_t offset, void* buffer, std::int64_t length) -> std::int64_t {
        check(offset >= 0 && offset < size && length > 0);
        const std::int64_t n = std::min({length, size - offset, most});
        std::memcpy(buffer, data + offset, static_cast<std::size_t>(n));
        return n;
    };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto length = static_cast<std::int64_t>(size);
    const playback::Mp3Length whole =
        playback::measureMp3Length(memoryFile(data, length, length), length);
    check((whole.error == playback::Mp3LengthError::Empty) == (size == 0));
    if (whole.ok()) {
        check(whole.frames > 0 && whole.samples >= 0 && whole.samples <= whole.frames * 1152);
        check(whole.audioStart >= 0 && whole.audioStart < length);
        check(whole.sampleRate >= 8000 && whole.sampleRate <= 48000);
        check(std::isfinite(whole.seconds()) && whole.seconds() >= 0);
    } else {
        check(whole.samples == 0 && whole.seconds() == 0.0);
    }

    // Short reads (a pipe-like file, a signal) change nothing.
    const playback::Mp3Length pieces =
        playback::measureMp3Length(memoryFile(data, length, 1 + size % 997), length);
    check(pieces.error == whole.error && pieces.samples == whole.samples &&
          pieces.frames == whole.frames && pieces.source == whole.source);
    return 0;
}
