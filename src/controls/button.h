#pragma once

#include "controls/control.h"

#include <QString>
#include <vector>

class QPushButton;
class QWidget;

namespace controls {

class Button final : public Control {
public:
    explicit Button(QWidget* parent);

    QString Caption() const; // with its "&" access-key marker
    void setCaption(const QString& caption);
    void setLeft(int twips) { setLeftTwips(widget(), twips); }
    void setWidth(int twips) { setWidthTwips(widget(), twips); }
    bool Visible() const;
    void setVisible(bool visible);
    void setToolTip(const QString& tip);
    // What a screen reader says for a caption that is a symbol, such as an
    // arrow that tells a mode: a name and a description for each caption,
    // taken up whenever the caption changes.
    struct SpokenCaption {
        QString caption, name, description;
    };
    void setSpokenCaptions(std::vector<SpokenCaption> spoken);
    QWidget* widget() const override;
    QPushButton* button() const { return button_; }

    Event<> Click;

private:
    QPushButton* button_;
    std::vector<SpokenCaption> spoken_;
};

} // namespace controls
