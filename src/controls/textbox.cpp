#include "controls/textbox.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include <limits>

namespace controls {

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

} // namespace controls
