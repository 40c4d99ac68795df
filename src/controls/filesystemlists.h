#pragma once

#include "controls/controls.h"

#include <QStringList>

class QFileSystemWatcher;
class QListWidget;
class QListWidgetItem;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace controls {

// The drive list: the roots of the file system ("/" first, then the mount
// points of user volumes), each named by its path. The offer is read again
// each time the list drops down, so volumes mounted or taken away meanwhile
// show or go; the chosen drive stays on offer while it is chosen.
class DriveList final : public Control {
public:
    explicit DriveList(QWidget* parent);

    QString Drive() const;
    // Refused when no drive of that name is offered. Choosing a drive that
    // cannot be read is allowed: the lists that follow refuse it instead.
    void setDrive(const QString& drive);
    void setDrives(const QStringList& roots); // replaces the offer; raises nothing
    QStringList drives() const;
    void readDrivesAgain(); // the offer from the file system as it is now
    void setAccessibleName(const QString& name) override;
    QWidget* widget() const override;
    QComboBox* comboBox() const { return combo_; }

    Event<> Change;

private:
    void speakDrive();

    QComboBox* combo_;
    QLabel* nameLabel_ = nullptr;
};

// The folder list: the current folder's ancestors, then its subfolders.
// Double-click or Enter on an entry opens it. A name cut off by the list's
// edge shows whole as a tooltip.
class FolderList final : public Control {
public:
    explicit FolderList(QWidget* parent);

    QString Path() const;
    // Refused, with nothing changed, when the folder cannot be opened.
    void setPath(const QString& path);
    QTreeWidget* treeWidget() const { return tree_; }
    QWidget* widget() const override;

    Event<> Change;

private:
    void openEntry(QTreeWidgetItem* item);
    void show(const QString& path, const QStringList& subfolders);

    QTreeWidget* tree_;
    QString path_;
};

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
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
};

} // namespace controls
