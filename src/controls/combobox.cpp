#include "controls/combobox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

namespace controls {

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
    if (combo_->count() > 0) {
        combo_->addItem(entry);
        return;
    }
    // QComboBox selects the first entry added to an empty list; ours doesn't.
    const int keep = combo_->currentIndex();
    const QString text = combo_->currentText();
    combo_->addItem(entry);
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

} // namespace controls
