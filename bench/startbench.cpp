// Starts the window exactly as main.cpp does and prints the time of its first
// flushed paint, its memory then and whether GStreamer was started by then.
// With --play FILE SECONDS it then plays FILE on the silent sink and prints
// CPU, memory and wake-ups over each sixth of SECONDS; --play-server does
// the same into the system's sound output (the benchmark's own server).
#include "controls/designfont.h"
#include "probe.h"
#include "window/frmbrindlo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QListWidget>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Whether GStreamer's library is in the process yet: it comes with the
// player's module at the first open.
bool gstreamerLoaded() {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("libgstreamer-1.0") != std::string::npos) return true;
    return false;
}

constexpr int kWarmUpMs = 2000; // past the open and the first buffers
constexpr int kWindows = 6;

// Double-clicks the file as a user would, then samples each window.
void playAndSample(frmBrindlo& window, const QString& file, double seconds) {
    const QFileInfo info(file);
    window.Dir1.setPath(info.absolutePath());
    const auto found = window.File1.listWidget()->findItems(info.fileName(), Qt::MatchExactly);
    if (found.isEmpty()) {
        std::printf("error file not listed\n");
        QApplication::exit(1);
        return;
    }
    found.first()->setSelected(true);
    window.File1_DblClick();
    // The first open starts GStreamer, which may take longer than the
    // window waits for an open; it then ends from the event loop.
    QElapsedTimer opening;
    opening.start();
    while (window.media.isOpening() && opening.elapsed() < 30000) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!window.media.isPlaying()) {
        std::printf("error not playing: %s\n", qPrintable(window.media.statusText()));
        QApplication::exit(1);
        return;
    }
    const int windowMs = static_cast<int>(seconds * 1000 / kWindows);
    auto* timer = new QTimer(&window);
    auto left = std::make_shared<int>(kWindows);
    auto wall = std::make_shared<long long>(0);
    auto cpu = std::make_shared<long long>(0);
    auto switches = std::make_shared<long long>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        const long long nowWall = bench::monotonicNs();
        const long long nowCpu = bench::cpuNs();
        const long long nowSwitches = bench::contextSwitches();
        if (*wall != 0) {
            std::printf("window cpu_percent %.3f rss_kb %ld wakeups_per_s %.1f\n",
                        100.0 * double(nowCpu - *cpu) / double(nowWall - *wall),
                        bench::residentKb(),
                        1e9 * double(nowSwitches - *switches) / double(nowWall - *wall));
            std::fflush(stdout);
            if (--*left == 0) {
                QApplication::quit();
                return;
            }
        }
        *wall = nowWall;
        *cpu = nowCpu;
        *switches = nowSwitches;
        timer->start(windowMs);
    });
    timer->start(kWarmUpMs);
}

} // namespace

int main(int argc, char* argv[]) {
    controls::startLoadingFonts(); // as main.cpp does
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool toServer = args.size() == 4 && args[1] == QLatin1String("--play-server");
    const bool play = toServer || (args.size() == 4 && args[1] == QLatin1String("--play"));
    frmBrindlo window(play && !toServer ? player::MediaPlayer::AudioOutput::Silent
                                        : player::MediaPlayer::AudioOutput::System);
    new bench::FirstPaint(&window, [&] {
        std::printf("paint_ns %lld\nrss_kb %ld\ngst_started %d\n", bench::monotonicNs(),
                    bench::residentKb(), gstreamerLoaded() ? 1 : 0);
        std::fflush(stdout);
        if (play)
            playAndSample(window, args[2], args[3].toDouble());
        else
            app.quit();
    });
    window.show();
    return app.exec();
}
