// The three lists as a desktop user drives them: real mouse and key events
// on the list widgets, a folder that changes under the list, drives that
// come and go.
#include "testsupport.h"

#include "files/filename.h"
#include "files/drives.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <fcntl.h>
#include <unistd.h>

using testing_support::TempTree;

namespace {

// An MP3 stand-in: some audio bytes, then an ID3v1 record with a title.
QByteArray taggedFile(const char* title) {
    QByteArray record = "TAG" + QByteArray(title).leftJustified(30, ' ');
    record += QByteArray(94, ' ');
    record += char(0);
    return QByteArray(512, '\0') + record;
}

// The tooltip a view shows when the pointer rests at `at` in its viewport.
QString tooltipAt(QAbstractItemView* view, QPoint at) {
    QToolTip::hideText(); // the tip fades out after a moment
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000))
        return QStringLiteral("(a tooltip that does not go)");
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The icon as the list shows it at 16 pixels; a null image when it has none.
QImage shownIcon(const QIcon& icon) {
    return icon.isNull() ? QImage() : icon.pixmap(QSize(16, 16)).toImage();
}

// Whether an icon image has anything visible in it.
bool drawsSomething(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > 128) return true;
    return false;
}

} // namespace

class FileListBox : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
            tree.file(QString::fromLatin1(name), taggedFile(name));
        w->Dir1.setPath(tree.root());
        clicks = 0;
        w->File1.Click.connect([this] {
            ++clicks;
            w->File1_Click();
        });
    }

    QListWidget* list() const { return w->File1.listWidget(); }

    TempTree tree;
    int clicks = 0;
};

TEST_F(FileListBox, NoClickTakesTheSelectionAway) {
    clickFile("b.mp3");
    ASSERT_EQ(w->File1.FileName(), "b.mp3");
    const QPoint blank(5, list()->viewport()->height() - 3); // below the last entry
    ASSERT_FALSE(list()->indexAt(blank).isValid());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, blank);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    clickFile("b.mp3", Qt::ControlModifier);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    QTest::keyClick(list(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    // A Ctrl+click elsewhere still moves the one selection.
    clickFile("c.mp3", Qt::ControlModifier);
    EXPECT_EQ(w->File1.FileName(), "c.mp3");
    EXPECT_EQ(list()->selectedItems().size(), 1);
    EXPECT_EQ(w->txtTitle.Text(), "c.mp3");
}

TEST_F(FileListBox, ClickOnTheSelectedFileReadsItsTagAgain) {
    clickFile("a.mp3");
    EXPECT_EQ(clicks, 1);
    w->txtTitle.setText("unsaved edit");
    clickFile("a.mp3"); // how a user throws the edits away
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(w->txtTitle.Text(), "a.mp3");

    // A double-click is one click and one double-click, whether or not the
    // file was selected before.
    QStringList order;
    w->File1.Click.connect([&] { order << "click"; });
    w->File1.DblClick.connect([&] { order << "double"; });
    for (const char* name : {"a.mp3", "b.mp3"}) {
        SCOPED_TRACE(name);
        order.clear();
        doubleClickFile(QString::fromLatin1(name));
        EXPECT_EQ(order, QStringList({"click", "double"}));
    }
}

// Tabbed into, the list's cursor already stands on the first entry with
// nothing selected; the first movement key must still select, once.
TEST_F(FileListBox, FirstMovementKeyAfterTabbingInSelectsAFile) {
    struct Case {
        Qt::Key key;
        const char* selected;
    };
    const Case cases[] = {{Qt::Key_Down, "a.mp3"},     {Qt::Key_Up, "a.mp3"},
                          {Qt::Key_Home, "a.mp3"},     {Qt::Key_End, "c.mp3"},
                          {Qt::Key_PageDown, "c.mp3"}, {Qt::Key_PageUp, "a.mp3"}};
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        w->Dir1.setPath("/");
        w->Dir1.setPath(tree.root());
        w->Drive1.widget()->setFocus();
        QTest::keyClick(w->Drive1.widget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), list());
        clicks = 0;
        QTest::keyClick(list(), c.key);
        EXPECT_EQ(w->File1.FileName(), c.selected);
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(w->txtTitle.Text(), c.selected); // its tag was read
    }
    // From a selected file the keys move on as usual.
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    QTest::keyClick(list(), Qt::Key_End);
    EXPECT_EQ(w->File1.FileName(), "c.mp3");
    EXPECT_EQ(clicks, 3);
}

