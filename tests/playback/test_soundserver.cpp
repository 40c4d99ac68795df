// The window plays into a real sound server: a PulseAudio of the test's
// own with a null sink, whose monitor is recorded and listened to. Then the
// server hangs (SIGSTOP), dies (SIGKILL) and comes back, and the window must
// neither wait for it nor blame the file, and play only what it was asked
// to once the server answers again.
#include "soundserver.h"
#include "testsupport.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using testing_support::Heartbeat;
using testing_support::SoundServer;

constexpr int kRate = 44100;

// The bounds a user feels. ThreadSanitizer (tools/tsan.sh) runs everything
// several times slower; there the point is its reports, not the speed.
#if defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif
constexpr qint64 kPromptMs = 100 * kSlowdown;
constexpr qint64 kLeaveMs = 1000 * kSlowdown;

// 3 s of first, then 3 s of second, as a mono 16-bit WAV.
QByteArray twoToneWave(double first = 440.0, double second = 880.0) {
    const int samples = 6 * kRate;
    QByteArray data;
    data.reserve(samples * 2);
    for (int i = 0; i < samples; ++i) {
        const double hz = i < 3 * kRate ? first : second;
        const auto v = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * hz * i / kRate));
        data.append(static_cast<char>(v & 0xff));
        data.append(static_cast<char>((v >> 8) & 0xff));
    }
    QByteArray wave;
    QDataStream out(&wave, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + data.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(data.size());
    out.writeRawData(data.constData(), static_cast<int>(data.size()));
    return wave;
}

struct Heard {
    double seconds = 0.0; // from the first loud sample to the last
    double firstHz = 0.0; // in the middle of the first half
    double secondHz = 0.0;
};

Heard listen(const QByteArray& raw) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(raw.size() / 2));
    if (s.empty()) return {};
    std::memcpy(s.data(), raw.constData(), s.size() * 2);
    const int loud = 3000;
    std::ptrdiff_t first = -1, last = -1;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) > loud) {
            if (first < 0) first = static_cast<std::ptrdiff_t>(i);
            last = static_cast<std::ptrdiff_t>(i);
        }
    }
    Heard heard;
    if (first < 0) return heard;
    heard.seconds = static_cast<double>(last - first) / kRate;
    // Rising zero crossings over two seconds in the middle of each tone.
    const auto hz = [&](double from) {
        const auto begin = static_cast<std::size_t>(first + from * kRate);
        const std::size_t end = std::min(s.size(), begin + 2 * kRate);
        int crossings = 0;
        for (std::size_t i = begin + 1; i < end; ++i)
            if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
        return crossings / (static_cast<double>(end - begin) / kRate);
    };
    heard.firstHz = hz(0.5);
    heard.secondHz = hz(3.5);
    return heard;
}

class SoundServerWindow : public testing_support::WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "the test's own PulseAudio did not start";
        WindowTest::SetUp();
        // The window as the program makes it: the system's sound output.
        w = std::make_unique<frmBrindlo>();
        w->show();
        const QString wave = tree.file("tones.wav", twoToneWave());
        ASSERT_EQ(QProcess::execute("lame", {"--quiet", "-b", "128", wave, tree.path("tones.mp3")}),
                  0);
        QFile::copy(tree.path("tones.mp3"), tree.path("again.mp3"));
        // A file that must never be heard: it is opened while the server hangs.
        const QString other = tree.file("other.wav", twoToneWave(660.0, 660.0));
        ASSERT_EQ(
            QProcess::execute("lame", {"--quiet", "-b", "128", other, tree.path("other.mp3")}), 0);
        w->Dir1.setPath(tree.root());
        w->media.OpenStateNotify.connect([this](std::int32_t first, std::int32_t state) {
            reports.push_back(state);
            w->media_OpenStateNotify(first, state);
        });
    }

    // The server goes before the window: a pipeline left to a hung server
    // then fails and ends, and the player's end can wait for it instead of
    // leaving its thread to run into the end of the process.
    void TearDown() override {
        server.killNow();
        WindowTest::TearDown();
    }

    bool settle(int ms = 30000) {
        return QTest::qWaitFor([&] { return !w->media.isOpening(); }, ms);
    }

    bool says(const QString& status, int ms = 5000) {
        return QTest::qWaitFor([&] { return w->media.statusText() == status; }, ms);
    }

    QWidget* stripControl(const QString& name) const {
        for (QWidget* child : w->media.findChildren<QWidget*>())
            if (child->accessibleName() == name) return child;
        return nullptr;
    }

    // Plays the two-tone file to its end into the recorder and checks that
    // the recording holds its two tones and its length, and nothing else.
    void expectTonesHeard() {
        // A server that was stopped for a while, or has just started, may
        // still be catching up: it must answer before the open is judged.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return server.pactl({"info"}).contains("Server String"); }, 10000))
            << "the test's own PulseAudio does not answer";
        server.startRecording();
        QTest::qWait(300);
        doubleClickFile("tones.mp3");
        ASSERT_TRUE(settle());
        if (w->media.statusText().startsWith("No sound device")) {
            // Refused at that moment (a loaded machine, a server still
            // taking its clients back): the next open must play.
            QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
            QTest::qWait(1000);
            doubleClickFile("tones.mp3");
            ASSERT_TRUE(settle());
        }
        EXPECT_EQ(w->media.statusText(), "Playing tones.mp3");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w->media.isPlaying(); }, 15000));
        QTest::qWait(500);
        const Heard heard = listen(server.stopRecording());
        EXPECT_NEAR(heard.seconds, 6.0, 0.3);
        EXPECT_NEAR(heard.firstHz, 440.0, 10.0);
        EXPECT_NEAR(heard.secondHz, 880.0, 15.0);
    }

    SoundServer server;
    testing_support::TempTree tree;
    std::vector<std::int32_t> reports;
};

