#pragma once

#include <QString>

#include <cstdint>

namespace player {

// The exact length of an MP3 stream read from an open file, or why there
// is none. Reads by offset; leaves the file's own position alone.
struct DurationResult {
    double seconds = 0.0;
    QString error; // empty when seconds is good
    // Where the player must start reading the file itself: the first MPEG
    // frame, where junk or more than one tag comes before it. -1 when
    // GStreamer reads the whole file by itself.
    std::int64_t feedFrom = -1;
};
DurationResult scanDuration(int fd);

} // namespace player
