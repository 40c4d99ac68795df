// Brindlo's benchmark: the figures a user feels, each beside a baseline
// measured in the same run on the same machine. Prints medians and ratios;
// it never fails for being slow. Run it through tools/bench.sh.
//
//   brindlo-bench [--quick] [--start] [--runs N] [--peers [--peer-runs N]]
//   (--start: only the start figures, in a few seconds)
//   brindlo-bench --gst-baseline[-server] FILE SECONDS   (spawned by the benchmark)
#include "probe.h"
#include "soundserver.h"
#include "window/frmbrindlo.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gst/gst.h>
#include <map>
#include <numbers>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

constexpr int kBigCount = 10000; // MP3 files, and as many others
constexpr int kWindows = 6;      // the play time is sampled in this many parts
constexpr int kStartRuns = 9;    // starts of each program to the window mapped

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

// "window cpu_percent X rss_kb Y wakeups_per_s Z" lines of a playing child.
struct PlaySamples {
    std::vector<double> cpuPercent;
    std::vector<double> rssMb;
    std::vector<double> wakeups;
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
        if (f.size() >= 6) samples.wakeups.push_back(f[5].toDouble());
    }
    if (const auto e = run.values.find("error"); e != run.values.end()) samples.error = e->second;
    return samples;
}

// The bare pipeline that the player is compared with: the same file into
// the same real-time silent sink, nothing else; or, toServer, a playbin as
// gst-launch-1.0 makes it, into the system's sound output.
int gstBaseline(const char* file, double seconds, bool toServer) {
    gst_init(nullptr, nullptr);
    gchar* uri = gst_filename_to_uri(file, nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = toServer ? nullptr : gst_element_factory_make("fakesink", nullptr);
    if (!uri || !playbin || (!toServer && !sink)) {
        std::printf("error pipeline\n");
        return 1;
    }
    if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    if (sink) g_object_set(playbin, "audio-sink", sink, nullptr);
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
        const long long switches = bench::contextSwitches();
        if (!waitMs(windowMs)) {
            std::printf("error ended early\n");
            break;
        }
        const double spent = double(bench::monotonicNs() - wall);
        std::printf("window cpu_percent %.3f rss_kb %ld wakeups_per_s %.1f\n",
                    100.0 * double(bench::cpuNs() - cpu) / spent, bench::residentKb(),
                    1e9 * double(bench::contextSwitches() - switches) / spent);
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

// --- peers -----------------------------------------------------------------
//
// Other programs are watched from outside, and Brindlo and the empty windows
// the same way for this table: the time from spawn to the first top-level
// window the X server maps for that process, the resident memory once the
// process has gone quiet, and, given a folder on the command line, the time
// until it has gone quiet on it. Quiet: less than 5 % of a core over 500 ms.

constexpr int kQuietMs = 500;
constexpr long kQuietTicksMax = 2; // 20 ms of 100 Hz clock ticks in 500 ms

// The first mapped top-level window of a process, seen as X events on the
// root window. Qt and GTK both name their process in _NET_WM_PID.
class MapWatch {
public:
    MapWatch() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            pidAtom_ = atom->atom;
            std::free(atom);
        }
        xcb_flush(c_);
        ok_ = pidAtom_ != XCB_ATOM_NONE;
    }
    ~MapWatch() { xcb_disconnect(c_); }
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    bool ok() const { return ok_; }

    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c_))
            std::free(e);
    }

    // Monotonic ns at which a window of `pid` was seen mapped, 0 on timeout.
    long long waitMapped(pid_t pid, int timeoutMs) {
        const long long end = bench::monotonicNs() + timeoutMs * 1000000LL;
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        while (bench::monotonicNs() < end) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const long long now = bench::monotonicNs();
                bool ours = false;
                if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                    ours = !map->override_redirect && windowPid(map->window) == pid;
                }
                std::free(e);
                if (ours) return now;
            }
            if (xcb_connection_has_error(c_)) return 0;
            ::poll(&fd, 1, 5);
        }
        return 0;
    }

private:
    pid_t windowPid(xcb_window_t window) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = 0;
        if (r && xcb_get_property_value_length(r) == 4)
            pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(r)));
        std::free(r);
        return pid;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
    bool ok_ = false;
};

