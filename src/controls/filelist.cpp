#include "controls/filelist.h"

#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/folderwatch.h"
#include "files/paths.h"
#include "controls/cutoffnametips.h"
#include "controls/enterkeyfilter.h"
#include "controls/filelistwidget.h"

#include <QFile>
#include <QListWidget>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <utility>

namespace controls {
namespace {

constexpr int kNameRole = Qt::UserRole + 1; // a file's name as the disk has it

// Files arriving one by one (a copy of an album) are listed once they stop.
constexpr int kSettleMs = 150;

} // namespace


FileList::FileList(QWidget* parent)
    : list_(new FileListWidget(parent, [this] { Click.raiseFromUser(); })),
      watcher_(new files::FolderWatch([this] { settle_->start(); }, this)),
      settle_(new QTimer(this)) {
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    new CutOffNameTips(list_);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    QObject::connect(settle_, &QTimer::timeout, this, [this] {
        if (path_.isEmpty()) return;
        // Never in the middle of a handler, whose steps must find the list
        // as they left it: the re-read may wait for the disk.
        if (gateShut()) {
            deferUntilOpen([settle = QPointer<QTimer>(settle_)] { if (settle) settle->start(); },
                           settle_);
            return;
        }
        const HandlerScope reading;
        // A folder that went or cannot be read any more offers no files.
        const std::optional<QStringList> files = files::listFiles(path_, files::NamePattern(pattern_));
        update(files ? *files : QStringList());
        watch(path_); // a folder made again under the same name is watched anew
    });
    // A selection made by the user, with the mouse or the arrow keys, is a
    // click; our own writes block these signals.
    QObject::connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!list_->selectedItems().isEmpty())
            Click.raiseFromUser();
    });
    QObject::connect(list_, &QListWidget::itemDoubleClicked, this,
                     [this] { DblClick.raiseFromUser(); });
    list_->installEventFilter(new EnterKeyFilter(list_, [this] {
        if (!list_->selectedItems().isEmpty())
            DblClick.raiseFromUser();
    }));
}

QString FileList::Path() const { return path_; }

void FileList::setPath(const QString& path) {
    const QString wanted = files::normalFolderPath(path);
    const std::optional<QStringList> files =
        wanted.isEmpty() ? std::nullopt : files::listFiles(wanted, files::NamePattern(pattern_));
    if (!files) throw Refused("Path not found: " + path.toStdString());
    fill(wanted, *files);
}

QString FileList::Pattern() const { return pattern_; }

void FileList::setPattern(const QString& pattern) {
    if (pattern == pattern_)
        return;
    pattern_ = pattern;
    if (!path_.isEmpty())
        Refresh();
}

QString FileList::FileName() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(kNameRole).toString();
}

void FileList::setFileName(const QString& value) {
    // A folder whose name holds "*" and that went away meanwhile must not
    // become the pattern, so the disk is not asked what the value is.
    if (value.contains(files::kPathSeparator)) {
        setPath(value);
        return;
    }
    if (value.contains(u'*') || value.contains(u'?')) {
        setPattern(value);
        return;
    }
    QListWidgetItem* found = find(value);
    if (!found) throw Refused("File not found: " + value.toStdString());
    const QSignalBlocker quiet(list_);
    list_->setCurrentItem(found);
}

QListWidgetItem* FileList::find(const QString& name) const {
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->data(kNameRole).toString() == name) return list_->item(row);
    }
    return nullptr;
}

int FileList::ListCount() const { return list_->count(); }
QString FileList::List(int index) const {
    const QListWidgetItem* item = list_->item(index);
    return item ? item->data(kNameRole).toString() : QString();
}
int FileList::ListIndex() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.first());
}

void FileList::Refresh() {
    const std::optional<QStringList> files = files::listFiles(path_, files::NamePattern(pattern_));
    update(files ? *files : QStringList());
}

void FileList::Clear() {
    fill(QString(), QStringList());
}

void FileList::SetFocus() { list_->setFocus(Qt::OtherFocusReason); }

namespace {

QListWidgetItem* makeFileItem(const QString& name) {
    auto* item = new QListWidgetItem(files::displayFileName(name));
    item->setData(kNameRole, name);
    return item;
}
} // namespace

void FileList::fill(const QString& path, const QStringList& names) {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const QString& name : names) // already matched against the pattern
        list_->addItem(makeFileItem(name));
    path_ = path;
    watch(path);
}

void FileList::update(const QStringList& names) {
    const QSignalBlocker quiet(list_);
    const QSet<QString> wanted(names.cbegin(), names.cend());
    // A list of single selection hands the selection on to a neighbour when
    // the current entry is taken away. That would quietly point the path
    // the tag writer builds at another file than the one in the boxes, so
    // the selection goes with its file, and the current entry does not move.
    const QString selected = FileName();
    const QListWidgetItem* current = list_->currentItem();
    QItemSelectionModel* selection = list_->selectionModel();
    if (!selected.isEmpty() && !wanted.contains(selected))
        selection->clear();
    else if (current && !wanted.contains(current->data(kNameRole).toString()))
        selection->setCurrentIndex(selected.isEmpty() ? QModelIndex()
                                                      : list_->indexFromItem(find(selected)),
                                   QItemSelectionModel::NoUpdate);
    for (int row = list_->count() - 1; row >= 0; --row) {
        if (!wanted.contains(list_->item(row)->data(kNameRole).toString()))
            delete list_->takeItem(row);
    }
    // What is left is in the order of `names`, so each name missing at its
    // row is a new one.
    for (int row = 0; row < names.size(); ++row) {
        const QListWidgetItem* item = list_->item(row);
        if (!item || item->data(kNameRole).toString() != names[row])
            list_->insertItem(row, makeFileItem(names[row]));
    }
}

void FileList::watch(const QString& folder) { watcher_->watch(folder); }

QWidget* FileList::widget() const { return list_; }


} // namespace controls
