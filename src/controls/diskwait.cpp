#include "controls/diskwait.h"

#include "controls/eventrule.h"
#include "files/diskcall.h"
#include "files/filename.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <vector>

namespace controls {
namespace {

// Shorter waits pass without a word: a busy cursor that flickers on every
// click on a network share would only alarm.
constexpr int kShowWaitMs = 300;
constexpr int kUnseenWaitMs = 1000;

struct ActiveWait {
    bool mayGiveUp = true;
    bool gaveUp = false;
    QEventLoop* loop = nullptr;
};

std::vector<ActiveWait*>& activeWaits() {
    static std::vector<ActiveWait*> waits;
    return waits;
}

void giveUpInnermost() {
    if (activeWaits().empty()) return;
    ActiveWait* wait = activeWaits().back();
    if (!wait->mayGiveUp) return;
    wait->gaveUp = true;
    wait->loop->quit();
}

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

bool isTopLevel(const QObject* receiver) {
    if (receiver->isWindowType()) return true;
    return receiver->isWidgetType() && static_cast<const QWidget*>(receiver)->isWindow();
}

// Holds the user's input, and the window manager's close, while the gate of
// the event rule is shut, and hands it on in order once it opens.
class InputHold final : public QObject {
protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        const bool close = event->type() == QEvent::Close && isTopLevel(receiver);
        if (!(close || isInput(event->type())) || !holdingInput()) return false;
        if (event->type() == QEvent::KeyPress && !activeWaits().empty() &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            giveUpInnermost();
            return true;
        }
        // Closing gives up a listing or a read, then closes once the
        // handler is done; during a save it waits for the save.
        if (close) {
            giveUpInnermost();
            // Refused for now; closed for real once the handler is done.
            event->ignore();
            if (receiver->isWidgetType()) {
                QPointer<QWidget> window(static_cast<QWidget*>(receiver));
                holdInput([window] {
                    if (window) window->close();
                });
                return true;
            }
        } else {
            // Accepted, so Qt offers it to no parent as well.
            event->accept();
        }
        std::shared_ptr<QEvent> copy(event->clone());
        QPointer<QObject> target(receiver);
        holdInput([target, copy] {
            if (target) QCoreApplication::sendEvent(target, copy.get());
        });
        return true;
    }
};

// The default notice: a line along the bottom of the window that is waited
// in, over the player strip's own status line, named for screen readers.
class NoticeLine {
public:
    void show(const QString& text) {
        QWidget* window = QApplication::activeWindow();
        if (!window) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && !top->inherits("QMenu")) window = top;
        }
        if (!window) return;
        if (!label_ || label_->window() != window) {
            delete label_;
            label_ = new QLabel(window);
            label_->setTextFormat(Qt::PlainText);
            label_->setAutoFillBackground(true);
            label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        label_->setText(text);
        label_->setAccessibleName(text);
        const int height = label_->sizeHint().height();
        label_->setGeometry(4, window->height() - height - 2, window->width() - 8, height);
        label_->show();
        label_->raise();
        QAccessibleEvent changed(label_, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
    void hide() {
        if (label_) label_->hide();
    }

private:
    QPointer<QLabel> label_;
};

void noticeLine(const QString& text) {
    static NoticeLine line;
    if (text.isEmpty())
        line.hide();
    else
        line.show(text);
}

WaitNotice& notice() {
    static WaitNotice instance = noticeLine;
    return instance;
}

// Shows the busy cursor and the notice from the moment they are due until
// the outermost wait ends.
class Showing {
public:
    void begin(const QString& place) {
        if (count_++ == 0) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        notice()(waitingText(place));
    }
    void end() {
        if (count_ == 0) return;
        if (--count_ == 0) {
            QGuiApplication::restoreOverrideCursor();
            notice()(QString());
        }
    }

private:
    int count_ = 0;
};

Showing& showing() {
    static Showing instance;
    return instance;
}

bool anyWindowShown() {
    const QWidgetList tops = QApplication::topLevelWidgets();
    const auto shown = [](const QWidget* w) { return w->isVisible(); };
    return std::any_of(tops.cbegin(), tops.cend(), shown);
}

bool waitForDisk(const std::shared_ptr<files::DiskCall>& call, const files::DiskWait& what) {
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        call->wait();
        return true;
    }
    WaitScope gate;
    QEventLoop loop;
    ActiveWait wait{what.mayGiveUp, false, &loop};
    activeWaits().push_back(&wait);

    bool shown = false;
    QTimer due;
    due.setSingleShot(true);
    QObject::connect(&due, &QTimer::timeout, [&] {
        shown = true;
        showing().begin(what.place);
    });
    due.start(kShowWaitMs);

    // Before the window shows, nobody can press Escape: at start-up a drive
    // that does not answer within a second is taken as not ready.
    QTimer unseen;
    unseen.setSingleShot(true);
    QObject::connect(&unseen, &QTimer::timeout, [&] {
        if (wait.mayGiveUp && !anyWindowShown()) {
            wait.gaveUp = true;
            loop.quit();
        }
    });
    if (!anyWindowShown()) unseen.start(kUnseenWaitMs);

    call->whenFinished(
        [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
    if (!call->finished()) loop.exec();
    call->forget();

    activeWaits().pop_back();
    if (shown) showing().end();
    // A call that ended as it was given up still counts.
    return !wait.gaveUp || call->finished();
}

} // namespace

void installDiskWait() {
    static bool installed = false;
    if (installed || !qApp) return;
    installed = true;
    qApp->installEventFilter(new InputHold);
    files::setDiskWaiter(waitForDisk);
}

void setWaitNotice(WaitNotice n) {
    notice() = n ? std::move(n) : noticeLine;
}

QString waitingText(const QString& place) {
    // The whole path, since which share it is matters; each part worded as
    // the lists word a name.
    return QStringLiteral("Waiting for the disk: %1 \u2026").arg(files::displayFileName(place));
}

} // namespace controls
