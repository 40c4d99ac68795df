#include "controls/label.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace controls {

namespace {

// The design's label rectangles were drawn for a narrower system font. A
// caption that would not fit is drawn condensed rather than clipped. A label
// that a side of the window cuts through (the tag labels in compact mode,
// which show a strip beside the narrow toggle button) draws nothing: a
// cut-off sliver of a word is no use to anyone. The time labels, which the
// design lets run a little past the bottom edge, are not cut that way.
class FittingLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        const QWidget* window = parentWidget();
        if (window && (x() < 0 || x() + width() > window->width())) return;
        const int room = width();
        const int needed = fontMetrics().horizontalAdvance(text());
        if (needed <= room || room <= 0) {
            QLabel::paintEvent(event);
            return;
        }
        QFont condensed = font();
        condensed.setStretch(std::max(60, 100 * room / needed));
        QPainter painter(this);
        painter.setFont(condensed);
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(rect(), static_cast<int>(alignment()), text());
    }
};

} // namespace

Label::Label(QWidget* parent) : label_(new FittingLabel(parent)) {
    // Labels never take the mouse, so a control standing over one stays
    // clickable over its whole area.
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    label_->setTextFormat(Qt::PlainText);
    setAlignment(Alignment::Left);
}

QString Label::Caption() const { return label_->text(); }
void Label::setCaption(const QString& caption) { label_->setText(caption); }
void Label::setAlignment(Alignment alignment) {
    label_->setAlignment((alignment == Alignment::Right ? Qt::AlignRight : Qt::AlignLeft) |
                         Qt::AlignTop);
}
void Label::setBuddy(QWidget* buddy) { label_->setBuddy(buddy); }
QWidget* Label::widget() const { return label_; }

} // namespace controls
