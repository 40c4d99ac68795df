#include "slowdisk.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {
namespace {

bool isMountPoint(const QString& path) {
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly)) return false;
    const QByteArray wanted = QFile::encodeName(path);
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 1 && fields[1] == wanted) return true;
    }
    return false;
}

} // namespace

SlowDisk::SlowDisk() {
    if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
        unavailable_ = QStringLiteral("/dev/fuse is missing: no slow file system can be mounted");
        return;
    }
    QDir().mkpath(source());
    QDir().mkpath(mounted());
    set({});
    const QByteArray program = BRINDLO_SLOWFS;
    const QByteArray from = QFile::encodeName(source()), at = QFile::encodeName(mounted()),
                     control = QFile::encodeName(dir_.filePath(QStringLiteral("control")));
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(from.constData()),
                    const_cast<char*>(at.constData()), const_cast<char*>(control.constData()),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&server_, program.constData(), &actions, nullptr, argv, environ) != 0)
        server_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 250 && server_ > 0 && !isMountPoint(mounted()); ++i) {
        int status = 0;
        if (waitpid(server_, &status, WNOHANG) == server_) server_ = -1;
        QThread::msleep(20);
    }
    if (server_ <= 0 || !isMountPoint(mounted()))
        unavailable_ = QStringLiteral("the slow file system could not be mounted here "
                                      "(no permission to mount FUSE?)");
}

SlowDisk::~SlowDisk() {
    // Calls still waiting inside it end first, so no thread is left stuck.
    set({});
    if (server_ > 0) {
        const QByteArray at = QFile::encodeName(mounted());
        pid_t unmount = -1;
        const char* argv[] = {"fusermount3", "-u", "-z", at.constData(), nullptr};
        if (posix_spawnp(&unmount, "fusermount3", nullptr, nullptr, const_cast<char* const*>(argv),
                         environ) == 0)
            waitpid(unmount, nullptr, 0);
        ::kill(server_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(server_, nullptr, WNOHANG) == server_) return;
            QThread::msleep(20);
        }
        ::kill(server_, SIGKILL);
        waitpid(server_, nullptr, 0);
    }
}

QString SlowDisk::source(const QString& relative) const {
    return dir_.filePath(QStringLiteral("source/") + relative);
}

QString SlowDisk::mounted(const QString& relative) const {
    const QString base = dir_.filePath(QStringLiteral("mounted"));
    return relative.isEmpty() ? base : base + u'/' + relative;
}

void SlowDisk::set(const QString& settings) {
    // Written whole under another name and renamed, so the server never
    // reads half a file.
    const QString control = dir_.filePath(QStringLiteral("control"));
    QFile next(control + QStringLiteral(".next"));
    if (next.open(QIODevice::WriteOnly)) {
        next.write(settings.toUtf8() + '\n');
        next.close();
        ::rename(QFile::encodeName(next.fileName()).constData(),
                 QFile::encodeName(control).constData());
    }
}

LoopHeartbeat::LoopHeartbeat() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    });
}

void LoopHeartbeat::start() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
    timer_.start();
}

qint64 LoopHeartbeat::longestStallMs() {
    const qint64 now = clock_.elapsed();
    return std::max(longest_, now - last_);
}

} // namespace testing_support
