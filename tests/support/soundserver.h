#pragma once

// A PulseAudio server of the test's own: user mode, a private runtime
// folder, one null sink whose monitor can be recorded. It needs no sound
// card and is ended by its PID when the object goes, on failure too.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

class SoundServer {
public:
    static constexpr const char* kSink = "brindlo_null";

    SoundServer() {
        if (!dir_.isValid()) return;
        const QString run = dir_.filePath("run");
        const QString home = dir_.filePath("home");
        QDir().mkpath(run);
        QDir().mkpath(home);
        socket_ = run + "/native";
        writeFile("server.pa", "load-module module-null-sink sink_name=" + QByteArray(kSink) +
                                   " rate=44100 channels=2\n"
                                   "load-module module-native-protocol-unix auth-anonymous=1 "
                                   "socket=" +
                                   socket_.toUtf8() + "\nset-default-sink " + kSink + "\n");
        writeFile("client.conf", "autospawn = no\n");
        // Clients of this process (the player, pactl, parec) reach only it.
        qputenv("PULSE_SERVER", "unix:" + socket_.toUtf8());
        qputenv("PULSE_CLIENTCONFIG", dir_.filePath("client.conf").toUtf8());
        qputenv("PULSE_RUNTIME_PATH", run.toUtf8());

        const QString program = QStandardPaths::findExecutable("pulseaudio");
        if (program.isEmpty()) return;
        server_.setProgram(program);
        server_.setArguments({"-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1",
                              "--use-pid-file=no", "--disallow-exit", "--log-target=stderr",
                              "--log-level=error", "-F", dir_.filePath("server.pa")});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_RUNTIME_DIR", run);
        env.insert("PULSE_RUNTIME_PATH", run);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        server_.setProcessEnvironment(env);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start();
    }

    // Kills the server and starts a new one at the same socket, as a
    // desktop does after its sound server crashed.
    bool restart() {
        killNow();
        ready_ = false;
        QFile::remove(socket_);
        start();
        return ready_;
    }

    ~SoundServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL); // works on a stopped server too
            server_.waitForFinished(5000);
        }
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_CLIENTCONFIG");
        qunsetenv("PULSE_RUNTIME_PATH");
    }

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    // Never with a pid of -1 or 0: kill() would signal every process we may.
    void hang() {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void resume() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    void killNow() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        server_.waitForFinished(5000);
        pid_ = -1;
    }

    QString pactl(const QStringList& arguments) const {
        QProcess p;
        p.start("pactl", arguments);
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // Records what the null sink plays, mono 16-bit at 44.1 kHz.
    void startRecording() {
        recorder_.setStandardOutputFile(dir_.filePath("recorded.raw"));
        recorder_.start("parec", {"-d", QString(kSink) + ".monitor", "--raw", "--format=s16le",
                                  "--rate=44100", "--channels=1", "--latency-msec=20"});
        recorder_.waitForStarted(5000);
    }
    QByteArray stopRecording() {
        recorder_.terminate();
        if (!recorder_.waitForFinished(5000)) {
            recorder_.kill();
            recorder_.waitForFinished();
        }
        QFile f(dir_.filePath("recorded.raw"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    void start() {
        server_.start();
        if (!server_.waitForStarted(10000)) return;
        pid_ = static_cast<pid_t>(server_.processId());
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000) {
            if (QFile::exists(socket_) && pactl({"info"}).contains("Server String")) {
                ready_ = true;
                return;
            }
            QThread::msleep(100);
        }
    }

    void writeFile(const char* name, const QByteArray& bytes) {
        QFile f(dir_.filePath(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    QTemporaryDir dir_;
    QString socket_;
    QProcess server_;
    QProcess recorder_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// The longest time the event loop went without running a 5 ms timer.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { beat(); });
    }
    void start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        timer_.start();
    }
    qint64 longestStallMs() {
        beat();
        return longest_;
    }

private:
    void beat() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

} // namespace testing_support
