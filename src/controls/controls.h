#pragma once

#include "controls/eventrule.h"
#include "controls/twips.h"

#include <QObject>
#include <QString>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace controls {

// The controls of the window. Each wraps one Qt widget, which is the single
// home of its value: every read asks the widget afresh. Writes follow the
// event rule of event.h, and the user's own actions raise the same events,
// once each.
class Control : public QObject, public TwipsGeometry {
public:
    // The accessible name lets screen readers tell the controls apart.
    virtual void setAccessibleName(const QString& name);
    void setTabIndex(int index) { tabIndex_ = index; }
    int TabIndex() const { return tabIndex_; }
    virtual QWidget* widget() const = 0;
    void move(int left, int top, int width, int height) { place(widget(), left, top, width, height); }

private:
    int tabIndex_ = 0;
};

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

class Timer final : public QObject {
public:
    Timer();

    int Interval() const;
    void setInterval(int milliseconds);
    bool Enabled() const;
    void setEnabled(bool enabled);

    Event<> Tick;

private:
    QTimer* timer_;
};

} // namespace controls
