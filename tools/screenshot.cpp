// Takes a picture of the window as a user sees it, for the README and for
// reviewing layout changes: screenshot OUT.png [FOLDER [FILE]] [--compact] [--play]
#include "window/frmbrindlo.h"

#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool compact = args.removeAll(QStringLiteral("--compact")) > 0;
    const bool play = args.removeAll(QStringLiteral("--play")) > 0;
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: screenshot OUT.png [FOLDER [FILE]] [--compact] [--play]\n");
        return 2;
    }
    frmBrindlo window(player::MediaPlayer::AudioOutput::Silent);
    window.show();
    if (args.size() > 1)
        window.Dir1.setPath(args[1]);
    if (args.size() > 2) {
        const auto found = window.File1.listWidget()->findItems(args[2], Qt::MatchExactly);
        if (!found.isEmpty())
            found.first()->setSelected(true); // as a click would
    }
    if (compact)
        window.cmdResize_Click();
    if (play)
        window.File1_DblClick();
    QTimer::singleShot(play ? 2600 : 300, [&] {
        const bool ok = window.grab().save(args[0]);
        app.exit(ok ? 0 : 1);
    });
    return app.exec();
}
