#include "controls/timer.h"

#include <QTimer>

namespace controls {

Timer::Timer() : timer_(new QTimer(this)) {
    // Ticks missed during a handler come as one, late, not as a burst.
    Tick.keepOnlyLatestWhenHeld();
    QObject::connect(timer_, &QTimer::timeout, this, [this] { Tick.raiseFromUser(); });
}

int Timer::Interval() const { return timer_->interval(); }
void Timer::setInterval(int milliseconds) { timer_->setInterval(milliseconds); }
bool Timer::Enabled() const { return timer_->isActive(); }

void Timer::setEnabled(bool enabled) {
    if (enabled == timer_->isActive())
        return;
    if (enabled)
        timer_->start();
    else
        timer_->stop();
}

} // namespace controls
