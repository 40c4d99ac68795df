#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QObject>

#include <functional>
#include <utility>

namespace controls {

// Runs `action` when Enter or Return is pressed in a list.
class EnterKeyFilter final : public QObject {
public:
    EnterKeyFilter(QObject* parent, std::function<void()> action)
        : QObject(parent), action_(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                action_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> action_;
};

} // namespace controls
