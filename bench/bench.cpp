// Brindlo's benchmark: the figures a user feels, each beside a baseline
// measured in the same run on the same machine. Prints medians and ratios;
// it never fails for being slow. Run it through tools/bench.sh.
//
//   brindlo-bench [--quick] [--runs N]
//   brindlo-bench --gst-baseline FILE SECONDS   (spawned by the benchmark)
#include "probe.h"
#include "window/frmbrindlo.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gst/gst.h>
#include <map>
#include <numbers>
#include <optional>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kBigCount = 10000; // MP3 files, and as many others
constexpr int kWindows = 6;      // the play time is sampled in this many parts

double median(std::vector<double> values) {
    if (values.empty()) return std::nan("");
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// --- child processes -----------------------------------------------------

struct ChildRun {
    long long spawnedNs = 0; // just before the exec
    std::multimap<QByteArray, QByteArray> values;
    bool ok = false;
};

// Runs a program with its output on a pipe and collects "key value" lines.
ChildRun runChild(const QString& program, const QStringList& args) {
    ChildRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> words{program.toStdString()};
    for (const QString& a : args)
        words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    run.spawnedNs = bench::monotonicNs();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fds[0]);
    if (spawned != 0) return run;
    int status = 0;
    waitpid(pid, &status, 0);
    for (const QByteArray& line : out.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0) run.values.emplace(line.left(space), line.mid(space + 1));
    }
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double firstValue(const ChildRun& run, const char* key) {
    const auto it = run.values.find(key);
    return it == run.values.end() ? std::nan("") : it->second.toDouble();
}

// "window cpu_percent X rss_kb Y" lines of a playing child.
struct PlaySamples {
    std::vector<double> cpuPercent;
    std::vector<double> rssMb;
    QByteArray error;
};

PlaySamples playSamples(const ChildRun& run) {
    PlaySamples samples;
    const auto [from, to] = run.values.equal_range("window");
    for (auto it = from; it != to; ++it) {
        const QList<QByteArray> f = it->second.split(' ');
        if (f.size() >= 4) {
            samples.cpuPercent.push_back(f[1].toDouble());
            samples.rssMb.push_back(f[3].toDouble() / 1024.0);
        }
    }
    if (const auto e = run.values.find("error"); e != run.values.end()) samples.error = e->second;
    return samples;
}

