#include "controls/button.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <cmath>
#include <map>

namespace controls {

namespace {

// A push button whose caption may be wider than the style's content area
// (the tall, narrow toggle button, whose caption is the only sign of the
// mode): the caption is then drawn as the glyph's outline, scaled to fill
// the face inside the frame and centred on it. An outline scales smoothly
// at every screen scale, where a font shrunk to fit falls to sizes whose
// hinted glyphs are a grey smudge of three or four pixels.
class PushButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect content = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        const QString shown = QString(option.text).remove(u'&');
        if (shown.isEmpty() || fontMetrics().horizontalAdvance(shown) <= content.width()) {
            QPushButton::paintEvent(event);
            return;
        }
        QStylePainter painter(this);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        // The face is what the frame leaves, in whole device pixels, so that
        // no edge of the glyph blends into the frame at a fractional scale.
        const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
        const qreal ratio = painter.paintEngine()->paintDevice()->devicePixelRatioF();
        const qreal inset = std::ceil(frame * ratio);
        const QRectF face(QPointF(inset, inset) / ratio,
                          QPointF(std::floor(width() * ratio) - inset,
                                  std::floor(height() * ratio) - inset) /
                              ratio);
        const QPainterPath& glyph = outline(shown);
        const QRectF ink = glyph.boundingRect();
        if (ink.isEmpty() || face.isEmpty()) return;
        const qreal scale = std::min(face.width() / ink.width(), face.height() / ink.height());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(face.center());
        painter.scale(scale, scale);
        painter.translate(-ink.center());
        painter.fillPath(glyph, palette().color(isEnabled() ? QPalette::Active
                                                            : QPalette::Disabled,
                                                QPalette::ButtonText));
    }

    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange) outlines_.clear();
        QPushButton::changeEvent(event);
    }

private:
    // The caption's outline in the button's font at a large size, made once
    // per caption: the toggle only ever shows two.
    const QPainterPath& outline(const QString& caption) {
        auto found = outlines_.find(caption);
        if (found == outlines_.end()) {
            QFont large = font();
            large.setPixelSize(kOutlinePixels);
            QPainterPath path;
            path.addText(0, 0, large, caption);
            found = outlines_.emplace(caption, path).first;
        }
        return found->second;
    }

    static constexpr int kOutlinePixels = 100;
    std::map<QString, QPainterPath> outlines_;
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
