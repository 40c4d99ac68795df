#pragma once

class frmBrindlo;

namespace window {

// A file or folder dropped anywhere on the window opens as it does from the
// command line. Text dropped on a text box still goes into the box.
void acceptPathDrops(frmBrindlo& window);

} // namespace window
