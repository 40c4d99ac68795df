#pragma once

// Small measuring helpers shared by the benchmark and the two start-up
// programs it spawns; header only, so the empty window links nothing of ours.

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace bench {

inline long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// User plus system time of the whole process, all threads, in nanoseconds.
inline long long cpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval& tv) {
        return static_cast<long long>(tv.tv_sec) * 1000000000LL + tv.tv_usec * 1000LL;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

// VmRSS of this process in kB, 0 when /proc cannot tell.
inline long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Times any thread of this process was switched out, of its own accord
// (it slept) or not: the wake-ups of a playing program.
inline long long contextSwitches() {
    long long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") ||
                line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

// Calls `done` once the window's first paint has been flushed to the
// screen: the paint event comes before the flush, so the call waits for
// the event loop to come round once more.
class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> done)
        : QObject(window), done_(std::move(done)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, this, done_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> done_;
    bool seen_ = false;
};

} // namespace bench
