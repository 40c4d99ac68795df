#include "window/desktop.h"

#include "files/filename.h"
#include "player/mprisservice.h"
#include "window/frmbrindlo.h"
#include "window/pathdrop.h"

#include <cstdio>

namespace window {

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

void startOnDesktop(frmBrindlo& window, const StartRequest& request) {
    acceptPathDrops(window);
    joinSessionBus(window);
    if (request.path.isEmpty()) return;
    const QString reason = window.OpenPath(request.path);
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "brindlo: %s: %s\n", files::encodeFileName(request.path).constData(),
                     reason.toUtf8().constData());
    }
}

} // namespace window