// User plus system clock ticks of a whole process, -1 once it is gone.
long processTicks(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which may hold spaces: state is the 3rd
    // field, utime the 14th and stime the 15th.
    const QList<QByteArray> f3 = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (f3.size() < 13 || f3[0] == "Z") return -1;
    return f3[11].toLong() + f3[12].toLong();
}

long processRssKb(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Monotonic ns at which the process went quiet for good (the start of the
// first quiet spell of kQuietMs), 0 if it never did within the timeout.
long long waitQuiet(pid_t pid, int timeoutMs) {
    struct Sample {
        long long ns;
        long ticks;
    };
    std::vector<Sample> samples;
    const long long end = bench::monotonicNs() + timeoutMs * 1000000LL;
    while (bench::monotonicNs() < end) {
        const Sample now{bench::monotonicNs(), processTicks(pid)};
        if (now.ticks < 0) return 0;
        samples.push_back(now);
        // The newest sample at least kQuietMs old opens the spell.
        for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
            if (now.ns - it->ns >= kQuietMs * 1000000LL) {
                if (now.ticks - it->ticks <= kQuietTicksMax) return it->ns;
                break;
            }
        }
        ::usleep(25000);
    }
    return 0;
}

struct Peer {
    Peer(QString name, QString program, QStringList args, bool takesFolder)
        : name(std::move(name)), program(std::move(program)), args(std::move(args)),
          takesFolder(takesFolder) {}
    QString name;
    QString program;
    QStringList args;
    bool takesFolder;
    std::vector<double> startMs, rssMb, folderMs;
};

class PeerRunner {
public:
    explicit PeerRunner(const QString& home) {
        // Each program gets the same empty home, so none starts from a
        // configuration or cache that an earlier run (or a user) left.
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("HOME=", 0) != 0 && v.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
                v.rfind("XDG_CACHE_HOME=", 0) != 0 && v.rfind("XDG_DATA_HOME=", 0) != 0)
                env_.push_back(v);
        }
        const std::string h = home.toStdString();
        home_ = h;
        env_.push_back("HOME=" + h);
        env_.push_back("XDG_CONFIG_HOME=" + h + "/.config");
        env_.push_back("XDG_CACHE_HOME=" + h + "/.cache");
        env_.push_back("XDG_DATA_HOME=" + h + "/.local/share");
    }

    bool ok() const { return watch_.ok(); }

    // One start: spawn, first window, quiet; then the process is ended.
    // Returns false when the program did not show a window in 60 s.
    bool once(Peer& p, const QString* folder) {
        QStringList args = p.args;
        // A peer is started on the empty home folder when it is not started
        // on the big one: easytag given no folder quits on an error here.
        if (p.takesFolder) args << (folder ? *folder : QString::fromStdString(home_));
        watch_.drain();
        long long spawnedNs = 0;
        const pid_t pid = spawn(p.program, args, &spawnedNs);
        if (pid <= 0) return false;
        const long long mappedNs = watch_.waitMapped(pid, 60000);
        const long long quietNs = mappedNs ? waitQuiet(pid, 120000) : 0;
        if (mappedNs && quietNs) {
            if (folder) {
                p.folderMs.push_back(double(std::max(quietNs, mappedNs) - spawnedNs) / 1e6);
            } else {
                p.startMs.push_back(double(mappedNs - spawnedNs) / 1e6);
                p.rssMb.push_back(double(processRssKb(pid)) / 1024.0);
            }
        }
        if (mappedNs && !quietNs)
            std::printf("peers: %s did not go quiet%s\n", qPrintable(p.name),
                        folder ? " on the folder" : "");
        end(pid);
        return mappedNs != 0;
    }

