#pragma once

#include "controls/control.h"

#include <QString>

class QLabel;
class QWidget;

namespace controls {

class Label final : public Control {
public:
    enum class Alignment { Left, Right };
    explicit Label(QWidget* parent);

    QString Caption() const;
    void setCaption(const QString& caption);
    void setAlignment(Alignment alignment);
    void setBuddy(QWidget* buddy); // the control this label names
    QWidget* widget() const override;

private:
    QLabel* label_;
};

} // namespace controls
