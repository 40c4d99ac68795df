#include "window/frmbrindlo.h"

#include "core/timetext.h"

#include <cmath>

namespace {
const QString kZeroTime = QStringLiteral("0:00");
}

void frmBrindlo::media_OpenStateNotify(std::int32_t /*firstValue*/, std::int32_t openState) {
    const double x = media.Duration();
    if (std::isfinite(x)) {
        const playback::TimeParts parts = playback::splitTime(x);
        varMinutes = parts.minutes;
        intSeconds = parts.seconds;
        lblTotalTime.setCaption(QString::fromStdString(playback::timeText(parts)));
    } else {
        lblTotalTime.setCaption(kZeroTime);
    }
    // The flag decides whether saving is refused, so it follows the player
    // even when the duration cannot be shown.
    blnFileOpen = openState != 0;
}

void frmBrindlo::Timer1_Timer() {
    if (!blnFileOpen) {
        lblElapsedTime.setCaption(kZeroTime);
        return;
    }
    const double x = media.CurrentPosition();
    if (!std::isfinite(x)) {
        lblElapsedTime.setCaption(kZeroTime); // no position to show this second
        return;
    }
    const playback::TimeParts parts = playback::splitTime(x);
    varMinutes = parts.minutes;
    intSeconds = parts.seconds;
    if (parts.minutes > 0 || parts.seconds > 0)
        lblElapsedTime.setCaption(QString::fromStdString(playback::timeText(parts)));
    else
        lblElapsedTime.setCaption(kZeroTime);
}