// The bare pipeline that the player is compared with: the same file into
// the same real-time silent sink, nothing else.
int gstBaseline(const char* file, double seconds) {
    gst_init(nullptr, nullptr);
    gchar* uri = gst_filename_to_uri(file, nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!uri || !playbin || !sink) {
        std::printf("error pipeline\n");
        return 1;
    }
    g_object_set(sink, "sync", TRUE, nullptr);
    g_object_set(playbin, "uri", uri, "audio-sink", sink, nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(playbin);
    const auto waitMs = [bus](long long ms) {
        GstMessage* m =
            gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(ms) * GST_MSECOND,
                                       GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (m) gst_message_unref(m);
        return m == nullptr;
    };
    waitMs(2000); // as the window child warms up
    const long long windowMs = std::llround(seconds * 1000 / kWindows);
    for (int i = 0; i < kWindows; ++i) {
        const long long wall = bench::monotonicNs();
        const long long cpu = bench::cpuNs();
        if (!waitMs(windowMs)) {
            std::printf("error ended early\n");
            break;
        }
        std::printf("window cpu_percent %.3f rss_kb %ld\n",
                    100.0 * double(bench::cpuNs() - cpu) / double(bench::monotonicNs() - wall),
                    bench::residentKb());
        std::fflush(stdout);
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(playbin);
    return 0;
}

// --- test data -----------------------------------------------------------

QByteArray tagRecord(const QByteArray& title) {
    QByteArray r("TAG");
    const auto field = [&r](QByteArray text, int width) {
        text.truncate(width);
        r += text + QByteArray(width - text.size(), ' ');
    };
    field(title, 30);
    field("Bench Artist", 30);
    field("Bench Album", 30);
    field("2024", 4);
    field("made by the benchmark", 30);
    r += char(17); // Rock
    return r;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool makeEmptyFiles(const QString& folder, const char* format, int count) {
    for (int i = 0; i < count; ++i) {
        const QByteArray path = (folder + u'/' + QString::asprintf(format, i)).toLocal8Bit();
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::close(fd);
    }
    return true;
}

// A quiet stereo tone as a 16-bit WAV, for lame to encode.
QByteArray toneWav(double seconds) {
    constexpr int rate = 44100;
    const int frames = static_cast<int>(rate * seconds);
    QByteArray data;
    data.reserve(frames * 4);
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<qint16>(3000 * std::sin(2 * std::numbers::pi * 440.0 * i / rate));
        for (int c = 0; c < 2; ++c)
            data.append(reinterpret_cast<const char*>(&v), 2);
    }
    const auto u32 = [](quint32 x) { return QByteArray(reinterpret_cast<const char*>(&x), 4); };
    const auto u16 = [](quint16 x) { return QByteArray(reinterpret_cast<const char*>(&x), 2); };
    return "RIFF" + u32(36 + data.size()) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(rate) +
           u32(rate * 4) + u16(4) + u16(16) + "data" + u32(data.size()) + data;
}

// --- the table -----------------------------------------------------------

struct Row {
    QString figure;
    double value = std::nan("");
    double baseline = std::nan("");
    QString unit;
    QString target;
    std::optional<bool> met; // empty when it could not be measured
    bool shownOnly = false;  // a figure with no target of its own
};

QString number(double v, const QString& unit) {
    if (std::isnan(v)) return QStringLiteral("-");
    const int decimals = v < 1 ? 3 : v < 10 ? 2 : 1;
    return QString::number(v, 'f', decimals) + u' ' + unit;
}

void printTable(const std::vector<Row>& rows) {
    std::printf("\n%-44s %12s %12s %8s %-14s %s\n", "figure", "median", "baseline", "ratio",
                "target", "met");
    for (const Row& r : rows) {
        const QString ratio = std::isnan(r.value) || std::isnan(r.baseline) || r.baseline <= 0
                                  ? QStringLiteral("-")
                                  : QString::number(r.value / r.baseline, 'f', 2) + u'x';
        const char* met = r.shownOnly ? "" : !r.met ? "not measured" : *r.met ? "met" : "MISSED";
        std::printf("%-44s %12s %12s %8s %-14s %s\n", qPrintable(r.figure),
                    qPrintable(number(r.value, r.unit)), qPrintable(number(r.baseline, r.unit)),
                    qPrintable(ratio), qPrintable(r.target), met);
    }
}

QString cpuModel() {
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const long long end = bench::monotonicNs() + timeoutMs * 1000000LL;
    while (!done() && bench::monotonicNs() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

double msSince(long long t0) {
    return double(bench::monotonicNs() - t0) / 1e6;
}

// --- the figures ---------------------------------------------------------

struct Bench {
    bool quick = false;
    int runs = 7;
    QString binDir;
    QTemporaryDir data;
    std::vector<Row> rows;
    double emptyRssMb = std::nan("");

    void startAndMemory() {
        const QString program = binDir + QStringLiteral("/brindlo-startbench");
        const QString empty = binDir + QStringLiteral("/brindlo-emptywindow");
        std::vector<double> startMs, emptyMs, rssMb, emptyRss;
        int gstStarted = 0;
        runChild(program, {}); // warms the caches of both, counted for neither
        runChild(empty, {});
        for (int i = 0; i < runs; ++i) {
            const ChildRun ours = runChild(program, {});
            const ChildRun base = runChild(empty, {});
            if (ours.ok) {
                startMs.push_back((firstValue(ours, "paint_ns") - double(ours.spawnedNs)) / 1e6);
                rssMb.push_back(firstValue(ours, "rss_kb") / 1024.0);
                gstStarted += firstValue(ours, "gst_started") > 0 ? 1 : 0;
            }
            if (base.ok) {
                emptyMs.push_back((firstValue(base, "paint_ns") - double(base.spawnedNs)) / 1e6);
                emptyRss.push_back(firstValue(base, "rss_kb") / 1024.0);
            }
        }
        const double start = median(startMs), emptyStart = median(emptyMs);
        emptyRssMb = median(emptyRss);
        rows.push_back({QStringLiteral("start to first shown window"), start, emptyStart,
                        QStringLiteral("ms"), QStringLiteral("<= 2x"),
                        met(!startMs.empty() && !emptyMs.empty(), start <= 2 * emptyStart)});
        rows.push_back({QStringLiteral("resident memory after start"), median(rssMb), emptyRssMb,
                        QStringLiteral("MB"), QStringLiteral("<= 50 MB"),
                        met(!rssMb.empty(), median(rssMb) <= 50)});
        std::printf("GStreamer started before the first paint: %d of %zu runs\n", gstStarted,
                    startMs.size());
    }

    static std::optional<bool> met(bool measured, bool ok) {
        return measured ? std::optional<bool>(ok) : std::nullopt;
    }

    static std::size_t baselineListing(const QByteArray& folder) {
        std::vector<std::string> names;
        DIR* dir = opendir(folder.constData());
        if (!dir) return 0;
        while (const dirent* e = readdir(dir)) {
            const std::size_t len = std::strlen(e->d_name);
            if (e->d_name[0] != '.' && len >= 4 && strcasecmp(e->d_name + len - 4, ".mp3") == 0)
                names.emplace_back(e->d_name, len);
        }
        closedir(dir);
        return names.size();
    }

    void folder(frmBrindlo& w, const QString& big, const QString& small) {
        std::vector<double> filled, painted, base;
        QListWidget* list = w.File1.listWidget();
        for (int i = 0; i <= runs; ++i) {
            w.Dir1.setPath(small);
            QCoreApplication::processEvents();
            const long long t0 = bench::monotonicNs();
            w.Dir1.setPath(big);
            const double fill = msSince(t0);
            // The list lays itself out lazily; what the user waits for is
            // the list drawn with its first rows.
            QCoreApplication::processEvents();
            list->repaint();
            const double paint = msSince(t0);
            const long long b0 = bench::monotonicNs();
            const std::size_t found = baselineListing(big.toLocal8Bit());
            const double b = msSince(b0);
            if (list->count() != kBigCount || found != std::size_t(kBigCount)) {
                std::printf("folder: listed %d and %zu of %d files\n", list->count(), found,
                            kBigCount);
                return;
            }
            if (i == 0) continue; // the first run reads a cold folder
            filled.push_back(fill);
            painted.push_back(paint);
            base.push_back(b);
        }
        rows.push_back({QStringLiteral("folder 10k+10k: change to filled list"), median(filled),
                        median(base), QStringLiteral("ms"), QStringLiteral("<= 50 ms"),
                        met(true, median(filled) <= 50)});
        rows.push_back({QStringLiteral("  ... and the list painted"), median(painted), median(base),
                        QStringLiteral("ms"), QStringLiteral("-"), std::nullopt, true});
    }

    void click(frmBrindlo& w, const QString& tagFolder) {
        w.Dir1.setPath(tagFolder);
        QListWidget* list = w.File1.listWidget();
        if (list->count() < 2) {
            std::printf("click: the tagged files are not listed\n");
            return;
        }
        const int iterations = quick ? 100 : 400;
        std::vector<double> ours, base;
        bool filled = true;
        for (int i = 0; i < iterations; ++i) {
            QListWidgetItem* item = list->item(i % 2);
            const long long t0 = bench::monotonicNs();
            list->setCurrentItem(item); // as a click selects, raising File1_Click
            ours.push_back(msSince(t0));
            filled = filled && w.txtTitle.Text() == item->text().chopped(4);
        }
        const QByteArray path = (tagFolder + QStringLiteral("/a.mp3")).toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        const off_t size = lseek(fd, 0, SEEK_END);
        char buffer[128];
        for (int i = 0; i < iterations; ++i) {
            const long long t0 = bench::monotonicNs();
            if (pread(fd, buffer, sizeof buffer, size - 128) != 128) filled = false;
            base.push_back(msSince(t0));
        }
        ::close(fd);
        if (!filled) std::printf("click: the boxes did not show the clicked file's tag\n");
        rows.push_back({QStringLiteral("click on a file to tag boxes filled"), median(ours),
                        median(base), QStringLiteral("ms"), QStringLiteral("<= 1 ms"),
                        met(filled, median(ours) <= 1)});
    }

    void save(frmBrindlo& w, const QString& tagFolder) {
        QListWidget* list = w.File1.listWidget();
        list->setCurrentItem(list->item(0));
        const int iterations = quick ? 10 : 40;
        const QByteArray other = (tagFolder + QStringLiteral("/plain.bin")).toLocal8Bit();
        const int fd = ::open(other.constData(), O_RDWR | O_CLOEXEC);
        const QByteArray record = tagRecord("baseline");
        std::vector<double> ours, base;
        bool ok = fd >= 0;
        // The test folders were just made: their inodes would otherwise be
        // written back during the loop, onto whichever side was flushing.
        ::sync();
        const auto ourSave = [&] {
            const long long t0 = bench::monotonicNs();
            w.cmdSaveTag_Click();
            ours.push_back(msSince(t0));
        };
        const auto baseSave = [&] {
            const long long t0 = bench::monotonicNs();
            ok = ok && pwrite(fd, record.constData(), 128, 4096) == 128 && fsync(fd) == 0;
            base.push_back(msSince(t0));
        };
        for (int i = 0; i < iterations; ++i) {
            w.txtComment.setText(QStringLiteral("save %1").arg(i));
            // Each side goes first half of the time: a flush can slow the next one.
            if (i % 2) {
                ourSave();
                baseSave();
            } else {
                baseSave();
                ourSave();
            }
        }
        ::close(fd);
        rows.push_back({QStringLiteral("save tag, flushed"), median(ours), median(base),
                        QStringLiteral("ms"), QStringLiteral("<= 2x"),
                        met(ok, median(ours) <= 2 * median(base))});
    }

    void playing(const QString& mp3, double seconds) {
        const ChildRun ours = runChild(binDir + QStringLiteral("/brindlo-startbench"),
                                       {QStringLiteral("--play"), mp3, QString::number(seconds)});
        const ChildRun base =
            runChild(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--gst-baseline"), mp3, QString::number(seconds)});
        const PlaySamples o = playSamples(ours), b = playSamples(base);
        if (!o.error.isEmpty()) std::printf("playing: %s\n", o.error.constData());
        if (!b.error.isEmpty()) std::printf("bare pipeline: %s\n", b.error.constData());
        const bool measured = o.cpuPercent.size() == std::size_t(kWindows);
        rows.push_back({QStringLiteral("resident memory while playing"), median(o.rssMb),
                        emptyRssMb, QStringLiteral("MB"), QStringLiteral("<= 90 MB"),
                        met(measured, median(o.rssMb) <= 90)});
        rows.push_back({QStringLiteral("CPU while playing %1 s, silent sink").arg(seconds),
                        median(o.cpuPercent), median(b.cpuPercent), QStringLiteral("%"),
                        QStringLiteral("<= 2 %"), met(measured, median(o.cpuPercent) <= 2)});
    }

    bool makeData(QString* big, QString* small, QString* tags, QString* mp3, double seconds) {
        const QString root = data.path();
        *big = root + QStringLiteral("/big");
        *small = root + QStringLiteral("/small");
        *tags = root + QStringLiteral("/tags");
        QDir().mkpath(*big);
        QDir().mkpath(*small);
        QDir().mkpath(*tags);
        QDir().mkpath(root + QStringLiteral("/big/subfolder"));
        const QByteArray audio(4096, '\0');
        if (!makeEmptyFiles(*big, "track %05d.mp3", kBigCount) ||
            !makeEmptyFiles(*big, "cover %05d.jpg", kBigCount / 2) ||
            !makeEmptyFiles(*big, "notes %05d.txt", kBigCount / 2) ||
            !makeEmptyFiles(*small, "song %d.mp3", 3) ||
            !writeFile(*tags + QStringLiteral("/a.mp3"), audio + tagRecord("a")) ||
            !writeFile(*tags + QStringLiteral("/b.mp3"), audio + tagRecord("b")) ||
            !writeFile(*tags + QStringLiteral("/plain.bin"), audio + tagRecord("plain")))
            return false;
        const QString wav = root + QStringLiteral("/long.wav");
        *mp3 = root + QStringLiteral("/play/long.mp3");
        QDir().mkpath(root + QStringLiteral("/play"));
        if (!writeFile(wav, toneWav(seconds + 6)) ||
            QProcess::execute(QStringLiteral("lame"),
                              {QStringLiteral("--quiet"), QStringLiteral("-b"),
                               QStringLiteral("128"), wav, *mp3}) != 0) {
            std::printf("lame could not make the file to play: playing is not measured\n");
            mp3->clear();
        }
        QFile::remove(wav);
        return true;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 4 && std::strcmp(argv[1], "--gst-baseline") == 0)
        return gstBaseline(argv[2], std::atof(argv[3]));

    QApplication app(argc, argv);
    Bench b;
    QStringList args = app.arguments().mid(1);
    b.quick = args.removeAll(QStringLiteral("--quick")) > 0;
    if (const qsizetype r = args.indexOf(QStringLiteral("--runs")); r >= 0 && r + 1 < args.size())
        b.runs = std::max(1, args[r + 1].toInt());
    b.binDir = QCoreApplication::applicationDirPath();
    const double playSeconds = b.quick ? 5 : 30;

    std::printf("Brindlo benchmark%s: medians of %d runs\n", b.quick ? " (quick)" : "", b.runs);
    std::printf("machine: %u cores, %s; Qt %s on %s; %s\n", std::thread::hardware_concurrency(),
                qPrintable(cpuModel()), qVersion(), qPrintable(QGuiApplication::platformName()),
                gst_version_string());

    QString big, small, tags, mp3;
    if (!b.data.isValid() || !b.makeData(&big, &small, &tags, &mp3, playSeconds)) {
        std::printf("could not make the test folders\n");
        return 1;
    }

    b.startAndMemory();
    {
        frmBrindlo w(platform::MediaPlayer::AudioOutput::Silent);
        w.show();
        waitUntil([&] { return w.windowHandle() && w.windowHandle()->isExposed(); }, 5000);
        b.folder(w, big, small);
        b.click(w, tags);
        b.save(w, tags);
    }
    if (!mp3.isEmpty()) b.playing(mp3, playSeconds);

    printTable(b.rows);
    std::printf("\nBaselines: an empty Qt window (start, memory); readdir with name matching "
                "in plain C++ (folder);\none pread of 128 bytes (click); one pwrite of 128 "
                "bytes and fsync (save); a bare GStreamer\nplaybin into the same silent sink "
                "(CPU).\n");
    std::printf("Peers, measured earlier on this machine: a widely used Qt tag editor starts "
                "in about 155 ms\nwith 116 MB and takes 3.2 s to show the 10,000+10,000 "
                "folder; a GTK one 636 ms, 92 MB and 11.8 s.\n");
    return 0;
}
