// How long the window's event loop stalls while the player opens and closes
// hard files: a heartbeat timer runs every 5 ms and the longest gap between
// two beats is the stall. Beside it, the same heartbeat with nothing going
// on. Not a test: it prints figures and never fails for being slow. Run it
// through tools/freeze-bench.sh.
//
//   brindlo-freezebench [--dir FOLDER] [--skip-huge] [--only-slow-share]
#include "soundserver.h"
#ifdef BRINDLO_SLOW_DISK
#include "slowdisk.h"
#endif
#include "window/frmbrindlo.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using testing_support::Heartbeat;

constexpr qint64 kTargetMs = 100;

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        runFor(5);
    }
    return true;
}

QByteArray wave(int rate, int channels, double seconds, bool vary) {
    const int n = static_cast<int>(rate * seconds);
    QByteArray data;
    data.reserve(n * channels * 2);
    unsigned noise = 12345;
    for (int i = 0; i < n; ++i) {
        double v = 0.3 * std::sin(2 * M_PI * 440 * i / rate);
        if (vary && (i / (rate / 4)) % 2) { // loud noise every other quarter second
            noise = noise * 1103515245u + 12345u;
            v += 0.4 * (static_cast<int>((noise >> 16) & 0x7fff) / 16384.0 - 1.0);
        }
        const auto s = static_cast<qint16>(std::clamp(v, -1.0, 1.0) * 32000);
        for (int c = 0; c < channels; ++c) {
            data.append(static_cast<char>(s & 0xff));
            data.append(static_cast<char>((s >> 8) & 0xff));
        }
    }
    QByteArray out = "RIFF";
    const auto u32 = [&](quint32 v) {
        for (int k = 0; k < 4; ++k)
            out.append(static_cast<char>((v >> (8 * k)) & 0xff));
    };
    const auto u16 = [&](quint16 v) {
        out.append(static_cast<char>(v & 0xff));
        out.append(static_cast<char>(v >> 8));
    };
    u32(36 + data.size());
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(channels * 2);
    u16(16);
    out += "data";
    u32(data.size());
    return out + data;
}

