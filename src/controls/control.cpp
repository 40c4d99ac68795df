#include "controls/control.h"

#include "controls/diskwait.h"

#include <QWidget>

namespace controls {

// The first control of a window sets up how its thread waits for the disk.
Control::Control() { installDiskWait(); }

void Control::setAccessibleName(const QString& name) { widget()->setAccessibleName(name); }

} // namespace controls
