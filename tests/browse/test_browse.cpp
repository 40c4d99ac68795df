// Browsing a real temporary tree through the drive, folder and file lists.
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include "files/filename.h"
#include <QTest>
#include <QTreeWidget>
#include <fcntl.h>
#include <unistd.h>

using testing_support::TempTree;

class Browse : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"b.mp3", "A.MP3", "c.Mp3", "notes.txt", ".hidden.mp3",
                                 "song.mp3.bak", "mp3", "Sub/inner.mp3", "sub2/x.txt",
                                 ".dotfolder/y.mp3"})
            tree.file(QString::fromLatin1(name), "data");
        tree.folder("folder.mp3"); // a folder, however it is named, is no file
        QFile::link(tree.path("b.mp3"), tree.path("link.mp3"));
        // A link to nothing is no file, and must not spoil the rest.
        QFile::link(tree.path("gone.mp3"), tree.path("dangling.mp3"));
        w->File1.Click.connect([this] { ++clicks; });
        w->File1.DblClick.connect([this] { ++doubleClicks; });
    }

    void openFolderByKeyboard(const QString& name) {
        QTreeWidget* view = w->Dir1.treeWidget();
        const auto found = view->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        view->setCurrentItem(found.first());
        QTest::keyClick(view, Qt::Key_Return);
    }

    TempTree tree;
    int clicks = 0, doubleClicks = 0;
};

TEST_F(Browse, FileListShowsOnlyMatchingRegularFilesSorted) {
    w->Dir1.setPath(tree.root());
    EXPECT_EQ(w->File1.Path(), tree.root());
    EXPECT_EQ(listedFiles(), QStringList({"A.MP3", "b.mp3", "c.Mp3", "link.mp3"}));
    EXPECT_EQ(listedFolders(), QStringList({"folder.mp3", "Sub", "sub2"}));
    EXPECT_EQ(w->File1.FileName(), "");
    EXPECT_EQ(clicks, 0);
}

TEST_F(Browse, OpeningASubfolderMovesTheFileListThere) {
    w->Dir1.setPath(tree.root());
    w->varCurrentFile = QStringLiteral("/elsewhere/x.mp3");
    openFolderByKeyboard("Sub");
    EXPECT_EQ(w->Dir1.Path(), tree.path("Sub"));
    EXPECT_EQ(w->File1.Path(), tree.path("Sub"));
    EXPECT_EQ(listedFiles(), QStringList({"inner.mp3"}));
    EXPECT_EQ(w->File1.ListIndex(), -1);
    EXPECT_EQ(w->Drive1.Drive(), "/");
    EXPECT_EQ(w->varCurrentFile.toString(), "/elsewhere/x.mp3");
    EXPECT_EQ(clicks + doubleClicks, 0);

    // And up again through the chain of ancestors.
    openFolderByKeyboard(QDir(tree.root()).dirName());
    EXPECT_EQ(w->File1.Path(), tree.root());
}

TEST_F(Browse, FolderThatCannotBeOpenedIsRefusedAndChangesNothing) {
    w->Dir1.setPath(tree.root());
    EXPECT_THROW(w->Dir1.setPath(tree.path("gone")), controls::Refused);
    EXPECT_THROW(w->Dir1.setPath(tree.path("notes.txt")), controls::Refused);
    EXPECT_EQ(w->Dir1.Path(), tree.root());
    EXPECT_EQ(listedFiles().size(), 4);

    // Opened from the list after it vanished: the lists stay where they are.
    tree.folder("doomed");
    w->Dir1.setPath(tree.path("Sub"));
    w->Dir1.setPath(tree.root());
    QDir(tree.path("doomed")).removeRecursively();
    openFolderByKeyboard("doomed");
    EXPECT_EQ(w->Dir1.Path(), tree.root());
    EXPECT_EQ(w->File1.Path(), tree.root());
    EXPECT_FALSE(listedFolders().contains("doomed")); // no longer on offer
}

