#include "controls/folderlist.h"

#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/paths.h"
#include "controls/cutoffnametips.h"
#include "controls/enterkeyfilter.h"
#include "controls/listicons.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace controls {
namespace {

constexpr int kPathRole = Qt::UserRole;

} // namespace


FolderList::FolderList(QWidget* parent) : tree_(new QTreeWidget(parent)) {
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);
    tree_->setItemsExpandable(false);
    tree_->setIndentation(10);
    tree_->setUniformRowHeights(true);
    tree_->setExpandsOnDoubleClick(false);
    QObject::connect(tree_, &QTreeWidget::itemDoubleClicked, this,
                     [this](QTreeWidgetItem* item) { openEntry(item); });
    tree_->installEventFilter(
        new EnterKeyFilter(tree_, [this] { openEntry(tree_->currentItem()); }));
    new CutOffNameTips(tree_);
}

QString FolderList::Path() const { return path_; }

void FolderList::setPath(const QString& path) {
    const QString wanted = files::normalFolderPath(path);
    if (wanted.isEmpty())
        throw Refused("Path not found");
    if (wanted == path_)
        return;
    const std::optional<QStringList> subfolders = files::listSubfolders(wanted);
    if (!subfolders) throw Refused("Path not found: " + path.toStdString());
    show(wanted, *subfolders);
    Change.raise();
}

void FolderList::openEntry(QTreeWidgetItem* item) {
    if (!item)
        return;
    const QString target = item->data(0, kPathRole).toString();
    if (target == path_)
        return;
    const HandlerScope opening;
    try {
        setPath(target);
    } catch (const Refused&) {
        // A folder that vanished or cannot be read: show what is there now,
        // so an entry that is gone does not stay on offer.
        QApplication::beep();
        if (const std::optional<QStringList> subfolders = files::listSubfolders(path_))
            show(path_, *subfolders);
    } catch (const std::exception& e) {
        reportFailure(&e);
    }
}

void FolderList::show(const QString& path, const QStringList& subfolders) {
    const QSignalBlocker quiet(tree_);
    tree_->clear();
    const QIcon open = placeIcon(PlaceGlyph::FolderOpen);
    const QIcon closed = placeIcon(PlaceGlyph::FolderClosed);

    // The chain of ancestors, each nested in the one before, then the
    // folder's own subfolders below it.
    QTreeWidgetItem* const top = new QTreeWidgetItem(tree_, QStringList{QString(files::kPathSeparator)});
    top->setData(0, kPathRole, QString(files::kPathSeparator));
    top->setIcon(0, open);
    QTreeWidgetItem* item = top;
    QString walked;
    for (const QString& part : path.split(files::kPathSeparator, Qt::SkipEmptyParts)) {
        walked += files::kPathSeparator + part;
        item = new QTreeWidgetItem(item, QStringList{files::displayFileName(part)});
        item->setData(0, kPathRole, walked);
        item->setIcon(0, open);
    }
    QTreeWidgetItem* current = item;
    for (const QString& name : subfolders) {
        auto* sub = new QTreeWidgetItem(current, QStringList{files::displayFileName(name)});
        sub->setData(0, kPathRole, files::joinPath(path, name));
        sub->setIcon(0, closed);
    }
    tree_->expandAll();
    tree_->setCurrentItem(current);
    path_ = path;

    // The current folder stays in view with as many of its ancestors above
    // it as fit, so the user sees where they are: from the top when the
    // chain and the first subfolder fit, else with that subfolder (or the
    // current folder) on the bottom row.
    tree_->scrollToItem(top, QAbstractItemView::PositionAtTop);
    QTreeWidgetItem* last = current->childCount() > 0 ? current->child(0) : current;
    if (tree_->visualItemRect(last).bottom() >= tree_->viewport()->height())
        tree_->scrollToItem(last, QAbstractItemView::PositionAtBottom);
}

QWidget* FolderList::widget() const { return tree_; }

} // namespace controls
