#pragma once

#include <QString>
#include <functional>

namespace controls {

// Makes the window's thread wait for the file system's worker calls while
// the window stays alive: it repaints and answers the screen reader and the
// window manager, but runs no handler and takes no input until the call is
// done. Input made meanwhile is held and handed on afterwards, in order.
// After a moment the cursor turns busy and a notice says what is waited
// for; Escape, or closing the window, gives up a wait that may be given up.
// Installed by the first control made; calling it again does nothing.
void installDiskWait();

// Where the notice goes; by default a line along the bottom of the active
// window. An empty text takes it away; no notice at all restores the line.
using WaitNotice = std::function<void(const QString& text)>;
void setWaitNotice(WaitNotice notice);

// The notice's words for a wait on `place`.
QString waitingText(const QString& place);

} // namespace controls