TEST_F(Browse, ClickingAFileSelectsItOnceAndFormsItsPath) {
    w->Dir1.setPath(tree.root());
    clickFile("b.mp3");
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(w->File1.FileName(), "b.mp3");
    EXPECT_EQ(w->BuildFullPath(), tree.path("b.mp3"));
    QTest::keyClick(w->File1.listWidget(), Qt::Key_Down); // arrow keys select too
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(w->File1.FileName(), "c.Mp3");

    w->Dir1.setPath("/");
    EXPECT_EQ(w->BuildFullPath(), "/"); // nothing selected: the folder itself
    w->Dir1.setPath(tree.path("Sub"));
    EXPECT_EQ(w->BuildFullPath(), tree.path("Sub") + "/");
}

TEST_F(Browse, DoubleClickRaisesClickThenDoubleClick) {
    w->Dir1.setPath(tree.root());
    QStringList order;
    w->File1.Click.connect([&] { order << "click " + w->File1.FileName(); });
    w->File1.DblClick.connect([&] { order << "double " + w->File1.FileName(); });
    doubleClickFile("c.Mp3");
    EXPECT_EQ(order, QStringList({"click c.Mp3", "double c.Mp3"}));
}

TEST_F(Browse, DriveChangeMovesBothListsAndAnUnreadyDriveMovesNeither) {
    const QString usb = tree.folder("Sub");
    const QString absent = tree.path("no-medium");
    w->Drive1.setDrives({"/", usb, absent});
    w->varCurrentFile = QStringLiteral("/kept.mp3");

    w->Drive1.setDrive(usb);
    EXPECT_EQ(w->Dir1.Path(), usb);
    EXPECT_EQ(w->File1.Path(), usb);
    EXPECT_EQ(listedFiles(), QStringList({"inner.mp3"}));

    int dirChanges = 0;
    w->Dir1.Change.connect([&] {
        ++dirChanges;
        w->Dir1_Change();
    });
    w->Drive1.setDrive(absent);
    EXPECT_EQ(w->Drive1.Drive(), absent);
    EXPECT_EQ(w->Dir1.Path(), usb);
    EXPECT_EQ(w->File1.Path(), usb);
    w->Drive1.setDrive(absent); // already chosen: no change, lists stay
    EXPECT_EQ(w->Dir1.Path(), usb);
    EXPECT_EQ(dirChanges, 0);
    EXPECT_EQ(w->varCurrentFile.toString(), "/kept.mp3");
    EXPECT_THROW(w->Drive1.setDrive(tree.path("never-offered")), controls::Refused);

    w->Drive1.setDrive("/");
    EXPECT_EQ(w->Dir1.Path(), "/");
    EXPECT_EQ(w->File1.Path(), "/");
}

TEST_F(Browse, NamesThatAreNotUtf8OpenTheirOwnFile) {
    const QByteArray folder = QFile::encodeName(tree.root());
    const QByteArray raw = folder + "/bad\xff.mp3";
    const QByteArray lookalike = folder + "/bad\xef\xbf\xbd.mp3";
    for (const QByteArray& name : {raw, lookalike}) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, name.constData(), name.size()), name.size());
        ::close(fd);
    }
    w->Dir1.setPath(tree.root());
    ASSERT_EQ(listedFiles().size(), 6);
    for (const QString& listed : listedFiles()) {
        if (!listed.startsWith("bad"))
            continue;
        clickFile(listed);
        const QByteArray bytes = files::encodeFileName(w->BuildFullPath());
        EXPECT_TRUE(bytes == raw || bytes == lookalike);
        const int fd = ::open(bytes.constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        char content[512] = {};
        const ssize_t n = ::read(fd, content, sizeof content);
        ::close(fd);
        EXPECT_EQ(QByteArray(content, int(n)), bytes); // each file holds its own name
    }
    // QTemporaryDir cannot remove a name that is not UTF-8 text.
    ::unlink(raw.constData());
    ::unlink(lookalike.constData());
}
