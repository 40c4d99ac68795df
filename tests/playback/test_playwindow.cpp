// Opening, closing and the play-time labels, through the window with the
// real player on the silent sink.
#include "files/filename.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QListWidgetItem>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

bool libraryLoaded(const char* name) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(name) != std::string::npos) return true;
    return false;
}

QString fixture(const char* name) {
    return QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/") + QString::fromUtf8(name);
}

class PlayWindow : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"cbr.mp3", "mono8k.mp3", "text.mp3"})
            QFile::copy(fixture(name), tree.path(QString::fromUtf8(name)));
        w->Dir1.setPath(tree.root());
        // Count what the player reports, and still run the window's handler.
        w->media.OpenStateNotify.connect([this](std::int32_t first, std::int32_t state) {
            reports.push_back(state);
            w->media_OpenStateNotify(first, state);
        });
    }

    // Lets an open that took longer than the player waits end, as it does
    // on a busy machine or on the first open of a test program.
    void settle() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w->media.isOpening(); }, 30000));
        QTest::qWait(0);
    }

    void doubleClickAndSettle(const QString& name) {
        doubleClickFile(name);
        settle();
    }

    QString caption(const QString& name) const { return w->strBaseCaption + "  [ " + name + " ]"; }

    void expectClosed() {
        EXPECT_FALSE(w->blnFileOpen);
        EXPECT_EQ(w->cmdOpen.Caption(), "&Open");
        EXPECT_FALSE(w->Timer1.Enabled());
        EXPECT_EQ(w->Caption(), w->strBaseCaption);
        EXPECT_EQ(w->lblElapsedTime.Caption(), "0:00");
        EXPECT_EQ(w->lblTotalTime.Caption(), "0:00");
    }

    testing_support::TempTree tree;
    std::vector<std::int32_t> reports;
};

// The window is made and shown without the playback libraries; they come
// with the player's module when the first file is opened.
TEST_F(PlayWindow, PlaybackLibrariesComeWithTheFirstOpen) {
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    for (const char* library : {"libgstreamer-1.0", "libgobject-2.0", "libmpg123"})
        EXPECT_FALSE(libraryLoaded(library)) << library;
    doubleClickAndSettle("cbr.mp3");
    EXPECT_TRUE(w->media.isPlaying());
    EXPECT_TRUE(libraryLoaded("libgstreamer-1.0"));
}

TEST_F(PlayWindow, DoubleClickWhileNothingPlaysOpensOnce) {
    doubleClickAndSettle("cbr.mp3");
    // The first open of a test program may take longer than the player
    // waits and say it is opening first (see SlowOpenWindow).
    std::erase(reports, player::MediaPlayer::kOpening);
    EXPECT_EQ(reports, std::vector<std::int32_t>{1});
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->cmdOpen.Caption(), "&Close");
    EXPECT_TRUE(w->Timer1.Enabled());
    EXPECT_EQ(w->Caption(), caption(tree.path("cbr.mp3")));
    EXPECT_EQ(w->lblTotalTime.Caption(), "0:02");
    EXPECT_TRUE(w->media.isPlaying());
}

TEST_F(PlayWindow, DoubleClickWhileAnotherPlaysSwitchesToIt) {
    doubleClickAndSettle("cbr.mp3");
    reports.clear();
    doubleClickAndSettle("mono8k.mp3");
    EXPECT_EQ(reports, (std::vector<std::int32_t>{0, 1})); // closed, then opened
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->media.FileName(), tree.path("mono8k.mp3"));
    EXPECT_EQ(w->Caption(), caption(tree.path("mono8k.mp3")));
}

TEST_F(PlayWindow, ButtonClosesAndResetsLabelsCaptionAndTimer) {
    clickFile("cbr.mp3");
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    settle();
    ASSERT_TRUE(w->blnFileOpen);
    w->Timer1_Timer();
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    expectClosed();
    EXPECT_EQ(w->media.FileName(), "");
    EXPECT_FALSE(w->media.isOpen());
}

TEST_F(PlayWindow, OpenBeforeAnyFileWasClickedGivesThePlayerNothing) {
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    EXPECT_EQ(reports, std::vector<std::int32_t>{0});
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_EQ(w->cmdOpen.Caption(), "&Close");
    EXPECT_TRUE(w->Timer1.Enabled());
    EXPECT_EQ(w->Caption(), caption(""));
    w->Timer1_Timer();
    EXPECT_EQ(w->lblElapsedTime.Caption(), "0:00");
    // The flag alone picks the branch: the next press opens again.
    clickFile("cbr.mp3");
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(w->blnFileOpen);
}