// Desktop lists leave the selection alone on a right-click; here a click
// would also read the tag again and throw the edits in the boxes away.
TEST_F(FileListBox, OnlyTheLeftButtonSelectsOrOpens) {
    clickFile("a.mp3");
    w->txtTitle.setText("unsaved edit");
    clicks = 0;
    int doubles = 0;
    w->File1.DblClick.connect([&] { ++doubles; });
    QWidget* viewport = list()->viewport();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(button);
        for (const char* name : {"b.mp3", "a.mp3"}) { // another file and the selected one
            const QPoint at = centreOfFile(QString::fromLatin1(name));
            QTest::mouseClick(viewport, button, {}, at);
            QTest::mousePress(viewport, button, {}, at);
            QTest::mouseDClick(viewport, button, {}, at);
            QTest::mouseRelease(viewport, button, {}, at);
        }
        // Dragged across the entries with that button held.
        QTest::mousePress(viewport, button, {}, centreOfFile("b.mp3"));
        QTest::mouseMove(viewport, centreOfFile("c.mp3"));
        QTest::mouseRelease(viewport, button, {}, centreOfFile("c.mp3"));
        EXPECT_EQ(w->File1.FileName(), "a.mp3");
        EXPECT_EQ(list()->selectedItems().size(), 1);
        EXPECT_EQ(clicks, 0);
        EXPECT_EQ(doubles, 0);
        EXPECT_EQ(w->txtTitle.Text(), "unsaved edit");
    }
}

TEST_F(FileListBox, NameCutOffByTheListShowsWholeAsTooltip) {
    const QString longName = QString(60, u'x') + QStringLiteral(" and the end.mp3");
    tree.file(longName, "data");
    w->File1.Refresh();
    EXPECT_EQ(tooltipAt(list(), centreOfFile(longName)), longName);
    EXPECT_EQ(tooltipAt(list(), centreOfFile("a.mp3")), ""); // seen whole already
}

TEST_F(FileListBox, FollowsFilesAddedAndRemovedKeepingTheSelection) {
    clickFile("b.mp3");
    clicks = 0;
    w->varCurrentFile = tree.path("b.mp3");
    tree.file("d.mp3", "new");
    tree.file("d.txt", "no match");
    QFile::remove(tree.path("a.mp3"));
    QTRY_COMPARE_WITH_TIMEOUT(listedFiles(), QStringList({"b.mp3", "c.mp3", "d.mp3"}), 5000);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    EXPECT_EQ(clicks, 0);

    // The selected file itself goes: nothing is selected any more, and as
    // after a folder change the tag boxes and varCurrentFile stay as they
    // were, while the path built from the lists names the folder.
    QFile::remove(tree.path("b.mp3"));
    QTRY_COMPARE_WITH_TIMEOUT(listedFiles(), QStringList({"c.mp3", "d.mp3"}), 5000);
    EXPECT_EQ(w->File1.ListIndex(), -1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(w->txtTitle.Text(), "b.mp3");
    EXPECT_EQ(w->varCurrentFile.toString(), tree.path("b.mp3"));
    EXPECT_EQ(w->BuildFullPath(), tree.root() + "/");
}

TEST_F(FileListBox, ListingAgainKeepsTheScrollPosition) {
    for (int k = 0; k < 80; ++k)
        tree.file(QStringLiteral("track %1.mp3").arg(k, 2, 10, QLatin1Char('0')), "x");
    w->File1.Refresh();
    clickFile("track 40.mp3");
    QScrollBar* bar = list()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int kept = bar->value();
    ASSERT_GT(kept, 0);

    QTest::mouseClick(w->cmdResize.button(), Qt::LeftButton); // lists the folder again
    EXPECT_EQ(bar->value(), kept);
    tree.file("zz new.mp3", "x");
    QTRY_COMPARE_WITH_TIMEOUT(w->File1.ListCount(), 84, 5000);
    EXPECT_EQ(bar->value(), kept);
    EXPECT_EQ(w->File1.FileName(), "track 40.mp3");
}

TEST_F(FileListBox, BadBytesLookUnlikeEveryOtherName) {
    const QByteArray folder = QFile::encodeName(tree.root());
    const std::pair<QByteArray, const char*> files[] = {
        {folder + "/caf\xe9.mp3", "latin"},
        {folder + "/caf\xef\xbf\xbd.mp3", "replacement"},
    };
    for (const auto& [name, title] : files) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray bytes = taggedFile(title);
        ASSERT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
        ::close(fd);
    }
    w->File1.Refresh();
    QStringList shown;
    for (int row = 0; row < list()->count(); ++row)
        shown << list()->item(row)->text();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("caf\xef\xbf\xbd"
                                                 "E9.mp3")));
    EXPECT_TRUE(shown.contains(QString::fromUtf8("caf\xef\xbf\xbd\xef\xbf\xbd.mp3")));
    for (const auto& [name, title] : files) {
        clickFile(files::decodeFileName(name.mid(folder.size() + 1)));
        EXPECT_EQ(files::encodeFileName(w->varCurrentFile.toString()), name);
        EXPECT_EQ(w->txtTitle.Text(), title); // its own tag
        ::unlink(name.constData());           // QTemporaryDir cannot remove these names
    }
}

