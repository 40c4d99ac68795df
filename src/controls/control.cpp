#include "controls/control.h"

#include <QWidget>

namespace controls {

void Control::setAccessibleName(const QString& name) { widget()->setAccessibleName(name); }

} // namespace controls