TEST_F(PlayWindow, FileThatCannotBePlayedLeavesTheFlagDown) {
    doubleClickAndSettle("text.mp3");
    // The open branch runs twice with the same path, as nothing opened;
    // when the first open is still going, the second put leaves it be.
    EXPECT_FALSE(reports.empty());
    EXPECT_EQ(std::count(reports.begin(), reports.end(), 0), std::ssize(reports));
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_TRUE(w->media.statusText().startsWith("Cannot play text.mp3"));
    EXPECT_EQ(w->Caption(), caption(tree.path("text.mp3")));
    doubleClickAndSettle("cbr.mp3");
    EXPECT_TRUE(w->blnFileOpen);
}

// A name whose bytes are not UTF-8 reads alike in the list, the strip and
// the title; the title is not left to the window system's "caf?.mp3".
TEST_F(PlayWindow, NameThatIsNotUtf8ReadsTheSameEverywhere) {
    QFile source(fixture("cbr.mp3"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const QByteArray raw = QFile::encodeName(tree.root()) + "/caf\xe9.mp3";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    ::close(fd);
    w->File1.Refresh();
    const QString name = files::decodeFileName("caf\xe9.mp3");
    const QString shown = QString::fromUtf8("caf\xef\xbf\xbd" "E9.mp3");
    EXPECT_EQ(fileItem(name)->text(), shown);
    doubleClickAndSettle(name);
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->Caption(), caption(QFile::decodeName(QFile::encodeName(tree.root())) + "/" +
                                    shown));
    EXPECT_TRUE(w->media.statusText().contains(shown)) << w->media.statusText().toStdString();
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    ::unlink(raw.constData()); // QTemporaryDir cannot remove this name
}

// With no file selected the path names the folder; what is said about it
// still names something.
TEST_F(PlayWindow, OpenOfAFolderNamesTheFolder) {
    w->varCurrentFile = tree.root() + "/";
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    settle();
    const QString status = w->media.statusText();
    EXPECT_FALSE(status.contains(" : ")) << status.toStdString();
    EXPECT_TRUE(status.contains(files::shownFileName(tree.root() + "/")))
        << status.toStdString();
    EXPECT_EQ(w->Caption(), caption(tree.root() + "/"));
}

TEST_F(PlayWindow, ElapsedTimeCountsWhileAFileIsOpen) {
    doubleClickAndSettle("cbr.mp3");
    QElapsedTimer clock;
    clock.start();
    while (w->lblElapsedTime.Caption() == "0:00" && clock.elapsed() < 5000)
        QTest::qWait(100);
    // The first tick comes a second after the open; a busy machine may
    // deliver it late enough to round to the next second.
    EXPECT_TRUE(w->lblElapsedTime.Caption() == "0:01" || w->lblElapsedTime.Caption() == "0:02")
        << w->lblElapsedTime.Caption().toStdString();
    EXPECT_GE(clock.elapsed(), 800); // real time, not as fast as it decodes
}

TEST_F(PlayWindow, TickAndNotificationRules) {
    // A tick with the flag down shows 0:00 whatever the player does.
    doubleClickAndSettle("cbr.mp3");
    w->lblElapsedTime.setCaption("9:99");
    w->blnFileOpen = false;
    w->Timer1_Timer();
    EXPECT_EQ(w->lblElapsedTime.Caption(), "0:00");

    // A zero report clears the flag and still refreshes the total time.
    w->lblTotalTime.setCaption("");
    w->blnFileOpen = true;
    w->media_OpenStateNotify(123, 0);
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_EQ(w->lblTotalTime.Caption(), "0:02");
    w->media_OpenStateNotify(0, 7); // any non-zero state is open
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->intSeconds, 2);
    EXPECT_EQ(w->varMinutes.toDouble(), 0.0);
}

