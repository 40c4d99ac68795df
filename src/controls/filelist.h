#pragma once

#include "controls/control.h"

#include <QStringList>

class QListWidget;
class QListWidgetItem;
class QTimer;

namespace files {
class FolderWatch;
}

namespace controls {

// The file list: the regular files of one folder whose names match the
// pattern (letter case ignored), dot files hidden, sorted. It is a single
// selection list: once a file is selected, clicks only ever select another
// one, and a click on the selected file raises Click again. While it shows
// a folder it follows files added to or taken from it, keeping the selection
// and raising nothing; a selected file that goes is simply unselected.
class FileList final : public Control {
public:
    explicit FileList(QWidget* parent);

    QString Path() const;
    void setPath(const QString& path); // refused when the folder cannot be read
    QString Pattern() const;
    void setPattern(const QString& pattern);
    // Read: the selected file's name, "" when none. Write: a path (anything
    // holding a separator, which no file name does) moves the list to that
    // folder, or is refused; else a value with "*" or "?" replaces the
    // pattern; else a listed name selects that file. What the value is is
    // told from its form alone, never from what the disk holds at the time.
    QString FileName() const;
    void setFileName(const QString& value);
    int ListCount() const;
    QString List(int index) const;
    int ListIndex() const;
    // Lists the folder again; the selection and the scroll position are kept
    // when the selected file is still there.
    void Refresh();
    void SetFocus();
    void Clear(); // lists nothing, in no folder
    QListWidget* listWidget() const { return list_; }
    QWidget* widget() const override;

    Event<> Click;    // a file was selected, by mouse or keyboard
    Event<> DblClick; // a file was double-clicked

private:
    // Shows names already matched against the pattern and sorted.
    void fill(const QString& path, const QStringList& names);
    // Brings the shown names in line with `names` entry by entry, so that
    // the selection, the current entry and the scroll position stay.
    void update(const QStringList& names);
    QListWidgetItem* find(const QString& name) const;
    void watch(const QString& folder);

    QListWidget* list_;
    files::FolderWatch* watcher_;
    QTimer* settle_;
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
};

} // namespace controls
