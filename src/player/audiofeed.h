#pragma once

#include <cstdint>

typedef struct _GstElement GstElement;

namespace player {

// Makes playbin read the open file fd from byte start on, size bytes, through
// an appsrc of its own: GStreamer finds the first frame only near the start,
// and takes a chain of tags apart one tag at a time (half a minute for
// 2,000). Random access, so a seek in time still lands in the audio. False
// when the file cannot be handed over.
bool feedFromFirstFrame(GstElement* playbin, int fd, std::int64_t start, std::int64_t size);

} // namespace player
