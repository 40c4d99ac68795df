#include "controls/textbox.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QValidator>

#include <limits>

namespace controls {
namespace {

qsizetype composedLength(const QString& text) {
    return text.normalized(QString::NormalizationForm_C).size();
}

// The box's length limit, counted after composition as the tag's fields are:
// "e" + U+0301 is one "é" and takes one place, whereas QLineEdit's own limit
// counts it as two. Of text typed or pasted past the limit, the part that
// does not fit is dropped, as QLineEdit's limit does; an edit of which
// nothing fits is refused whole, so it changes nothing and raises nothing.
class ComposedLengthLimit final : public QValidator {
public:
    ComposedLengthLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}

    int limit() const { return limit_; }

    State validate(QString& input, int& pos) const override {
        if (composedLength(input) <= limit_) {
            accepted_ = input;
            return Acceptable;
        }
        // What was just typed or pasted ends at the cursor: it gives way
        // from its end, whole characters at a time.
        QString head = input.left(pos);
        const QString tail = input.mid(pos);
        while (!head.isEmpty() && composedLength(head + tail) > limit_) {
            head.chop(head.size() > 1 && head.back().isLowSurrogate() ? 2 : 1);
        }
        if (composedLength(head + tail) > limit_ || head + tail == accepted_) return Invalid;
        input = head + tail;
        pos = static_cast<int>(head.size());
        accepted_ = input;
        return Acceptable;
    }

private:
    int limit_;
    // The text the box last took, to tell an edit that nothing of is left.
    mutable QString accepted_;
};

} // namespace

TextBox::TextBox(QWidget* parent) : edit_(new QLineEdit(parent)) {
    // QLineEdit's own default stops at 32767 characters; a box without a
    // limit takes whatever is pasted, up to the largest length it can hold.
    edit_->setMaxLength(std::numeric_limits<int>::max());
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
    const auto* limit = dynamic_cast<const ComposedLengthLimit*>(edit_->validator());
    return limit ? limit->limit() : 0;
}

void TextBox::setMaxLength(int length) {
    delete edit_->validator();
    edit_->setValidator(length > 0 ? new ComposedLengthLimit(length, edit_) : nullptr);
}

QWidget* TextBox::widget() const { return edit_; }

} // namespace controls