// Frames without a Xing header, each independent of the last (--nores), so
// that repeating them gives a long valid stream.
QByteArray frames(const QString& dir, const QStringList& lameArgs, int rate, int channels,
                  double seconds, bool vary) {
    const QString in = dir + "/in.wav";
    const QString out = dir + "/out.mp3";
    QFile w(in);
    w.open(QIODevice::WriteOnly);
    w.write(wave(rate, channels, seconds, vary));
    w.close();
    QStringList args = {"--quiet", "--nores", "-t"};
    args += lameArgs;
    args << in << out;
    if (QProcess::execute("lame", args) != 0) return {};
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Writes head, then block repeated until the file holds about bytes.
QString repeatTo(const QString& path, const QByteArray& head, const QByteArray& block,
                 qint64 bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(head);
    QByteArray chunk;
    while (chunk.size() < (16 << 20))
        chunk += block;
    qint64 written = head.size();
    while (written + chunk.size() <= bytes)
        written += f.write(chunk);
    while (written + block.size() <= bytes)
        written += f.write(block);
    return path;
}

// A Xing header frame for a stream of MPEG-1 layer III frames like first.
QByteArray xingFrame(const QByteArray& first, quint32 frameCount, quint32 byteCount) {
    QByteArray frame(417, '\0');
    frame[0] = first[0];
    frame[1] = first[1];
    frame[2] = static_cast<char>(first[2] & ~0x02); // no padding: 417 bytes at 128k
    frame[3] = first[3];
    const int at = 4 + ((static_cast<unsigned char>(first[3]) >> 6) == 3 ? 17 : 32);
    std::memcpy(frame.data() + at, "Xing", 4);
    const auto put = [&](int pos, quint32 v) {
        for (int k = 0; k < 4; ++k)
            frame[pos + k] = static_cast<char>((v >> (24 - 8 * k)) & 0xff);
    };
    put(at + 4, 0x3); // frames and bytes
    put(at + 8, frameCount);
    put(at + 12, byteCount);
    return frame;
}

struct Result {
    QString what;
    qint64 stallMs = 0;
    qint64 doneMs = 0;
    QString status;
};

std::vector<Result> results;

void report(const Result& r) {
    results.push_back(r);
    std::printf("%-44s stall %5lld ms   done after %7lld ms   %s\n", qPrintable(r.what),
                static_cast<long long>(r.stallMs), static_cast<long long>(r.doneMs),
                qPrintable(r.status));
    std::fflush(stdout);
}

// Opens path by a double-click on the window, waits for the open to end,
// then closes it with the button; the stall of each is measured apart.
void openAndClose(frmBrindlo& w, const QString& what, const QString& path) {
    Heartbeat beat;
    QElapsedTimer clock;
    beat.start();
    runFor(50);
    clock.start();
    w.varCurrentFile = path;
    w.File1_DblClick();
    waitUntil([&] { return !w.media.isOpening(); }, 600000);
    const qint64 done = clock.elapsed();
    runFor(300);
    report({what + ": open", beat.longestStallMs(), done, w.media.statusText()});

    beat.start();
    runFor(50);
    clock.start();
    if (w.blnFileOpen) w.cmdOpen_Click();
    const qint64 closed = clock.elapsed();
    runFor(300);
    report({what + ": close", beat.longestStallMs(), closed, w.media.statusText()});
}

QWidget* stripControl(frmBrindlo& w, const QString& name) {
    for (QWidget* child : w.media.findChildren<QWidget*>())
        if (child->accessibleName() == name) return child;
    return nullptr;
}

// Plays song into the server, stops the server and does one thing on the
// strip. The stall covers the action and what follows until the player is
// given up (2 s on) and a little more.
void transportCase(frmBrindlo& w, testing_support::SoundServer& server, const QString& what,
                   const QString& song, const std::function<void()>& act) {
    server.resume();
    runFor(300);
    if (w.blnFileOpen) w.cmdOpen_Click();
    w.varCurrentFile = song;
    w.File1_DblClick();
    waitUntil([&] { return w.media.isPlaying(); }, 30000);
    runFor(500);
    server.hang();
    Heartbeat beat;
    QElapsedTimer clock;
    beat.start();
    runFor(50);
    clock.start();
    act();
    const qint64 done = clock.elapsed();
    runFor(2700);
    report({"hung sound server: " + what, beat.longestStallMs(), done, w.media.statusText()});
}

// The transport bar while the sound server hangs: each case must leave the
// window free, however long the server stays away.
void hungTransportCases(frmBrindlo& w, testing_support::SoundServer& server, const QString& song) {
    const auto click = [&](const char* name) {
        if (auto* button = qobject_cast<QToolButton*>(stripControl(w, name)))
            QTest::mouseClick(button, Qt::LeftButton);
    };
    transportCase(w, server, "pause", song, [&] { click("Pause"); });
    transportCase(w, server, "stop", song, [&] { click("Stop"); });
    transportCase(w, server, "seek", song, [&] {
        if (QWidget* bar = stripControl(w, "Position"))
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
    });
    transportCase(w, server, "2 s drag of the position bar", song, [&] {
        QWidget* bar = stripControl(w, "Position");
        if (!bar) return;
        const int y = bar->height() / 2;
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, y));
        QElapsedTimer drag;
        drag.start();
        while (drag.elapsed() < 2000) {
            const int x = 2 + static_cast<int>((bar->width() - 4) * drag.elapsed() / 2000);
            QTest::mouseMove(bar, QPoint(x, y));
            runFor(16); // a mouse reports about 60 moves a second
        }
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() - 2, y));
    });
    transportCase(w, server, "volume", song, [&] {
        if (auto* volume = qobject_cast<QSlider*>(stripControl(w, "Volume")))
            volume->setValue(volume->value() / 2);
    });
}