class FolderListView : public testing_support::WindowTest {
protected:
    QTreeWidget* view() const { return w->Dir1.treeWidget(); }
    bool shown(const QString& path) const {
        for (QTreeWidgetItemIterator it(view()); *it; ++it) {
            QTreeWidgetItem* item = *it;
            if (item->data(0, Qt::UserRole).toString() == path) {
                const QRect r = view()->visualItemRect(item);
                return r.top() >= 0 && r.bottom() < view()->viewport()->height();
            }
        }
        return false;
    }
    TempTree tree;
};

TEST_F(FolderListView, CurrentFolderAndItsParentsStayInView) {
    QString deep = QStringLiteral("one/two/three/four/five/six/seven/eight");
    for (int k = 0; k < 30; ++k)
        tree.folder(deep + QStringLiteral("/sub%1").arg(k, 2, 10, QLatin1Char('0')));
    QString path = tree.root();
    for (const QString& part : deep.split(u'/')) {
        path += u'/' + part;
        w->Dir1.setPath(path);
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(shown(path));
        EXPECT_TRUE(shown(QFileInfo(path).path())); // its parent, right above it
    }
    // Where the whole chain fits, the list starts at the root.
    w->Dir1.setPath("/");
    w->Dir1.setPath(QDir::rootPath() + QStringLiteral("tmp"));
    EXPECT_TRUE(shown("/"));
}

TEST_F(FolderListView, NameCutOffShowsWholeAsTooltip) {
    const QString longName = QStringLiteral("A folder whose name runs on well past the edge");
    tree.folder(longName);
    tree.folder("Live");
    w->Dir1.setPath(tree.root());
    const auto entry = [&](const QString& name) {
        return view()
            ->visualItemRect(view()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).first())
            .center();
    };
    EXPECT_EQ(tooltipAt(view(), entry(longName)), longName);
    EXPECT_EQ(tooltipAt(view(), entry("Live")), "");
}

TEST_F(FolderListView, VanishedFolderWithAWildcardNeverBecomesThePattern) {
    tree.file("we*ird/inside.mp3", "x");
    tree.file("plain/song.mp3", "x");
    w->Dir1.setPath(tree.root());
    // It goes between the folder list showing it and the file list following.
    w->Dir1.Change.connect([this] {
        QDir(tree.path("we*ird")).removeRecursively();
        w->Dir1_Change();
    });
    EXPECT_THROW(w->Dir1.setPath(tree.path("we*ird")), controls::Refused);
    EXPECT_EQ(w->File1.Pattern(), "*.mp3");
    EXPECT_EQ(w->File1.ListCount(), 0); // no other folder's files
    w->Dir1.setPath(tree.path("plain"));
    EXPECT_EQ(listedFiles(), QStringList({"song.mp3"}));
}

