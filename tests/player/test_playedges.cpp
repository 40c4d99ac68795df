// Files whose audio sits behind something else: junk, a chain of tags, a
// damaged tag. Each either plays or says why in plain words; none opens
// and then stops in silence.
#include "player/mediaplayer.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using player::MediaPlayer;
using State = player::PlayerEngine::State;

QByteArray fixtureBytes(const char* name) {
    QFile f(QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/") + QString::fromUtf8(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An ID3v2 header: version, flags, and a size in the four bytes as given.
QByteArray id3Header(char version, QByteArray size) {
    return QByteArray("ID3") + version + '\0' + '\0' + size;
}

QByteArray syncsafe(int n) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((n >> (21 - 7 * i)) & 0x7f);
    return bytes;
}

struct Edge {
    const char* name;
    std::function<QByteArray(const QByteArray& audio)> make;
    bool mustPlay; // false: playing it or a plain refusal will both do
};

void PrintTo(const Edge& e, std::ostream* os) {
    *os << e.name;
}

QByteArray junkPrefix(const QByteArray& audio) {
    return QByteArray(64 * 1024, '\0') + audio;
}

QByteArray chainedTags(const QByteArray& audio) {
    QByteArray chain;
    const QByteArray frame = QByteArray("TIT2") + syncsafe(3) + '\0' + '\0' + '\0' +
                             "\x03"
                             "ab";
    for (int i = 0; i < 2000; ++i)
        chain += id3Header('\x04', syncsafe(frame.size())) + frame;
    return chain + audio;
}

// Writes the 2 s fixture, made into an edge case, as edge.mp3 in dir.
QString writeEdge(const QTemporaryDir& dir,
                  const std::function<QByteArray(const QByteArray&)>& make) {
    const QByteArray audio = fixtureBytes("cbr.mp3");
    if (audio.isEmpty()) return {};
    const QString path = dir.filePath("edge.mp3");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(make(audio)) < 0) return {};
    return path;
}

class PlaybackEdges : public testing::TestWithParam<Edge> {};

TEST_P(PlaybackEdges, PlaysOrSaysWhy) {
    const Edge& edge = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeEdge(dir, edge.make);
    ASSERT_FALSE(path.isEmpty());

    MediaPlayer player(nullptr, MediaPlayer::AudioOutput::Silent);
    std::vector<std::int32_t> reports;
    player.OpenStateNotify.connect(
        [&](std::int32_t, std::int32_t state) { reports.push_back(state); });
    player.setFileName(path);
    // A slow open says it is opening first; what counts is how it ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player.isOpening(); }, 120000));
    std::erase(reports, MediaPlayer::kOpening);
    ASSERT_FALSE(reports.empty());

    if (reports.front() == MediaPlayer::kOpen) {
        EXPECT_NEAR(player.Duration(), 2.0, 0.03);
        // Heard, not just opened: the position moves and it ends at the end.
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.CurrentPosition() > 0.5; }, 5000))
            << player.statusText().toStdString();
        QTest::qWait(2500);
        const QString status = player.statusText();
        EXPECT_TRUE(status == "Stopped edge.mp3" || status == "Playing edge.mp3")
            << status.toStdString();
        EXPECT_EQ(reports, std::vector<std::int32_t>{MediaPlayer::kOpen});
    } else {
        EXPECT_FALSE(edge.mustPlay) << player.statusText().toStdString();
        // Words for a listener: no library's names or codes.
        EXPECT_FALSE(player.statusText().contains(QRegularExpression(
            "[_()]|gst|GStreamer|mpg123|pa_", QRegularExpression::CaseInsensitiveOption)))
            << player.statusText().toStdString();
        EXPECT_TRUE(player.statusText().startsWith("Cannot play edge.mp3: "));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlaybackEdges,
    testing::Values(
        // GStreamer by itself finds the first frame only near the start,
        // and takes a chain of tags apart one tag at a time.
        Edge{"JunkPrefix", junkPrefix, true},
        Edge{"ShortJunkPrefix", [](const QByteArray& a) { return QByteArray(2000, '\0') + a; },
             true},
        Edge{"ChainedTags", chainedTags, true},
        // Size bytes with their top bits set are not a valid ID3v2.4 size.
        Edge{"DamagedTagSize",
             [](const QByteArray& a) { return id3Header('\x04', QByteArray(4, '\xff')) + a; },
             false},
        Edge{"TagSizePastTheEnd",
             [](const QByteArray& a) { return id3Header('\x04', syncsafe(1 << 26)) + a; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the player is handed the audio from its first frame on, a seek in
// time must still land in the audio, not at the start of the file.
TEST(PlaybackEdges, SeeksBehindJunkAndTags) {
    for (const auto& make : {junkPrefix, chainedTags}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = writeEdge(dir, make);
        ASSERT_FALSE(path.isEmpty());
        MediaPlayer player(nullptr, MediaPlayer::AudioOutput::Silent);
        std::vector<std::int32_t> reports;
        player.OpenStateNotify.connect(
            [&](std::int32_t, std::int32_t state) { reports.push_back(state); });
        player.setFileName(path);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !player.isOpening(); }, 60000));
        std::erase(reports, MediaPlayer::kOpening);
        ASSERT_FALSE(reports.empty());
        ASSERT_EQ(reports.front(), MediaPlayer::kOpen) << player.statusText().toStdString();
        player.pause();
        player.seek(1.0);
        QTest::qWait(500); // the paused pipeline settles at the new place
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.state() == State::Paused; }, 5000));
        EXPECT_NEAR(player.CurrentPosition(), 1.0, 0.1);
        player.play();
        QTest::qWait(300);
        EXPECT_GE(player.CurrentPosition(), 0.95) << player.statusText().toStdString();
        EXPECT_EQ(reports, std::vector<std::int32_t>{MediaPlayer::kOpen});
    }
}

} // namespace