TEST_F(PlayWindow, SavingIsRefusedWhileAFileIsOpenAndAllowedAfterClose) {
    const QByteArray before = tree.read("mono8k.mp3");
    doubleClickAndSettle("cbr.mp3");
    clickFile("mono8k.mp3"); // another file than the one playing
    w->txtTitle.setText("New title");
    QTest::mouseClick(w->cmdSaveTag.button(), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot save to an open file");
    EXPECT_EQ(messages[0].title, "Mp3 Tag Save Error");
    EXPECT_EQ(tree.read("mono8k.mp3"), before);

    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // close
    EXPECT_FALSE(w->blnFileOpen);
    QTest::mouseClick(w->cmdSaveTag.button(), Qt::LeftButton);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(tree.read("mono8k.mp3").size(), before.size() + 128);
}

TEST_F(PlayWindow, ClosingTheWindowWhilePlayingStopsCleanly) {
    doubleClickAndSettle("mono8k.mp3");
    ASSERT_TRUE(w->media.isPlaying());
    w.reset();
    SUCCEED();
}

// Opens slower than the player waits: the window's handlers run on, the
// strip says what is going on, and the one report comes from the event loop.
class SlowOpenWindow : public PlayWindow {
protected:
    void SetUp() override {
        PlayWindow::SetUp();
        player::PlayerEngine::delayOpensForTesting(std::chrono::milliseconds(400));
    }
    void TearDown() override {
        player::PlayerEngine::delayOpensForTesting(std::chrono::milliseconds(0));
        PlayWindow::TearDown();
    }
};

TEST_F(SlowOpenWindow, DoubleClickOpensOnceAndSaysItIsOpening) {
    constexpr std::int32_t kOpening = player::MediaPlayer::kOpening;
    QElapsedTimer clock;
    clock.start();
    doubleClickFile("cbr.mp3");
    EXPECT_LT(clock.elapsed(), 350); // the window did not wait for the open
    // The pending open counts as an open file at once, so the double-click
    // does not put the same path a second time.
    EXPECT_EQ(reports, std::vector<std::int32_t>{kOpening});
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->media.statusText(), QStringLiteral("Opening cbr.mp3\u2026"));
    EXPECT_EQ(w->Caption(), caption(tree.path("cbr.mp3")));
    EXPECT_EQ(w->cmdOpen.Caption(), "&Close");

    settle();
    QTest::qWait(200); // a second open would report by now
    EXPECT_EQ(reports, (std::vector<std::int32_t>{kOpening, 1}));
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_TRUE(w->media.isPlaying());
    EXPECT_EQ(w->lblTotalTime.Caption(), "0:02");
}

// The player reads the file while it opens it: nothing may be written to
// it then, and the button's Close must close it, not open it again.
TEST_F(SlowOpenWindow, APendingOpenRefusesASaveAndTheButtonClosesIt) {
    const QByteArray before = tree.read("cbr.mp3");
    doubleClickFile("cbr.mp3");
    ASSERT_TRUE(w->media.isOpening());
    w->txtTitle.setText("New title");
    QTest::mouseClick(w->cmdSaveTag.button(), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot save to an open file");
    EXPECT_EQ(tree.read("cbr.mp3"), before);

    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // close
    EXPECT_EQ(reports, (std::vector<std::int32_t>{player::MediaPlayer::kOpening, 0}));
    expectClosed();
    QTest::qWait(800); // the open would have ended by now
    EXPECT_EQ(reports, (std::vector<std::int32_t>{player::MediaPlayer::kOpening, 0}));
    EXPECT_FALSE(w->media.isOpen());
    EXPECT_EQ(w->media.statusText(), QString());
}

TEST_F(SlowOpenWindow, AnotherFileOrACloseSupersedesAPendingOpen) {
    constexpr std::int32_t kOpening = player::MediaPlayer::kOpening;
    doubleClickFile("cbr.mp3");
    ASSERT_TRUE(w->media.isOpening());
    doubleClickFile("mono8k.mp3"); // closes the pending open, then opens this one
    settle();
    QTest::qWait(600);
    EXPECT_EQ(reports, (std::vector<std::int32_t>{kOpening, 0, kOpening, 1}));
    EXPECT_EQ(w->media.FileName(), tree.path("mono8k.mp3"));
    EXPECT_GT(w->media.Duration(), 2.1); // mono8k.mp3, not cbr.mp3

    // A close put while the next file still opens: its zero comes at once,
    // and the abandoned open never reports.
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // close
    reports.clear();
    clickFile("cbr.mp3");
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // open, pending
    ASSERT_TRUE(w->media.isOpening());
    w->media.setFileName(QString());
    EXPECT_EQ(reports, (std::vector<std::int32_t>{kOpening, 0}));
    EXPECT_FALSE(w->media.isOpening());
    EXPECT_EQ(w->media.FileName(), "");
    QTest::qWait(800);
    EXPECT_EQ(reports, (std::vector<std::int32_t>{kOpening, 0}));
    EXPECT_FALSE(w->media.isOpen());
}

// An open that fails after the window went on leaves the title that one
// failing at once leaves.
TEST_F(SlowOpenWindow, LateFailureLeavesTheTitleOfAQuickOne) {
    doubleClickFile("text.mp3");
    ASSERT_TRUE(w->media.isOpening());
    settle();
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_EQ(w->media.FileName(), "");
    EXPECT_EQ(w->Caption(), caption(tree.path("text.mp3")));
}

} // namespace