// --- A slow share ------------------------------------------------------------

// A share that waits 1.5 s in every listing, open, read, write and flush
// (a file system in user space of the tests'): the window opens a folder
// there, reads a tag and saves one, and must stay alive throughout.
void slowDiskCases(frmBrindlo& w) {
#ifdef BRINDLO_SLOW_DISK
    testing_support::SlowDisk disk;
    if (!disk.unavailable().isEmpty()) {
        std::printf("slow share: %s, not measured\n", qPrintable(disk.unavailable()));
        return;
    }
    QDir().mkpath(disk.source("Music"));
    for (int i = 0; i < 20; ++i) {
        QFile f(disk.source(QStringLiteral("Music/track %1.mp3").arg(i, 2, 10, QChar(u'0'))));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(8000, '\x55') + "TAG" + QByteArray(125, ' '));
    }
    disk.set("list 1500\nopen 1500\nread 1500\nwrite 1500\nflush 1500");
    Heartbeat beat;
    QElapsedTimer clock;
    const auto measure = [&](const QString& what, const std::function<QString()> step) {
        beat.start();
        runFor(50);
        clock.start();
        const QString outcome = step();
        const qint64 done = clock.elapsed();
        runFor(100);
        report({what, beat.longestStallMs(), done, outcome});
    };
    measure("slow share (1.5 s a call): open a folder", [&] {
        w.Dir1.setPath(disk.mounted("Music"));
        return QStringLiteral("%1 files listed").arg(w.File1.ListCount());
    });
    measure("slow share (1.5 s a call): read a tag", [&] {
        w.File1.setFileName(w.File1.List(3));
        w.File1_Click();
        return QStringLiteral("tag read: %1").arg(w.txtGenreCode.Text() == "32" ? "yes" : "NO");
    });
    measure("slow share (1.5 s a call): save a tag", [&] {
        w.txtTitle.setText(QStringLiteral("Saved on the share"));
        w.cmdSaveTag_Click();
        QFile f(disk.source("Music/track 03.mp3"));
        f.open(QIODevice::ReadOnly);
        return QStringLiteral("saved: %1").arg(f.readAll().mid(8003, 18) == "Saved on the share"
                                                   ? "yes" : "NO");
    });
    disk.set({});
#else
    (void)w;
    std::printf("slow share: built without the tests' file system, not measured\n");
