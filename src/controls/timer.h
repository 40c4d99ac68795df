#pragma once

#include "controls/eventrule.h"

#include <QObject>
#include <QString>

class QTimer;

namespace controls {

class Timer final : public QObject {
public:
    Timer();

    int Interval() const;
    void setInterval(int milliseconds);
    bool Enabled() const;
    void setEnabled(bool enabled);

    Event<> Tick;

private:
    QTimer* timer_;
};

} // namespace controls
