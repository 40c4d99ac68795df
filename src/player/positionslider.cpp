#include "player/positionslider.h"

#include "core/timetext.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>

namespace player {
namespace {

constexpr int kStepMs = 5000;
constexpr int kPageMs = 30000;
constexpr int kEndMarginMs = 3000;

class ClickJumpStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton | Qt::MiddleButton;
        if (hint == SH_Slider_PageSetButtons) return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString timeOf(double ms) {
    return QString::fromStdString(playback::timeText(ms / 1000.0));
}

// The position as a reader sees it: whole seconds for its value, minutes
// and seconds for its text.
class PositionAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit PositionAccessible(PositionSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider), slider_(slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return slider_->valueText();
        if (t == QAccessible::Description && slider_->isEnabled()) return slider_->valueText();
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return slider_->secondsAt(slider_->sliderPosition()); }
    void setCurrentValue(const QVariant& value) override {
        slider_->jumpTo(std::min(slider_->unitsAt(value.toDouble()), slider_->lastKeyPosition()));
    }
    QVariant maximumValue() const override { return slider_->secondsAt(slider_->maximum()); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return kStepMs / 1000; }

private:
    PositionSlider* slider_;
};

QAccessibleInterface* positionAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(PositionSlider::staticMetaObject.className()))
        if (auto* slider = qobject_cast<PositionSlider*>(object))
            return new PositionAccessible(slider);
    return nullptr;
}

} // namespace

QStyle* makeClickJumpStyle(QObject* owner) {
    auto* style = new ClickJumpStyle;
    style->setParent(owner);
    return style;
}

PositionSlider::PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(positionAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    // The handle follows the poll without the value changing; only the
    // user's moves set the value (and are announced).
    setTracking(false);
    setMsPerUnit(1);
}

void PositionSlider::setMsPerUnit(int ms) {
    msPerUnit_ = std::max(1, ms);
    setSingleStep(units(kStepMs));
    setPageStep(units(kPageMs));
}

void PositionSlider::setLength(double seconds) {
    const double ms = std::max(0.0, seconds * 1000.0);
    setMsPerUnit(static_cast<int>(std::max(1.0, std::ceil(ms / (INT_MAX / 2.0)))));
    setRange(0, static_cast<int>(std::clamp<double>(std::lround(ms / msPerUnit_), 0, INT_MAX)));
}

int PositionSlider::secondsAt(int units) const {
    return static_cast<int>(std::lround(msOf(units) / 1000.0));
}

int PositionSlider::unitsAt(double seconds) const {
    return static_cast<int>(
        std::clamp<double>(std::lround(seconds * 1000.0 / msPerUnit_), minimum(), maximum()));
}

void PositionSlider::showPosition(int units) {
    // A move of less than a pixel shows nothing but costs a repaint five
    // times a second while playing: wait until the handle really moves.
    const double unitsPerPixel = double(maximum() - minimum()) / std::max(1, width());
    if (std::abs(units - sliderPosition()) < unitsPerPixel && units != minimum() &&
        units != maximum())
        return;
    setSliderPosition(units);
}

void PositionSlider::jumpTo(int units) {
    units = std::clamp(units, minimum(), maximum());
    setSliderPosition(units);
    if (value() != units) {
        setValue(units); // tells the reader
    } else {
        // The value lags behind the handle while playing, so it may
        // already be the target; the reader still hears the move.
        QAccessibleValueChangeEvent event(this, secondsAt(units));
        QAccessible::updateAccessibility(&event);
    }
    emit seekRequested(units);
}

int PositionSlider::lastKeyPosition() const {
    // A short file keeps a tenth of its length back instead.
    return std::max(minimum(), maximum() - std::min(units(kEndMarginMs), maximum() / 10));
}

int PositionSlider::keyTarget(int key) const {
    const int here = sliderPosition();
    int step = 0;
    switch (key) {
    case Qt::Key_Home:
        return minimum();
    case Qt::Key_End:
        return lastKeyPosition();
    case Qt::Key_Left:
    case Qt::Key_Down:
        return std::max(minimum(), here - units(kStepMs));
    case Qt::Key_PageDown:
        return std::max(minimum(), here - units(kPageMs));
    case Qt::Key_Right:
    case Qt::Key_Up:
        step = units(kStepMs);
        break;
    case Qt::Key_PageUp:
        step = units(kPageMs);
        break;
    default:
        return -1;
    }
    // Forward keys never pass the last key position; already beyond it,
    // they leave the handle where it is rather than pull it back.
    return std::max(here, std::min(here + step, lastKeyPosition()));
}

QString PositionSlider::valueText() const {
    return timeOf(msOf(sliderPosition())) + QStringLiteral(" of ") + timeOf(msOf(maximum()));
}

void PositionSlider::keyPressEvent(QKeyEvent* event) {
    const int target = isEnabled() ? keyTarget(event->key()) : -1;
    if (target < 0) {
        QSlider::keyPressEvent(event);
        return;
    }
    event->accept();
    if (target != sliderPosition()) jumpTo(target);
}

void PositionSlider::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (!isEnabled() || (delta.x() == 0 && delta.y() == 0)) {
        event->ignore();
        return;
    }
    event->accept();
    // A touchpad sends many small turns; a step is a whole notch of 120.
    wheel_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheel_ / QWheelEvent::DefaultDeltasPerStep;
    if (notches == 0) return;
    wheel_ -= notches * QWheelEvent::DefaultDeltasPerStep;
    const int target = keyTarget(notches > 0 ? Qt::Key_Right : Qt::Key_Left);
    if (target != sliderPosition()) jumpTo(target);
}

} // namespace player