TEST_F(SoundServerWindow, PlaysBothTonesAndNeverWaitsForAHungServer) {
    server.startRecording();
    QTest::qWait(300);
    doubleClickFile("tones.mp3");
    ASSERT_TRUE(settle());
    ASSERT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->media.statusText(), "Playing tones.mp3");

    // The server shows who plays what.
    QTest::qWait(500);
    const QString inputs = server.pactl({"list", "sink-inputs"});
    EXPECT_TRUE(inputs.contains("application.name = \"Brindlo\"")) << inputs.toStdString();
    EXPECT_TRUE(inputs.contains("media.name = \"tones.mp3\"")) << inputs.toStdString();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->media.isPlaying(); }, 15000));
    QTest::qWait(500);
    const Heard heard = listen(server.stopRecording());
    EXPECT_NEAR(heard.seconds, 6.0, 0.3);
    EXPECT_NEAR(heard.firstHz, 440.0, 10.0);
    EXPECT_NEAR(heard.secondHz, 880.0, 15.0);

    // The server hangs. A double-click closes the file and opens another;
    // neither may hold the window.
    server.hang();
    Heartbeat heartbeat;
    heartbeat.start();
    QElapsedTimer clock;
    clock.start();
    reports.clear();
    doubleClickFile("again.mp3");
    constexpr std::int32_t kOpening = player::MediaPlayer::kOpening;
    EXPECT_EQ(reports, (std::vector<std::int32_t>{0, kOpening})); // closed at once
    EXPECT_EQ(w->media.statusText(), QStringLiteral("Opening again.mp3\u2026"));
    ASSERT_TRUE(settle(20000));
    EXPECT_LT(clock.elapsed(), 5000); // the server gets 2 s, not 30
    EXPECT_EQ(reports, (std::vector<std::int32_t>{0, kOpening, 1}));
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->media.statusText(), "Sound server not answering: playing again.mp3 silently");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->media.CurrentPosition() > 0.3; }, 5000));

    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // close
    EXPECT_FALSE(w->blnFileOpen);
    QTest::qWait(200);
    EXPECT_LT(heartbeat.longestStallMs(), kPromptMs);
}

