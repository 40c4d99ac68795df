#pragma once

#include "controls/messagebox.h"
#include "window/frmbrindlo.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

// Readable QString values in test failure output.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

class QListWidgetItem;

namespace testing_support {

// The one QApplication of a test program, made on first use.
void ensureApplication();

// A temporary folder tree that the test fills and that vanishes afterwards.
class TempTree {
public:
    TempTree();
    QString root() const;
    QString path(const QString& relative) const;
    QString file(const QString& relative, const QByteArray& bytes = {}) const;
    QString folder(const QString& relative) const;
    QByteArray read(const QString& relative) const;

private:
    QTemporaryDir dir_;
};

struct ShownMessage {
    QString text;
    QString title;
    controls::MessageIcon icon;
};

// A window as the program creates it, on the silent audio output, with
// message boxes taken instead of shown.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The file list's entries, in order.
    QStringList listedFiles() const;
    // The folder list's subfolders of the current folder, in order.
    QStringList listedFolders() const;
    // The file list's entry of that name (as the disk has it), scrolled into
    // view, and the centre of it in the list's viewport.
    QListWidgetItem* fileItem(const QString& name) const;
    QPoint centreOfFile(const QString& name) const;
    // Clicks the named entry of the file list with the mouse.
    void clickFile(const QString& name, Qt::KeyboardModifiers modifiers = {});
    void doubleClickFile(const QString& name);

    std::unique_ptr<frmBrindlo> w;
    std::vector<ShownMessage> messages;
};

} // namespace testing_support
