#pragma once

#include "platform/controls.h"

#include <QStringList>

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {

// The drive list: the roots of the file system ("/" first, then the mount
// points of user volumes), each named by its path.
class DriveList final : public Control {
public:
    explicit DriveList(QWidget* parent);

    QString Drive() const;
    // Refused when no drive of that name is offered. Choosing a drive that
    // cannot be read is allowed: the lists that follow refuse it instead.
    void setDrive(const QString& drive);
    void setDrives(const QStringList& roots); // replaces the offer; raises nothing
    QStringList drives() const;
    void setAccessibleName(const QString& name) override;
    QWidget* widget() const override;
    QComboBox* comboBox() const { return combo_; }

    Event<> Change;

private:
    QComboBox* combo_;
    QLabel* nameLabel_ = nullptr;
};

// The folder list: the current folder's ancestors, then its subfolders.
// Double-click or Enter on an entry opens it.
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
// pattern (letter case ignored), dot files hidden, sorted.
class FileList final : public Control {
public:
    explicit FileList(QWidget* parent);

    QString Path() const;
    void setPath(const QString& path); // refused when the folder cannot be read
    QString Pattern() const;
    void setPattern(const QString& pattern);
    // Read: the selected file's name, "" when none. Write: a folder's path
    // moves the list there; a pattern replaces the pattern; a listed name
    // selects that file.
    QString FileName() const;
    void setFileName(const QString& value);
    int ListCount() const;
    QString List(int index) const;
    int ListIndex() const;
    void Refresh(); // lists the folder again; the selection is kept if it is still there
    void SetFocus();
    void Clear(); // lists nothing, in no folder
    QListWidget* listWidget() const { return list_; }
    QWidget* widget() const override;

    Event<> Click;    // a file was selected, by mouse or keyboard
    Event<> DblClick; // a file was double-clicked

private:
    // Shows names already matched against the pattern and sorted.
    void fill(const QString& path, const QStringList& names, const QString& keep);

    QListWidget* list_;
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
};

} // namespace platform