TEST_F(FolderListView, EveryEntryShowsAFolderOpenAlongThePathClosedBelowIt) {
    tree.folder("Live");
    tree.folder("Studio");
    w->Dir1.setPath(tree.root());
    QImage open;
    QImage closed;
    for (QTreeWidgetItemIterator it(view()); *it; ++it) {
        const QString path = (*it)->data(0, Qt::UserRole).toString();
        SCOPED_TRACE(path.toStdString());
        const QImage image = shownIcon((*it)->icon(0));
        EXPECT_TRUE(drawsSomething(image));
        // The current folder and the folders above it are open, its
        // subfolders (the entries without children here) closed; each kind
        // looks the same on every entry.
        QImage& kind = (*it)->childCount() > 0 ? open : closed;
        if (kind.isNull()) kind = image;
        EXPECT_EQ(image, kind);
    }
    ASSERT_FALSE(closed.isNull());
    EXPECT_NE(open, closed);
}

class DriveListOffer : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        tree.file("media/USB STICK/on the stick.mp3", "x");
        tree.file("home/at home.mp3", "x");
        mounted(true);
        files::setMountTable(tree.path("mounts"), {tree.path("media")});
        w->Dir1.setPath(tree.path("home"));
    }
    void TearDown() override {
        files::setMountTable({}, {});
        WindowTest::TearDown();
    }
    void mounted(bool stick) {
        QByteArray table = "/dev/sda1 / ext4 rw 0 0\n";
        if (stick)
            table += "/dev/sdz1 " + QFile::encodeName(tree.path("media")) +
                     "/USB\\040STICK vfat rw 0 0\n";
        tree.file("mounts", table);
    }
    QStringList offered() {
        QComboBox* combo = w->Drive1.comboBox();
        combo->showPopup(); // as the user opens it
        combo->hidePopup();
        return w->Drive1.drives();
    }
    void chooseByKey(const QString& drive) {
        QComboBox* combo = w->Drive1.comboBox();
        const int target = w->Drive1.drives().indexOf(drive);
        ASSERT_GE(target, 0);
        while (combo->currentIndex() != target)
            QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
    TempTree tree;
};

TEST_F(DriveListOffer, ReadAgainEachTimeItOpens) {
    const QString stick = tree.path("media/USB STICK");
    EXPECT_EQ(offered(), QStringList({"/", stick}));
    mounted(false);
    EXPECT_EQ(offered(), QStringList({"/"}));
    mounted(true);
    EXPECT_EQ(offered(), QStringList({"/", stick}));
    chooseByKey(stick);
    EXPECT_EQ(listedFiles(), QStringList({"on the stick.mp3"}));
}

TEST_F(DriveListOffer, EveryDriveShowsAnIconAfterEachReading) {
    for (bool stick : {true, false, true}) {
        mounted(stick);
        const QStringList drives = offered();
        QComboBox* combo = w->Drive1.comboBox();
        for (int i = 0; i < combo->count(); ++i) {
            SCOPED_TRACE(drives.value(i).toStdString());
            EXPECT_TRUE(drawsSomething(shownIcon(combo->itemIcon(i))));
        }
    }
}

TEST_F(DriveListOffer, VolumeTakenAwayIsNotReady) {
    const QString stick = tree.path("media/USB STICK");
    ASSERT_EQ(offered(), QStringList({"/", stick}));
    mounted(false); // while the list still offers it; the mount point stays
    chooseByKey(stick);
    // As for a drive that cannot be read: the drive list shows it, the
    // other lists stay where they were.
    EXPECT_EQ(w->Drive1.Drive(), stick);
    EXPECT_EQ(w->Dir1.Path(), tree.path("home"));
    EXPECT_EQ(w->File1.Path(), tree.path("home"));
    EXPECT_EQ(listedFiles(), QStringList({"at home.mp3"}));
    // It stays on offer while chosen, and goes once another drive is.
    EXPECT_EQ(offered(), QStringList({"/", stick}));
    chooseByKey("/");
    EXPECT_EQ(w->Dir1.Path(), "/");
    EXPECT_EQ(offered(), QStringList({"/"}));
}
