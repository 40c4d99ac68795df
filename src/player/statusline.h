#pragma once

#include "player/playerengine.h"

#include <QString>

namespace player {

// The strip's status line in three parts, so that a long file name can be
// shortened without cutting off the words around it.
struct StatusLine {
    QString before; // "Cannot play "
    QString name;   // "song.mp3"
    QString after;  // ": not an MP3 file"
    QString text() const { return before + name + after; }
};

// What the strip knows when it words its status line.
struct StatusFacts {
    PlayerEngine::State state = PlayerEngine::State::Closed;
    QString name;            // the loaded file's name as shown
    bool opening = false;    // an open is still pending
    bool noDevice = false;   // the system output had no sound device
    bool notAnswering = false; // the sound server did not answer in time
    bool serverStopped = false; // the sound server ended the playing
    bool serverHung = false;    // the sound server stopped answering a command
    bool stalled = false;       // it plays, but the sound server takes nothing
    QString failure;         // why the last open failed; "" when it did not
};

// Every status line the strip shows is worded here. Nothing loaded and no
// failure: empty.
StatusLine composeStatus(const StatusFacts& facts);

} // namespace player
