#include "controls/button.h"

#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace controls {

namespace {

// A push button whose caption may be wider than the style's content area
// (the tall, narrow toggle button): it then draws the caption in a font
// small enough that the glyphs stay inside the face's frame, centred.
class PushButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect content = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        const QString shown = QString(option.text).remove(u'&');
        if (fontMetrics().horizontalAdvance(shown) <= content.width()) {
            QPushButton::paintEvent(event);
            return;
        }
        // Inside the frame with a device pixel to spare, measured by the ink
        // of the glyphs: an arrow's advance carries side bearings, and the
        // ink scales with the screen where whole logical pixels would not.
        const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
        const qreal spare = frame + 1.0 / devicePixelRatioF();
        const QRectF face = QRectF(rect()).adjusted(spare, spare, -spare, -spare);
        QFont small = font();
        // The ink grows about in step with the size: start from that guess
        // rather than at the full size, as every size tried loads a font.
        qreal size = QFontInfo(small).pointSizeF();
        const qreal fullInk = QFontMetricsF(small).tightBoundingRect(shown).width();
        if (fullInk > 0) size = std::floor(size * face.width() / fullInk * 4.0) / 4.0 + 0.25;
        for (; size > 3.0; size -= 0.25) {
            small.setPointSizeF(size);
            if (QFontMetricsF(small).tightBoundingRect(shown).width() <= face.width()) break;
        }
        QStylePainter painter(this);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        painter.setFont(small);
        // Centred by the ink too, so the glyph sits in the middle of the face.
        const QRectF ink = QFontMetricsF(small).tightBoundingRect(shown);
        const QPointF origin(face.center().x() - ink.left() - ink.width() / 2,
                             face.center().y() - ink.top() - ink.height() / 2);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(origin, shown);
    }
};

} // namespace

Button::Button(QWidget* parent) : button_(new PushButton(parent)) {
    button_->setAutoDefault(false);
    QObject::connect(button_, &QPushButton::clicked, this, [this] { Click.raiseFromUser(); });
}

QString Button::Caption() const { return button_->text(); }

void Button::setCaption(const QString& caption) {
    button_->setText(caption);
    for (const SpokenCaption& spoken : spoken_) {
        if (spoken.caption == caption) {
            button_->setAccessibleName(spoken.name);
            button_->setAccessibleDescription(spoken.description);
        }
    }
}

void Button::setSpokenCaptions(std::vector<SpokenCaption> spoken) {
    spoken_ = std::move(spoken);
    setCaption(Caption());
}

bool Button::Visible() const { return !button_->isHidden(); }
void Button::setVisible(bool visible) { button_->setVisible(visible); }
void Button::setToolTip(const QString& tip) { button_->setToolTip(tip); }
QWidget* Button::widget() const { return button_; }

} // namespace controls
