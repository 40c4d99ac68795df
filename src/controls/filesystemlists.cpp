#include "controls/filesystemlists.h"

#include "files/filename.h"
#include "files/folderlisting.h"
#include "controls/listicons.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

namespace controls {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1; // a file's name as the disk has it

// Files arriving one by one (a copy of an album) are listed once they stop.
constexpr int kSettleMs = 150;


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

// Whether a view shows less than the whole of an entry's text.
bool isCutOff(const QAbstractItemView* view, const QModelIndex& index) {
    const QRect shown = view->visualRect(index);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.font = view->font();
    option.decorationSize = view->iconSize().isValid()
                                ? view->iconSize()
                                : QSize(view->style()->pixelMetric(QStyle::PM_SmallIconSize),
                                        view->style()->pixelMetric(QStyle::PM_SmallIconSize));
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    const int needed = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
    const int room = std::min(shown.right() + 1, view->viewport()->width()) - shown.left();
    return shown.left() < 0 || needed > room;
}

// Shows an entry's whole name as a tooltip where the view cuts it off, and
// no tooltip where the name is seen whole anyway.
class CutOffNameTips final : public QObject {
public:
    explicit CutOffNameTips(QAbstractItemView* view) : QObject(view), view_(view) {
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != view_->viewport())
            return QObject::eventFilter(watched, event);
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        if (index.isValid() && isCutOff(view_, index))
            QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(),
                               view_->viewport(), view_->visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }

private:
    QAbstractItemView* view_;
};

// The drop-down of the drive list, which reads the drives again as it opens.
class DriveComboBox final : public QComboBox {
public:
    DriveComboBox(QWidget* parent, std::function<void()> beforePopup)
        : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}

    void showPopup() override {
        beforePopup_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforePopup_;
};

// A list box of single selection as desktop users know it: no click takes
// the selection away (a click on the blank part, a Ctrl+click on the
// selected entry), a click on the selected entry is heard as a click, and
// the first Down or Up arrow with nothing selected selects the first entry.
class FileListWidget final : public QListWidget {
public:
    FileListWidget(QWidget* parent, std::function<void()> clickedAgain)
        : QListWidget(parent), clickedAgain_(std::move(clickedAgain)) {}

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        if (!index.isValid()) return QItemSelectionModel::NoUpdate;
        QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
        if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
            command = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
        return command;
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        if ((action == MoveDown || action == MoveUp || action == MoveNext ||
             action == MovePrevious) &&
            selectionModel()->selectedIndexes().isEmpty() && count() > 0)
            return model()->index(0, 0);
        return QListWidget::moveCursor(action, modifiers);
    }

    // The click on the selected entry is taken on release, so that the
    // second press of a double-click, which lands on the entry the first
    // press selected, is not heard as one more click.
    void mousePressEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        againOn_ = event->button() == Qt::LeftButton && index.isValid() &&
                           selectionModel()->isSelected(index)
                       ? QPersistentModelIndex(index)
                       : QPersistentModelIndex();
        QListWidget::mousePressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        againOn_ = QPersistentModelIndex();
        QListWidget::mouseDoubleClickEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        const QPersistentModelIndex again = std::exchange(againOn_, QPersistentModelIndex());
        QListWidget::mouseReleaseEvent(event);
        if (again.isValid() && event->button() == Qt::LeftButton &&
            indexAt(event->position().toPoint()) == again && selectionModel()->isSelected(again))
            clickedAgain_();
    }

private:
    std::function<void()> clickedAgain_;
    QPersistentModelIndex againOn_;
};

} // namespace

// --- DriveList ---------------------------------------------------------------

DriveList::DriveList(QWidget* parent)
    : combo_(new DriveComboBox(parent, [this] { readDrivesAgain(); })) {
    QObject::connect(combo_, &QComboBox::activated, this, [this](int index) {
        // activated comes also when the drive shown is chosen again, which
        // changes nothing; the index was moved before we hear of it.
        const QString chosen = combo_->itemData(index, kPathRole).toString();
        if (chosen == combo_->property("brindloDrive").toString())
            return;
        combo_->setProperty("brindloDrive", chosen);
        speakDrive();
        Change.raiseFromUser();
    });
}

QString DriveList::Drive() const { return combo_->currentData(kPathRole).toString(); }

void DriveList::setDrive(const QString& drive) {
    const QString wanted = files::normalFolderPath(drive);
    const int index = combo_->findData(wanted, kPathRole);
    if (index < 0)
        throw Refused("Device unavailable: " + drive.toStdString());
    assignRaising(
        index, [this] { return combo_->currentIndex(); },
        [this](int i) {
            const QSignalBlocker quiet(combo_);
            combo_->setCurrentIndex(i);
            combo_->setProperty("brindloDrive", combo_->itemData(i, kPathRole));
            speakDrive();
        },
        Change);
}

void DriveList::setDrives(const QStringList& roots) {
    const QSignalBlocker quiet(combo_);
    const QString current = Drive();
    QStringList offer = roots;
    // The chosen drive stays shown though its volume went: the lists still
    // show its folders, and choosing another drive must still be a change.
    if (!current.isEmpty() && !offer.contains(current)) offer.append(current);
    combo_->clear();
    const QIcon drive = placeIcon(PlaceGlyph::Drive);
    for (const QString& root : offer)
        combo_->addItem(drive, files::displayFileName(root), root);
    combo_->setCurrentIndex(std::max(0, combo_->findData(current, kPathRole)));
    combo_->setProperty("brindloDrive", Drive());
    speakDrive();
}

void DriveList::readDrivesAgain() {
    setDrives(files::driveRoots());
}

QStringList DriveList::drives() const {
    QStringList out;
    for (int i = 0; i < combo_->count(); ++i)
        out.append(combo_->itemData(i, kPathRole).toString());
    return out;
}

void DriveList::setAccessibleName(const QString& name) {
    Control::setAccessibleName(name);
    // On Linux, Qt reports a drop-down list's current entry as its name and
    // leaves naming it to a label that has it as buddy. The window shows no
    // label beside the drive list, so a hidden one names it for screen
    // readers.
    if (!nameLabel_) {
        nameLabel_ = new QLabel(combo_->parentWidget());
        nameLabel_->setTextFormat(Qt::PlainText);
        nameLabel_->setBuddy(combo_);
        nameLabel_->hide();
    }
    nameLabel_->setText(name);
}

void DriveList::speakDrive() {
    // Screen readers say a drop-down list's current entry; "/" alone is read
    // as a bare symbol, so the entry also says what it is.
    combo_->setAccessibleDescription(QStringLiteral("Drive %1").arg(combo_->currentText()));
}

QWidget* DriveList::widget() const { return combo_; }

// --- FolderList --------------------------------------------------------------

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

// --- FileList ----------------------------------------------------------------

FileList::FileList(QWidget* parent)
    : list_(new FileListWidget(parent, [this] { Click.raiseFromUser(); })),
      watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this)) {
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    new CutOffNameTips(list_);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_,
                     qOverload<>(&QTimer::start));
    QObject::connect(settle_, &QTimer::timeout, this, [this] {
        if (path_.isEmpty()) return;
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

void FileList::watch(const QString& folder) {
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    // The watcher takes names as text in the locale's encoding; a folder
    // whose name that cannot carry is simply not followed.
    if (!folder.isEmpty() && QFile::encodeName(folder) == files::encodeFileName(folder))
        watcher_->addPath(folder);
}

QWidget* FileList::widget() const { return list_; }

} // namespace controls
