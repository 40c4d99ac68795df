#pragma once

#include "window/commandline.h"

class frmBrindlo;

namespace player {
class MprisService;
}

namespace window {

// Connects to the session bus on a thread of its own, from before the
// application exists. The toolkit's screen-reader bridge asks the bus while
// the first list is being made, and would otherwise wait there for the
// connection (or for a failed search for a bus) on the window's thread.
void startConnectingToSessionBus();

// The window's start-up on the desktop, after Form_Load: drops are taken,
// the path of the command line is opened (why it cannot be goes to standard
// error), and after the first paint the player joins the session bus.
void startOnDesktop(frmBrindlo& window, const StartRequest& request);

// The media keys' and sound menu's way in: MPRIS 2 on the session bus, or
// nothing, silently, when there is no bus. The service goes with the player.
player::MprisService* joinSessionBus(frmBrindlo& window);

} // namespace window
