// The window's thread waiting for a disk call: alive, but running no other
// handler and taking no input until the call is done.
#include "controls/button.h"
#include "controls/diskwait.h"
#include "controls/textbox.h"
#include "controls/timer.h"
#include "files/diskcall.h"
#include "slowdisk.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

using testing_support::ensureApplication;
using testing_support::LoopHeartbeat;

namespace {

// A disk call that takes `ms`, or until released when `ms` is negative.
struct SlowCall {
    std::atomic<bool> released{false};
    std::optional<int> run(int ms, bool mayGiveUp) {
        return files::onWorker<int>({QStringLiteral("/mnt/share/Music"), mayGiveUp}, [this, ms] {
            QElapsedTimer t;
            t.start();
            while (ms < 0 ? !released.load() : t.elapsed() < ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return 7;
        });
    }
};

void after(int ms, std::function<void()> action) {
    QTimer::singleShot(ms, qApp, std::move(action));
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

class DiskWait : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        form = std::make_unique<QWidget>();
        box = std::make_unique<controls::TextBox>(form.get());
        button = std::make_unique<controls::Button>(form.get());
        button->move(0, 600, 1200, 400);
        form->resize(300, 200);
        form->show();
        QApplication::setActiveWindow(form.get());
        box->lineEdit()->setFocus();
    }
    std::unique_ptr<QWidget> form;
    std::unique_ptr<controls::TextBox> box;
    std::unique_ptr<controls::Button> button;
    QStringList log;
};

TEST_F(DiskWait, WindowStaysAliveAndRunsNothingInTheMiddleOfAHandler) {
    SlowCall call;
    controls::Timer timer;
    timer.setInterval(20);
    timer.Tick.connect([&] { log << "tick"; });
    box->Change.connect([&] { log << "typed " + box->Text(); });
    button->Click.connect([&] {
        log << "handler begins";
        timer.setEnabled(true);
        after(100, [&] { QTest::keyClicks(box->lineEdit(), "ab"); });
        const std::optional<int> got = call.run(400, true);
        log << (got ? "handler ends with " + QString::number(*got) : "given up");
    });
    LoopHeartbeat beat;
    beat.start();
    QTest::mouseClick(button->button(), Qt::LeftButton);
    EXPECT_LE(beat.longestStallMs(), 100);
    timer.setEnabled(false);
    spin(100);
    // Ticks missed while waiting come as one; the keys typed meanwhile reach
    // the box afterwards, in order, each raising its change.
    ASSERT_GE(log.size(), 5) << log.join(", ").toStdString();
    EXPECT_EQ(log.mid(0, 2), QStringList({"handler begins", "handler ends with 7"}));
    EXPECT_EQ(log.count("tick"), 1) << log.join(", ").toStdString();
    EXPECT_TRUE(log.contains("typed a") && log.contains("typed ab"));
    EXPECT_LT(log.indexOf("typed a"), log.indexOf("typed ab"));
    EXPECT_EQ(box->Text(), "ab");
}

TEST_F(DiskWait, BusyCursorAndNoticeOnlyOnceTheWaitIsLong) {
    QStringList notices;
    controls::setWaitNotice([&](const QString& text) { notices << text; });
    SlowCall call;
    bool busyEarly = true, busyLate = false;
    after(150, [&] { busyEarly = QGuiApplication::overrideCursor() != nullptr; });
    after(450, [&] { busyLate = QGuiApplication::overrideCursor() != nullptr; });
    EXPECT_EQ(call.run(600, true), 7);
    EXPECT_FALSE(busyEarly);
    EXPECT_TRUE(busyLate);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(notices, QStringList({controls::waitingText("/mnt/share/Music"), QString()}));
    EXPECT_TRUE(notices.value(0).contains("/mnt/share/Music"));

    // A call of a moment shows nothing at all.
    notices.clear();
    EXPECT_EQ(call.run(5, true), 7);
    EXPECT_TRUE(notices.isEmpty());
    controls::setWaitNotice({});
}

TEST_F(DiskWait, EscapeGivesUpAListingOrReadButNeverASave) {
    SlowCall stuck;
    QElapsedTimer sinceEscape;
    after(300, [&] {
        sinceEscape.start();
        QTest::keyClick(box->lineEdit(), Qt::Key_Escape);
    });
    EXPECT_EQ(stuck.run(-1, true), std::nullopt);
    EXPECT_LT(sinceEscape.elapsed(), 200);

    // The stuck call stays on its thread; the next call is not held up by it.
    SlowCall other;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(other.run(30, true), 7);
    EXPECT_LT(t.elapsed(), 300);

    SlowCall save;
    after(100, [&] { QTest::keyClick(box->lineEdit(), Qt::Key_Escape); });
    after(400, [&] { save.released = true; });
    EXPECT_EQ(save.run(-1, false), 7);
    stuck.released = true;
    spin(50);
    EXPECT_EQ(box->Text(), ""); // Escape is the wait's, not the box's
}

TEST_F(DiskWait, BeforeAnyWindowShowsADriveThatDoesNotAnswerIsNotReady) {
    form->hide();
    SlowCall dead;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dead.run(-1, true), std::nullopt);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 2000);
    dead.released = true;
    spin(20);
}

TEST_F(DiskWait, ClosingTheWindowGivesUpAListingThenCloses) {
    SlowCall stuck;
    bool shownDuringWait = false;
    after(200, [&] {
        form->close();
        shownDuringWait = form->isVisible();
    });
    EXPECT_EQ(stuck.run(-1, true), std::nullopt);
    EXPECT_TRUE(shownDuringWait);
    spin(50);
    EXPECT_FALSE(form->isVisible());
    stuck.released = true;
    spin(20);
}
