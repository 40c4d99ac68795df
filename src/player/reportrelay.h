#pragma once

#include "player/playerreport.h"

#include <QObject>

namespace player {

// Carries a worker's reports to the window's thread as a queued signal. It
// belongs to the worker, on the worker's thread, and goes with it; the
// engine's connection to it ends when the engine does.
class ReportRelay final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void reported(const player::Report& report);
};

} // namespace player
