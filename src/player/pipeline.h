#pragma once

#include "player/playerreport.h"

#include <QString>

#include <cstdint>

typedef struct _GstElement GstElement;

// Building the player's pipeline. Everything here runs on the player's
// thread.
namespace player {

// Starts GStreamer once; false, with the reason, when it cannot start.
bool startGstreamer(QString* reason);

// The system's sound output, named after the file for the sound server and
// with a buffer sized for music. Not yet connected: see connectSink.
GstElement* makeSystemSink(const QString& mediaName);
// Connects the system sink to the sound server. This is where a server
// that hangs holds the thread. False, with the silence that follows, when
// there is no sound output; the sink is released then.
bool connectSink(GstElement* sink, const QString& mediaName, Silence* silence);
// A sink that discards the sound but keeps real time.
GstElement* makeSilentSink();

// A playbin that reads the open file fd, from feedFrom on when that is not
// negative, and plays into sink. It takes the sink, not the file.
GstElement* makePipeline(int fd, std::int64_t feedFrom, std::int64_t fileSize, GstElement* sink,
                         double volume);

// Stops an element and lets it go.
void releaseElement(GstElement* element);

} // namespace player