private:
    pid_t spawn(const QString& program, const QStringList& args, long long* spawnedNs) {
        std::vector<std::string> words{program.toStdString()};
        for (const QString& a : args)
            words.push_back(a.toStdString());
        std::vector<char*> argv, envp;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        for (std::string& e : env_)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // A tag editor given no folder may open the one it was started in.
        posix_spawn_file_actions_addchdir_np(&actions, home_.c_str());
        pid_t pid = 0;
        *spawnedNs = bench::monotonicNs();
        const int r = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return r == 0 ? pid : -1;
    }

    static void end(pid_t pid) {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) return;
            ::usleep(20000);
        }
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    MapWatch watch_;
    std::vector<std::string> env_;
    std::string home_;
};

QString packageVersion(const QString& package) {
    QProcess q;
    q.start(QStringLiteral("dpkg-query"),
            {QStringLiteral("-W"), QStringLiteral("-f=${Version}"), package});
    q.waitForFinished(5000);
    return QString::fromUtf8(q.readAllStandardOutput()).trimmed();
}

// --- the figures ---------------------------------------------------------

struct Bench {
    bool quick = false;
    int runs = 7;
    QString binDir;
    QTemporaryDir data;
    std::vector<Row> rows;
    double emptyRssMb = std::nan("");
    double ownStartMs = std::nan("");
    double ownFolderMs = std::nan("");

    // Start as a user waits for it: from spawning the program to the X
    // server mapping its window, Brindlo as installed and an empty Qt window
    // spawned the same way, in turns, each left to go quiet before the next.
    void startMapped() {
        QTemporaryDir home;
        PeerRunner runner(home.path());
        if (!home.isValid() || !runner.ok()) {
            std::printf("start: no X server to watch, not measured\n");
            return;
        }
        Peer ours(QStringLiteral("Brindlo"), binDir + QStringLiteral("/../src/brindlo"), {},
                  false);
        Peer empty(QStringLiteral("empty Qt window"),
                   binDir + QStringLiteral("/brindlo-emptywindow"), {QStringLiteral("--stay")},
                   false);
        for (Peer* p : {&ours, &empty}) { // warms the caches, counted for neither
            runner.once(*p, nullptr);
            p->startMs.clear();
        }
        for (int i = 0; i < kStartRuns; ++i) {
            runner.once(ours, nullptr);
            runner.once(empty, nullptr);
        }
        const double start = median(ours.startMs), emptyStart = median(empty.startMs);
        rows.push_back({QStringLiteral("start to the window mapped"), start, emptyStart,
                        QStringLiteral("ms"), QStringLiteral("<= 1.3x"),
                        met(!ours.startMs.empty() && !empty.startMs.empty(),
                            start <= 1.3 * emptyStart)});
    }

