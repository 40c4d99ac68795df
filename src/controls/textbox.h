#pragma once

#include "controls/control.h"

#include <QString>

class QLineEdit;
class QWidget;

namespace controls {

class TextBox final : public Control {
public:
    explicit TextBox(QWidget* parent);

    QString Text() const;
    void setText(const QString& text);
    int MaxLength() const; // 0: no limit
    void setMaxLength(int length);
    QWidget* widget() const override;
    QLineEdit* lineEdit() const { return edit_; }

    Event<> Change;

private:
    QLineEdit* edit_;
};

} // namespace controls
