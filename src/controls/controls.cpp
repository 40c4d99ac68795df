#include "controls/controls.h"

#include <QAbstractItemView>
#include <algorithm>
#include <cmath>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include <limits>

namespace controls {

void Control::setAccessibleName(const QString& name) { widget()->setAccessibleName(name); }

// --- Button ------------------------------------------------------------------

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

// --- Label -------------------------------------------------------------------

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

// --- TextBox -----------------------------------------------------------------

// QLineEdit's own default stops at 32767 characters; a box without a limit
// takes whatever is pasted, up to the largest length QLineEdit can hold.
constexpr int kNoLengthLimit = std::numeric_limits<int>::max();

TextBox::TextBox(QWidget* parent) : edit_(new QLineEdit(parent)) {
    edit_->setMaxLength(kNoLengthLimit);
    // textEdited fires for the user's edits only; our own writes raise the
    // event themselves, so it is never raised twice.
    QObject::connect(edit_, &QLineEdit::textEdited, this, [this] { Change.raiseFromUser(); });
}

QString TextBox::Text() const { return edit_->text(); }

void TextBox::setText(const QString& text) {
    assignRaising(
        text, [this] { return edit_->text(); },
        [this](const QString& t) {
            const QSignalBlocker quiet(edit_);
            edit_->setText(t);
        },
        Change);
}

int TextBox::MaxLength() const {
    return edit_->maxLength() == kNoLengthLimit ? 0 : edit_->maxLength();
}
void TextBox::setMaxLength(int length) {
    edit_->setMaxLength(length > 0 ? length : kNoLengthLimit);
}
QWidget* TextBox::widget() const { return edit_; }

// --- ComboBox ----------------------------------------------------------------

ComboBox::ComboBox(QWidget* parent) : combo_(new QComboBox(parent)) {
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setCurrentIndex(-1);
    combo_->setMaxVisibleItems(16);
    QObject::connect(combo_, &QComboBox::activated, this, [this] { Click.raiseFromUser(); });
    QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, this,
                     [this] { Change.raiseFromUser(); });
    watchPopupScrolling();
}

void ComboBox::watchPopupScrolling() {
    // actionTriggered comes from the user's wheel, drag and arrow clicks
    // only, not from the list scrolling itself to the current entry.
    QScrollBar* bar = combo_->view()->verticalScrollBar();
    QObject::connect(bar, &QScrollBar::actionTriggered, this, [this] { Scroll.raiseFromUser(); });
}

void ComboBox::AddItem(const QString& entry) {
    const QSignalBlocker quiet(combo_);
    const int keep = combo_->currentIndex();
    const QString text = combo_->currentText();
    combo_->addItem(entry);
    // QComboBox selects the first entry added to an empty list; ours doesn't.
    combo_->setCurrentIndex(keep);
    combo_->setEditText(text);
}

int ComboBox::ListCount() const { return combo_->count(); }
QString ComboBox::List(int index) const { return combo_->itemText(index); }
int ComboBox::ListIndex() const { return combo_->currentIndex(); }

void ComboBox::setListIndex(int index) {
    if (index < -1 || index >= combo_->count())
        throw Refused("Invalid list position " + std::to_string(index));
    assignRaising(
        index, [this] { return combo_->currentIndex(); },
        [this](int i) {
            const QSignalBlocker quiet(combo_);
            combo_->setCurrentIndex(i);
        },
        Click);
}

QString ComboBox::Text() const { return combo_->currentText(); }
QWidget* ComboBox::widget() const { return combo_; }

// --- Timer -------------------------------------------------------------------

Timer::Timer() : timer_(new QTimer(this)) {
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
