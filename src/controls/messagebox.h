#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace controls {

enum class MessageIcon { Critical, Information };

// A modal message box with one OK button; returns once it is dismissed.
void MsgBox(QWidget* parent, const QString& text, const QString& title,
            MessageIcon icon = MessageIcon::Critical);

// Tests take the message instead of a modal box that would wait for a user.
using MessageBoxHook =
    std::function<void(const QString& text, const QString& title, MessageIcon icon)>;
void setMessageBoxHook(MessageBoxHook hook);

} // namespace controls
