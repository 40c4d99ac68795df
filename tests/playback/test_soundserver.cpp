// The window plays into a real sound server: a PulseAudio of the test's
// own with a null sink, whose monitor is recorded and listened to. Then the
// server hangs (SIGSTOP) and dies (SIGKILL), and the window must neither
// wait for it nor blame the file.
#include "soundserver.h"
#include "testsupport.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using testing_support::Heartbeat;
using testing_support::SoundServer;

constexpr int kRate = 44100;

// 3 s of 440 Hz, then 3 s of 880 Hz, as a mono 16-bit WAV.
QByteArray twoToneWave() {
    const int samples = 6 * kRate;
    QByteArray data;
    data.reserve(samples * 2);
    for (int i = 0; i < samples; ++i) {
        const double hz = i < 3 * kRate ? 440.0 : 880.0;
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
    EXPECT_EQ(reports, std::vector<std::int32_t>{0}); // closed at once
    EXPECT_EQ(w->media.statusText(), QStringLiteral("Opening again.mp3\u2026"));
    ASSERT_TRUE(settle(20000));
    EXPECT_LT(clock.elapsed(), 8000); // the server gets 5 s, not 30
    EXPECT_EQ(reports, (std::vector<std::int32_t>{0, 1}));
    EXPECT_TRUE(w->blnFileOpen);
    EXPECT_EQ(w->media.statusText(), "Sound server not answering: playing again.mp3 silently");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->media.CurrentPosition() > 0.3; }, 5000));

    QTest::mouseClick(w->cmdOpen.button(), Qt::LeftButton); // close
    EXPECT_FALSE(w->blnFileOpen);
    QTest::qWait(200);
    // Generous: this proves "does not wait 5 or 30 s", not a speed.
    EXPECT_LT(heartbeat.longestStallMs(), 1000);
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

} // namespace
