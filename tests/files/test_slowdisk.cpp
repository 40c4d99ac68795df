// The window on a share that is slow, or that never answers.
#include "slowdisk.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "files/folderwatch.h"
#include "files/tagfile.h"
#include "player/statuslabel.h"

#include <sys/stat.h>

using testing_support::LoopHeartbeat;
using testing_support::SlowDisk;

namespace {

QByteArray taggedFile(const char* title) {
    QByteArray record = QByteArray("TAG") + QByteArray(title).leftJustified(30, ' ') +
                        QByteArray(30, ' ') + QByteArray(30, ' ') + "2001" + QByteArray(30, ' ');
    record.append(char(17));
    return QByteArray(4000, '\x55') + record;
}

void spinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

class SlowShare : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        disk = std::make_unique<SlowDisk>();
        if (!disk->unavailable().isEmpty()) GTEST_SKIP() << disk->unavailable().toStdString();
        QDir().mkpath(disk->source("Music/Live"));
        for (const char* name : {"b.mp3", "A.mp3", "c.MP3"}) {
            QFile f(disk->source(QStringLiteral("Music/") + name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(taggedFile(name));
        }
    }
    void TearDown() override {
        disk.reset();
        WindowTest::TearDown();
    }
    std::unique_ptr<SlowDisk> disk;
};

TEST_F(SlowShare, FolderTagAndSaveKeepTheWindowAliveAndComeOutRight) {
    disk->set("list 1500\nopen 1500\nread 1500\nwrite 1500\nflush 1500");
    LoopHeartbeat beat;

    beat.start();
    w->Dir1.setPath(disk->mounted("Music"));
    EXPECT_LE(beat.longestStallMs(), 100) << "opening the folder";
    EXPECT_EQ(w->Dir1.Path(), disk->mounted("Music"));
    EXPECT_EQ(listedFolders(), QStringList({"Live"}));
    EXPECT_EQ(listedFiles(), QStringList({"A.mp3", "b.mp3", "c.MP3"}));

    // Input held during a wait is handed on once the loop comes round.
    beat.start();
    clickFile("b.mp3");
    spinUntil([&] { return w->txtYear.Text() == "2001"; }, 8000);
    EXPECT_LE(beat.longestStallMs(), 100) << "reading the tag";
    EXPECT_EQ(w->txtTitle.Text(), "b.mp3");
    EXPECT_EQ(w->txtYear.Text(), "2001");
    EXPECT_EQ(w->txtGenreCode.Text(), "17");

    w->txtTitle.setText("Saved over a slow share");
    const auto savedBytes = [&] {
        QFile saved(disk->source("Music/b.mp3"));
        return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
    };
    const QByteArray before = savedBytes();
    beat.start();
    QTest::mouseClick(w->cmdSaveTag.button(), Qt::LeftButton);
    spinUntil([&] { return savedBytes() != before || !messages.empty(); }, 15000);
    spinUntil([] { return false; }, 100);
    EXPECT_LE(beat.longestStallMs(), 100) << "saving the tag";
    EXPECT_TRUE(messages.empty());
    const QByteArray bytes = savedBytes();
    EXPECT_EQ(bytes.size(), 4128);
    const QByteArray title = QByteArray("Saved over a slow share").leftJustified(30);
    EXPECT_EQ(bytes.mid(4000, 33), "TAG" + title);
}

TEST_F(SlowShare, EscapeGivesUpAShareThatNeverAnswers) {
    const QString before = w->Dir1.Path();
    const QStringList filesBefore = listedFiles();
    disk->set("list -1\nopen -1\nread -1");
    QElapsedTimer sinceEscape;
    QString shown; // what the strip says while the window waits
    QTimer::singleShot(400, w.get(), [&] {
        if (auto* status = w->media.findChild<player::StatusLabel*>()) shown = status->text();
        sinceEscape.start();
        QTest::keyClick(w->File1.listWidget(), Qt::Key_Escape);
    });
    EXPECT_THROW(w->Dir1.setPath(disk->mounted("Music")), controls::Refused);
    EXPECT_LT(sinceEscape.elapsed(), 200);
    EXPECT_TRUE(shown.startsWith("Waiting for the disk: ")) << shown.toStdString();
    EXPECT_FALSE(w->media.findChild<player::StatusLabel*>()->text().startsWith("Waiting"));
    EXPECT_EQ(w->Dir1.Path(), before);
    EXPECT_EQ(listedFiles(), filesBefore);

    // A file on the dead share reads as an unreadable one.
    w->varCurrentFile = QString();
    QTimer::singleShot(300, w.get(),
                       [&] { QTest::keyClick(w->File1.listWidget(), Qt::Key_Escape); });
    EXPECT_EQ(files::readLastRecord(disk->mounted("Music/b.mp3")), std::nullopt);

    // Another folder opens at once beside the stuck calls.
    testing_support::TempTree other;
    other.file("elsewhere.mp3");
    QElapsedTimer t;
    t.start();
    w->Dir1.setPath(other.root());
    EXPECT_LT(t.elapsed(), 200);
    EXPECT_EQ(listedFiles(), QStringList({"elsewhere.mp3"}));
}

TEST_F(SlowShare, FolderThatBecomesReadableAgainIsListedAgain) {
    w->Dir1.setPath(disk->mounted("Music"));
    ASSERT_EQ(listedFiles().size(), 3);
    const QByteArray folder = QFile::encodeName(disk->mounted("Music"));
    ASSERT_EQ(::chmod(folder.constData(), 0), 0);
    spinUntil([&] { return listedFiles().isEmpty(); }, 3000);
    EXPECT_TRUE(listedFiles().isEmpty());
    ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
    spinUntil([&] { return listedFiles().size() == 3; }, 3000);
    EXPECT_EQ(listedFiles(), QStringList({"A.mp3", "b.mp3", "c.MP3"}));
}

// Each watch ends the one before, and the kernel tells of that end; the
// watcher must not take it for a change, or a shown folder is read again
// several times a second for as long as it is shown.
TEST(FolderWatchTest, ItsOwnWatchesEndingIsNoChange) {
    testing_support::TempTree tree;
    tree.file("album/one.mp3");
    int changes = 0;
    files::FolderWatch watch([&] { ++changes; });
    for (int i = 0; i < 4; ++i) {
        watch.watch(tree.path("album"));
        QTest::qWait(100);
    }
    EXPECT_EQ(changes, 0);
    tree.file("album/two.mp3");
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 3000));
}

// A shown folder that goes and comes back under the same name, on a local
// disk, where the parent folder tells of it.
class ShownFolder : public testing_support::WindowTest {};

TEST_F(ShownFolder, RemovedAndMadeAgainIsListedAgain) {
    testing_support::TempTree tree;
    tree.file("album/one.mp3");
    w->Dir1.setPath(tree.path("album"));
    ASSERT_EQ(listedFiles(), QStringList({"one.mp3"}));
    ASSERT_TRUE(QDir(tree.path("album")).removeRecursively());
    spinUntil([&] { return listedFiles().isEmpty(); }, 3000);
    EXPECT_TRUE(listedFiles().isEmpty());
    tree.file("album/two.mp3");
    spinUntil([&] { return !listedFiles().isEmpty(); }, 3000);
    EXPECT_EQ(listedFiles(), QStringList({"two.mp3"}));
}
