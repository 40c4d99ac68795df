#include "window/desktop.h"

#include "files/filename.h"
#include "player/mprisservice.h"
#include "window/frmbrindlo.h"
#include "window/pathdrop.h"

#include <QDBusConnection>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <thread>

namespace window {
namespace {

// Connecting to the bus costs round trips the first paint need not wait
// for: the player joins it once the window is on the screen.
class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(QWidget& window, std::function<void()> then)
        : QObject(&window), window_(window), then_(std::move(then)) {
        window.installEventFilter(this);
        // A window started minimised may not paint for a long time.
        QTimer::singleShot(kLatestMs, this, [this] { run(); });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            window_.removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    static constexpr int kLatestMs = 2000;

    void run() {
        if (done_) return;
        done_ = true;
        window_.removeEventFilter(this);
        then_();
        deleteLater();
    }

    QWidget& window_;
    std::function<void()> then_;
    bool done_ = false;
};

} // namespace

player::MprisService* joinSessionBus(frmBrindlo& window) {
    player::MprisService::Window hooks;
    hooks.raise = [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    };
    hooks.openUri = [&window](const QString& uri) { window.OpenPath(uri); };
    // The boxes show the file last clicked; the player's file is that one
    // unless another was clicked since it was opened.
    hooks.trackText = [&window](const QString& path) {
        if (path != window.varCurrentFile.toString()) return player::TrackText{};
        return player::TrackText{window.txtTitle.Text(), window.txtArtist.Text(),
                                 window.txtAlbum.Text()};
    };
    auto* service = new player::MprisService(window.media, std::move(hooks), &window.media);
    if (!service->registerOn(QDBusConnection::sessionBus())) {
        delete service;
        return nullptr;
    }
    return service;
}

void startConnectingToSessionBus() {
    // Not joined: a bus that never answers must not hold up the exit; the
    // connection's own lock makes every later user wait for it.
    std::thread([] { QDBusConnection::sessionBus(); }).detach();
}

void startOnDesktop(frmBrindlo& window, const StartRequest& request) {
    acceptPathDrops(window);
    new AfterFirstPaint(window, [&window] { joinSessionBus(window); });
    if (request.path.isEmpty()) return;
    const QString reason = window.OpenPath(request.path);
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "brindlo: %s: %s\n", files::encodeFileName(request.path).constData(),
                     reason.toUtf8().constData());
    }
}

} // namespace window
