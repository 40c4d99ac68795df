#pragma once

#include "player/workerface.h"

#include <QString>

namespace player {

// The player's GStreamer half, loaded once, at the first open: the window
// starts and shows itself without GStreamer, GLib's object system and
// libmpg123. Returns null with the reason in *why when it cannot be loaded.
MakeWorker workerMaker(QString* why);

} // namespace player
