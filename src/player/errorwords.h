#pragma once

#include <QString>

typedef struct _GError GError;

namespace player {

// A system error number in a few words a listener can act on.
QString errnoWords(int error);

// GStreamer's messages are written for developers; these are the ones a
// listener can act on, and plain words for the rest.
QString gstreamerWords(const GError* error);

} // namespace player
