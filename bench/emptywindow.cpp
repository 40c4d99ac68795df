// The start-up baselines: an empty Qt Widgets window of the same size, shown
// the same way; with --label it shows one line of text, so that font
// start-up is paid on both sides. Prints the time of its first flushed paint
// and its memory, then quits, unless --stay keeps it open (the peer table
// watches it from outside like any other program).
#include "probe.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool stay = args.contains(QStringLiteral("--stay"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.setFixedSize(731, 255);
    if (args.contains(QStringLiteral("--label")))
        (new QLabel(QStringLiteral("Title"), &window))->move(8, 8);
    new bench::FirstPaint(&window, [&] {
        std::printf("paint_ns %lld\nrss_kb %ld\n", bench::monotonicNs(), bench::residentKb());
        std::fflush(stdout);
        if (!stay) app.quit();
    });
    window.show();
    return app.exec();
}
