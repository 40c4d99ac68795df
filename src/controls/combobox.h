#pragma once

#include "controls/control.h"

#include <QString>

class QComboBox;
class QWidget;

namespace controls {

// A drop-down list with an editable text portion. Entries stay in the order
// they were added.
class ComboBox final : public Control {
public:
    explicit ComboBox(QWidget* parent);

    void AddItem(const QString& entry); // selects nothing, raises nothing
    int ListCount() const;
    QString List(int index) const;
    int ListIndex() const; // -1: nothing selected
    // Refused (and nothing changes) outside -1 .. ListCount() - 1. A new
    // position raises Click, as choosing it would.
    void setListIndex(int index);
    QString Text() const;
    QWidget* widget() const override;
    QComboBox* comboBox() const { return combo_; }

    Event<> Change; // the text portion was edited
    Event<> Click;  // an entry was chosen
    Event<> Scroll; // the drop-down part was scrolled

private:
    void watchPopupScrolling();
    QComboBox* combo_;
};

} // namespace controls
