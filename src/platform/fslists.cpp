#include "platform/fslists.h"

#include "platform/filesystem.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>

namespace platform {
namespace {

constexpr int kPathRole = Qt::UserRole;

QString joinPath(const QString& folder, const QString& name) {
    return folder.endsWith(kPathSeparator) ? folder + name : folder + kPathSeparator + name;
}

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

} // namespace

// --- DriveList ---------------------------------------------------------------

DriveList::DriveList(QWidget* parent) : combo_(new QComboBox(parent)) {
    QObject::connect(combo_, &QComboBox::activated, this, [this](int index) {
        // activated comes also when the drive shown is chosen again, which
        // changes nothing; the index was moved before we hear of it.
        const QString chosen = combo_->itemData(index, kPathRole).toString();
        if (chosen == combo_->property("brindloDrive").toString())
            return;
        combo_->setProperty("brindloDrive", chosen);
        Change.raiseFromUser();
    });
}

QString DriveList::Drive() const { return combo_->currentData(kPathRole).toString(); }

void DriveList::setDrive(const QString& drive) {
    const QString wanted = normalFolderPath(drive);
    const int index = combo_->findData(wanted, kPathRole);
    if (index < 0)
        throw Refused("Device unavailable: " + drive.toStdString());
    assignRaising(
        index, [this] { return combo_->currentIndex(); },
        [this](int i) {
            const QSignalBlocker quiet(combo_);
            combo_->setCurrentIndex(i);
            combo_->setProperty("brindloDrive", combo_->itemData(i, kPathRole));
        },
        Change);
}

void DriveList::setDrives(const QStringList& roots) {
    const QSignalBlocker quiet(combo_);
    const QString current = Drive();
    combo_->clear();
    for (const QString& root : roots)
        combo_->addItem(combo_->style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    combo_->setCurrentIndex(std::max(0, combo_->findData(current, kPathRole)));
    combo_->setProperty("brindloDrive", Drive());
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
}

QString FolderList::Path() const { return path_; }

void FolderList::setPath(const QString& path) {
    const QString wanted = normalFolderPath(path);
    if (wanted.isEmpty())
        throw Refused("Path not found");
    if (wanted == path_)
        return;
    const std::optional<QStringList> subfolders = listSubfolders(wanted);
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
        if (const std::optional<QStringList> subfolders = listSubfolders(path_))
            show(path_, *subfolders);
    } catch (const std::exception& e) {
        reportFailure(&e);
    }
}

void FolderList::show(const QString& path, const QStringList& subfolders) {
    const QSignalBlocker quiet(tree_);
    tree_->clear();
    const QIcon open = tree_->style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = tree_->style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain of ancestors, each nested in the one before, then the
    // folder's own subfolders below it.
    auto* item = new QTreeWidgetItem(tree_, QStringList{QString(kPathSeparator)});
    item->setData(0, kPathRole, QString(kPathSeparator));
    item->setIcon(0, open);
    QString walked;
    for (const QString& part : path.split(kPathSeparator, Qt::SkipEmptyParts)) {
        walked += kPathSeparator + part;
        item = new QTreeWidgetItem(item, QStringList{part});
        item->setData(0, kPathRole, walked);
        item->setIcon(0, open);
    }
    QTreeWidgetItem* current = item;
    for (const QString& name : subfolders) {
        auto* sub = new QTreeWidgetItem(current, QStringList{name});
        sub->setData(0, kPathRole, joinPath(path, name));
        sub->setIcon(0, closed);
    }
    tree_->expandAll();
    tree_->setCurrentItem(current);
    tree_->scrollToItem(current);
    path_ = path;
}

QWidget* FolderList::widget() const { return tree_; }

// --- FileList ----------------------------------------------------------------

FileList::FileList(QWidget* parent) : list_(new QListWidget(parent)) {
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
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
    const QString wanted = normalFolderPath(path);
    const std::optional<QStringList> files =
        wanted.isEmpty() ? std::nullopt : listFiles(wanted, NamePattern(pattern_));
    if (!files) throw Refused("Path not found: " + path.toStdString());
    fill(wanted, *files, QString());
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
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::setFileName(const QString& value) {
    if (!value.isEmpty() && isFolder(value)) {
        setPath(value);
        return;
    }
    if (value.contains(u'*') || value.contains(u'?')) {
        setPattern(value);
        return;
    }
    const QList<QListWidgetItem*> found = list_->findItems(value, Qt::MatchExactly);
    if (found.isEmpty())
        throw Refused("File not found: " + value.toStdString());
    const QSignalBlocker quiet(list_);
    list_->setCurrentItem(found.first());
}

int FileList::ListCount() const { return list_->count(); }
QString FileList::List(int index) const {
    const QListWidgetItem* item = list_->item(index);
    return item ? item->text() : QString();
}
int FileList::ListIndex() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.first());
}

void FileList::Refresh() {
    const std::optional<QStringList> files = listFiles(path_, NamePattern(pattern_));
    fill(path_, files ? *files : QStringList(), FileName());
}

void FileList::Clear() { fill(QString(), QStringList(), QString()); }

void FileList::SetFocus() { list_->setFocus(Qt::OtherFocusReason); }

void FileList::fill(const QString& path, const QStringList& names, const QString& keep) {
    const QSignalBlocker quiet(list_);
    list_->clear();
    list_->addItems(names); // already matched against the pattern
    path_ = path;
    if (!keep.isEmpty()) {
        const QList<QListWidgetItem*> found = list_->findItems(keep, Qt::MatchExactly);
        if (!found.isEmpty())
            list_->setCurrentItem(found.first());
    }
}

QWidget* FileList::widget() const { return list_; }

} // namespace platform