    // The window as main.cpp makes it, timed from inside to its first paint
    // flushed, with its memory then and whether GStreamer had started.
    void firstPaintAndMemory() {
        const QString program = binDir + QStringLiteral("/brindlo-startbench");
        const QString empty = binDir + QStringLiteral("/brindlo-emptywindow");
        const QStringList label{QStringLiteral("--label")};
        std::vector<double> startMs, emptyMs, labelMs, rssMb, emptyRss;
        int gstStarted = 0;
        runChild(program, {}); // warms the caches of all three, counted for none
        runChild(empty, {});
        runChild(empty, label);
        const auto startOf = [](const ChildRun& run) {
            return (firstValue(run, "paint_ns") - double(run.spawnedNs)) / 1e6;
        };
        for (int i = 0; i < runs; ++i) {
            const ChildRun ours = runChild(program, {});
            const ChildRun base = runChild(empty, {});
            const ChildRun withLabel = runChild(empty, label);
            if (ours.ok) {
                startMs.push_back(startOf(ours));
                rssMb.push_back(firstValue(ours, "rss_kb") / 1024.0);
                gstStarted += firstValue(ours, "gst_started") > 0 ? 1 : 0;
            }
            if (base.ok) {
                emptyMs.push_back(startOf(base));
                emptyRss.push_back(firstValue(base, "rss_kb") / 1024.0);
            }
            if (withLabel.ok) labelMs.push_back(startOf(withLabel));
        }
        const double start = median(startMs), emptyStart = median(emptyMs);
        emptyRssMb = median(emptyRss);
        ownStartMs = start;
        rows.push_back({QStringLiteral("  ... to the first paint flushed"), start, emptyStart,
                        QStringLiteral("ms"), QStringLiteral("-"), std::nullopt, true});
        rows.push_back({QStringLiteral("  ... first paint, against one with a label"), start,
                        median(labelMs), QStringLiteral("ms"), QStringLiteral("-"), std::nullopt,
                        true});
        rows.push_back({QStringLiteral("resident memory after start"), median(rssMb), emptyRssMb,
                        QStringLiteral("MB"), QStringLiteral("<= 50 MB"),
                        met(!rssMb.empty(), median(rssMb) <= 50)});
        std::printf("GStreamer loaded before the first paint: %d of %zu runs\n", gstStarted,
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
        ownFolderMs = median(filled);
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

    // Into a real sound server (a PulseAudio of the benchmark's own with a
    // null sink), beside a bare playbin as gst-launch-1.0 makes it.
    void playingToServer(const QString& mp3, double seconds) {
        testing_support::SoundServer server;
        if (!server.ready()) {
            std::printf("playing into a sound server: PulseAudio did not start, not measured\n");
            return;
        }
        const ChildRun ours =
            runChild(binDir + QStringLiteral("/brindlo-startbench"),
                     {QStringLiteral("--play-server"), mp3, QString::number(seconds)});
        const ChildRun base =
            runChild(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--gst-baseline-server"), mp3, QString::number(seconds)});
        const PlaySamples o = playSamples(ours), b = playSamples(base);
        if (!o.error.isEmpty()) std::printf("playing to the server: %s\n", o.error.constData());
        if (!b.error.isEmpty()) std::printf("bare playbin: %s\n", b.error.constData());
        const bool measured = o.wakeups.size() == std::size_t(kWindows) &&
                              b.cpuPercent.size() == std::size_t(kWindows);
        const double cpu = median(o.cpuPercent), baseCpu = median(b.cpuPercent);
        rows.push_back({QStringLiteral("wake-ups a second, playing to a sound server"),
                        median(o.wakeups), median(b.wakeups), QStringLiteral("/s"),
                        QStringLiteral("<= 30 /s"), met(measured, median(o.wakeups) <= 30)});
        rows.push_back({QStringLiteral("CPU while playing %1 s to a sound server").arg(seconds),
                        cpu, baseCpu, QStringLiteral("%"), QStringLiteral("<= 0.8x"),
                        met(measured, cpu <= 0.8 * baseCpu)});
    }

    void peers(const QString& big, int peerRuns) {
        QTemporaryDir home;
        PeerRunner runner(home.path());
        if (!home.isValid() || !runner.ok()) {
            std::printf("\npeers: no X server to watch, not measured\n");
            return;
        }
        const QString empty = binDir + QStringLiteral("/brindlo-emptywindow");
        std::vector<Peer> peers{
            {QStringLiteral("empty Qt window"), empty, {QStringLiteral("--stay")}, false},
            {QStringLiteral("Qt window with one label"),
             empty,
             {QStringLiteral("--stay"), QStringLiteral("--label")},
             false},
            {QStringLiteral("Brindlo"), binDir + QStringLiteral("/../src/brindlo"), {}, false},
        };
        for (const char* name : {"kid3-qt", "easytag"}) {
            const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (path.isEmpty()) {
                std::printf("peers: %s is not installed (tools/bench.sh --peers installs it "
                            "as root)\n",
                            name);
                continue;
            }
            const QString version = packageVersion(QString::fromLatin1(name));
            peers.push_back({QString::fromLatin1(name) + u' ' + version, path, {}, true});
        }
        std::printf("\npeers: %d runs of %zu programs...\n", peerRuns, peers.size());
        std::fflush(stdout);
        for (Peer& p : peers) { // warms the caches, counted for none
            runner.once(p, nullptr);
            p.startMs.clear();
            p.rssMb.clear();
        }
        for (int i = 0; i < peerRuns; ++i) {
            for (Peer& p : peers) {
                if (!runner.once(p, nullptr))
                    std::printf("peers: %s showed no window\n", qPrintable(p.name));
                if (p.takesFolder) runner.once(p, &big);
            }
        }
        std::printf("\n%-28s %14s %16s %26s\n", "program, same X server", "first window",
                    "memory, quiet", "folder 10k+10k, to quiet");
        for (const Peer& p : peers) {
            QString folder = number(median(p.folderMs), QStringLiteral("ms"));
            if (!p.takesFolder && p.name == QLatin1String("Brindlo"))
                folder = QStringLiteral("(%1)").arg(
                    number(median(p.startMs) + ownFolderMs, QStringLiteral("ms")));
            else if (!p.takesFolder)
                folder = QStringLiteral("-");
            std::printf("%-28s %14s %16s %26s\n", qPrintable(p.name),
                        qPrintable(number(median(p.startMs), QStringLiteral("ms"))),
                        qPrintable(number(median(p.rssMb), QStringLiteral("MB"))),
                        qPrintable(folder));
        }
        std::printf("First window: spawn to the first top-level window the X server maps for "
                    "the process\n(kid3-qt and easytag given an empty folder). Quiet: under 5 %% "
                    "of a core for %d ms.\nBrindlo takes no folder argument: in brackets, its "
                    "first window plus its change to\nthe folder measured above.\n",
                    kQuietMs);
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
        return gstBaseline(argv[2], std::atof(argv[3]), false);
    if (argc == 4 && std::strcmp(argv[1], "--gst-baseline-server") == 0)
        return gstBaseline(argv[2], std::atof(argv[3]), true);

    QApplication app(argc, argv);
    Bench b;
    QStringList args = app.arguments().mid(1);
    b.quick = args.removeAll(QStringLiteral("--quick")) > 0;
    if (const qsizetype r = args.indexOf(QStringLiteral("--runs")); r >= 0 && r + 1 < args.size())
        b.runs = std::max(1, args[r + 1].toInt());
    b.binDir = QCoreApplication::applicationDirPath();
    const double playSeconds = b.quick ? 5 : 30;
    const bool peers = args.removeAll(QStringLiteral("--peers")) > 0;
    const bool startOnly = args.removeAll(QStringLiteral("--start")) > 0;
    int peerRuns = 5;
    if (const qsizetype r = args.indexOf(QStringLiteral("--peer-runs"));
        r >= 0 && r + 1 < args.size())
        peerRuns = std::max(1, args[r + 1].toInt());

    std::printf("Brindlo benchmark%s: medians of %d runs\n", b.quick ? " (quick)" : "", b.runs);
    std::printf("machine: %u cores, %s; Qt %s on %s; %s\n", std::thread::hardware_concurrency(),
                qPrintable(cpuModel()), qVersion(), qPrintable(QGuiApplication::platformName()),
                gst_version_string());

    if (startOnly) {
        b.startMapped();
        b.firstPaintAndMemory();
        printTable(b.rows);
        return 0;
    }
    QString big, small, tags, mp3;
    if (!b.data.isValid() || !b.makeData(&big, &small, &tags, &mp3, playSeconds)) {
        std::printf("could not make the test folders\n");
        return 1;
    }

    b.startMapped();
    b.firstPaintAndMemory();
    {
        frmBrindlo w(player::MediaPlayer::AudioOutput::Silent);
        w.show();
        waitUntil([&] { return w.windowHandle() && w.windowHandle()->isExposed(); }, 5000);
        b.folder(w, big, small);
        b.click(w, tags);
        b.save(w, tags);
    }
    if (!mp3.isEmpty()) b.playing(mp3, playSeconds);
    if (!mp3.isEmpty()) b.playingToServer(mp3, playSeconds);

    printTable(b.rows);
    std::printf("\nStart: spawn to the window mapped on the X server, medians of %d, the two "
                "programs in turns,\neach left to go quiet first; the first paint is timed "
                "inside the process.\n",
                kStartRuns);
    std::printf("Baselines: an empty Qt window, and one showing a line of text (start, "
                "memory); readdir with name matching "
                "in plain C++ (folder);\none pread of 128 bytes (click); one pwrite of 128 "
                "bytes and fsync (save); a bare GStreamer\nplaybin into the same silent sink "
                "(CPU), and a bare playbin into the same sound server (wake-ups, CPU).\n");
    if (peers) b.peers(big, peerRuns);
    return 0;
}