TEST_F(SoundServerWindow, HungServerNeverHoldsTheTransportAndAFreshPlayerPlaysAfterIt) {
    doubleClickFile("tones.mp3");
    ASSERT_TRUE(settle());
    ASSERT_TRUE(says("Playing tones.mp3"));
    QTest::qWait(300);

    server.hang();
    // Nothing is heard now: the strip stops saying that it plays.
    EXPECT_TRUE(says("Sound server not answering: tones.mp3 waits", 5000 * kSlowdown))
        << w->media.statusText().toStdString();
    Heartbeat heartbeat;
    heartbeat.start();
    const auto click = [&](const char* name) {
        auto* button = qobject_cast<QToolButton*>(stripControl(QString::fromUtf8(name)));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    };
    const auto key = [&](const char* name, Qt::Key k) {
        QWidget* slider = stripControl(QString::fromUtf8(name));
        ASSERT_NE(slider, nullptr) << name;
        slider->setFocus();
        QTest::keyClick(slider, k);
    };
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const std::vector<Step> steps = {
        {"pause", [&] { click("Pause"); }},
        {"play", [&] { w->media.play(); }},
        {"stop", [&] { click("Stop"); }},
        {"seek", [&] { key("Position", Qt::Key_Right); }},
        {"volume", [&] { key("Volume", Qt::Key_Down); }},
        {"mute", [&] { click("Mute"); }},
    };
    for (const Step& step : steps) {
        QElapsedTimer clock;
        clock.start();
        step.act();
        EXPECT_LT(clock.elapsed(), kPromptMs) << step.what;
        QTest::qWait(30);
    }
    // The player never answered: it is given up, and the file is closed.
    ASSERT_TRUE(says("Sound server not answering: playback ended"));
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_EQ(reports.back(), 0);

    // A new open, still into the hung server, then Close.
    QElapsedTimer clock;
    clock.start();
    doubleClickFile("other.mp3");
    EXPECT_LT(clock.elapsed(), kPromptMs) << "open";
    EXPECT_TRUE(says("Sound server not answering: playing other.mp3 silently"));
    clock.restart();
    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton);
    EXPECT_LT(clock.elapsed(), kPromptMs) << "close";
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_LT(heartbeat.longestStallMs(), kPromptMs);

    // Once the server answers again, and once it has died and come back at
    // the same socket, an open plays, and only that file is heard.
    server.resume();
    QTest::qWait(500);
    click("Unmute"); // pressed while the server hung
    expectTonesHeard();
    ASSERT_TRUE(server.restart()) << "the test's own PulseAudio did not start again";
    expectTonesHeard();
}

TEST_F(SoundServerWindow, ServerThatDiesWhilePlayingIsNotTheFilesFault) {
    doubleClickFile("tones.mp3");
    ASSERT_TRUE(settle());
    ASSERT_TRUE(w->blnFileOpen);
    QTest::qWait(500);
    reports.clear();
    server.killNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->blnFileOpen; }, 10000));
    EXPECT_EQ(reports, std::vector<std::int32_t>{0});
    EXPECT_EQ(w->media.statusText(), "The sound server stopped: playback ended");
}

// The program's end while the server hangs, in a child process: this test
// program run again for the one test below.
TEST(SoundServerExit, ClosingTheWindowWhileTheServerHangsEndsAtOnce) {
    SoundServer server;
    ASSERT_TRUE(server.ready()) << "the test's own PulseAudio did not start";
    testing_support::TempTree tree;
    const QString wave = tree.file("tones.wav", twoToneWave());
    ASSERT_EQ(QProcess::execute("lame", {"--quiet", "-b", "128", wave, tree.path("tones.mp3")}), 0);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BRINDLO_CHILD_FILE", tree.path("tones.mp3"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=SoundServerChild.DISABLED_PlaysUntilToldToClose"});
    ASSERT_TRUE(child.waitForStarted(5000));
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains("playing\n") && clock.elapsed() < 30000 &&
           child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        out += child.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("playing\n")) << out.toStdString();

    server.hang();
    QTest::qWait(300);
    clock.restart();
    child.write("close\n");
    child.waitForBytesWritten(1000);
    const bool ended = child.waitForFinished(5000);
    const qint64 took = clock.elapsed();
    if (!ended) child.kill();
    ASSERT_TRUE(ended);
    EXPECT_LT(took, kLeaveMs);
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    const QString errors = QString::fromUtf8(child.readAllStandardError());
    for (const char* word : {"GLib", "CRITICAL", "WARNING", "QThread", "abort"})
        EXPECT_FALSE(errors.contains(QString::fromUtf8(word))) << errors.toStdString();
}

// Run only as the child of the test above.
TEST(SoundServerChild, DISABLED_PlaysUntilToldToClose) {
    auto w = std::make_unique<frmBrindlo>(); // the system's sound output
    w->show();
    w->varCurrentFile = qEnvironmentVariable("BRINDLO_CHILD_FILE");
    w->File1_DblClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->media.isPlaying(); }, 30000));
    std::printf("playing\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    w->close();
    w.reset();
}

} // namespace
