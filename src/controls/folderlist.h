#pragma once

#include "controls/control.h"

#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;

namespace controls {

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

} // namespace controls
