// The start-up baseline: an empty Qt Widgets window of the same size, shown
// the same way. Prints the time of its first flushed paint and its memory.
#include "probe.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.setFixedSize(731, 255);
    new bench::FirstPaint(&window, [&] {
        std::printf("paint_ns %lld\nrss_kb %ld\n", bench::monotonicNs(), bench::residentKb());
        std::fflush(stdout);
        app.quit();
    });
    window.show();
    return app.exec();
}