#endif
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString base;
    bool skipHuge = false;
    bool onlySlowShare = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) base = argv[++i];
        if (!std::strcmp(argv[i], "--skip-huge")) skipHuge = true;
        if (!std::strcmp(argv[i], "--only-slow-share")) onlySlowShare = true;
    }
    QTemporaryDir temp(base.isEmpty() ? QDir::tempPath() + "/freezebench-XXXXXX"
                                      : base + "/freezebench-XXXXXX");
    if (!temp.isValid()) return 2;
    const QString dir = temp.path();

    {
        Heartbeat beat;
        beat.start();
        runFor(3000);
        report({"nothing happening (3 s)", beat.longestStallMs(), 0, {}});
    }

    frmBrindlo w(player::MediaPlayer::AudioOutput::Silent);
    w.show();
    if (onlySlowShare) {
        slowDiskCases(w);
        return 0;
    }
    // The first open starts GStreamer; let that not count for any case.
    const QByteArray cbr = frames(dir, {"-b", "128"}, 44100, 2, 4.0, false);
    const QByteArray vbr = frames(dir, {"-V", "2"}, 44100, 2, 4.0, true);
    if (cbr.isEmpty() || vbr.isEmpty()) {
        std::fprintf(stderr, "lame did not encode\n");
        return 2;
    }
    const QString warm = repeatTo(dir + "/warm.mp3", {}, cbr, cbr.size());
    openAndClose(w, "warm-up, 4 s file", warm);

    const qint64 tenHoursCbr = static_cast<qint64>(36000.0 / 4.0 * cbr.size());
    QElapsedTimer made;
    made.start();
    QString file = repeatTo(dir + "/cbr10h.mp3", {}, cbr, tenHoursCbr);
    std::printf("(made %s, %lld MB, in %lld ms)\n", qPrintable(QFileInfo(file).fileName()),
                QFileInfo(file).size() >> 20, static_cast<long long>(made.elapsed()));
    openAndClose(w, "10 h CBR, no Xing header", file);

    {
        // The same frames behind a Xing header that counts them.
        const qint64 size = QFileInfo(file).size();
        const auto count = static_cast<quint32>(size / 417.96); // 128 kbit/s at 44.1 kHz
        const QByteArray head = xingFrame(cbr.left(4), count, static_cast<quint32>(size + 417));
        const QString xing = repeatTo(dir + "/xing10h.mp3", head, cbr, tenHoursCbr + head.size());
        QFile::remove(file);
        openAndClose(w, "10 h CBR with a Xing header", xing);
        QFile::remove(xing);
    }

    file = repeatTo(dir + "/vbr10h.mp3", {}, vbr, static_cast<qint64>(36000.0 / 4.0 * vbr.size()));
    openAndClose(w, "10 h VBR, no Xing header", file);
    QFile::remove(file);

    {
        QByteArray chain;
        const QByteArray frame =
            QByteArray("TIT2") + QByteArray("\0\0\0\x03", 4) + QByteArray("\0\0\x03", 3) + "ab";
        QByteArray size(4, '\0');
        size[3] = static_cast<char>(frame.size());
        for (int i = 0; i < 2000; ++i)
            chain += QByteArray("ID3\x04\0\0", 6) + size + frame;
        file = repeatTo(dir + "/chain.mp3", chain, cbr, chain.size() + cbr.size());
        openAndClose(w, "2,000 chained ID3v2 tags, then 4 s", file);
        QFile::remove(file);
    }

    if (!skipHuge) {
        const QByteArray tiny =
            frames(dir, {"-b", "8", "-m", "m", "--resample", "8"}, 8000, 1, 4.0, false);
        made.restart();
        file = repeatTo(dir + "/huge.mp3", {}, tiny, 2300LL * 1000 * 1000);
        std::printf("(made %s, %lld MB, in %lld ms)\n", qPrintable(QFileInfo(file).fileName()),
                    QFileInfo(file).size() >> 20, static_cast<long long>(made.elapsed()));
        openAndClose(w, "2.3 GB of 8 kbit/s frames (26 days)", file);
        QFile::remove(file);
    }

    {
        // A sound server of our own that hangs while a file plays into it.
        testing_support::SoundServer server;
        if (!server.ready()) {
            std::printf("hung sound server: PulseAudio did not start, not measured\n");
        } else {
            frmBrindlo real; // the system's sound output
            real.show();
            const QString song = repeatTo(dir + "/song.mp3", {}, cbr, 30 * cbr.size());
            const QString other = repeatTo(dir + "/other.mp3", {}, cbr, 30 * cbr.size());
            real.varCurrentFile = song;
            real.File1_DblClick();
            waitUntil([&] { return !real.media.isOpening(); }, 30000);
            runFor(500);
            server.hang();
            // A double-click on another file: closes the one playing into
            // the hung server, then opens this one.
            openAndClose(real, "hung sound server, switch and close", other);
            hungTransportCases(real, server, song);
            server.resume();
        }
    }

    slowDiskCases(w);

    qint64 worst = 0;
    for (const Result& r : results)
        if (r.what != "nothing happening (3 s)") worst = std::max(worst, r.stallMs);
    std::printf(
        "longest stall while opening, closing or using the strip: %lld ms (target %lld ms): "
        "%s\n",
        static_cast<long long>(worst), static_cast<long long>(kTargetMs),
        worst <= kTargetMs ? "met" : "NOT met");
    return 0;
}
