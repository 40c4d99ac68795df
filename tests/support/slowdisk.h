#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/types.h>

namespace testing_support {

// A pass-through file system in user space over a folder of its own, whose
// listings, opens, reads, writes and flushes wait as long as set() says; a
// delay of -1 never ends. Mounted in a temporary folder by the constructor
// and taken away by the destructor, which ends the server by its PID.
class SlowDisk {
public:
    SlowDisk();
    ~SlowDisk();
    SlowDisk(const SlowDisk&) = delete;
    SlowDisk& operator=(const SlowDisk&) = delete;

    // Empty when mounted; else why not, in words for a skipped test.
    QString unavailable() const { return unavailable_; }
    QString source(const QString& relative = {}) const; // the real files, never slow
    QString mounted(const QString& relative = {}) const;
    // Lines such as "list 1500" or "write -1" (see slowfs.cpp); replaces all.
    void set(const QString& settings);

private:
    QTemporaryDir dir_;
    QString unavailable_;
    pid_t server_ = -1;
};

// The longest time the event loop went without running a 5 ms timer.
class LoopHeartbeat {
public:
    LoopHeartbeat();
    void start();
    qint64 longestStallMs();

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

} // namespace testing_support
