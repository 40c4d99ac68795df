#include "controls/messagebox.h"

#include <QMessageBox>

namespace controls {
namespace {
MessageBoxHook& hook() {
    static MessageBoxHook instance;
    return instance;
}
} // namespace

void setMessageBoxHook(MessageBoxHook h) { hook() = std::move(h); }

void MsgBox(QWidget* parent, const QString& text, const QString& title, MessageIcon icon) {
    if (hook()) {
        hook()(text, title, icon);
        return;
    }
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical
                                                  : QMessageBox::Information,
                    title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace controls
