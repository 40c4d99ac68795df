#include "files/filename.h"
#include "player/mediaplayer.h"
#include "player/playerengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <mpg123.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using player::MediaPlayer;
using State = player::PlayerEngine::State;

QString fixture(const char* name) {
    return QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/") + QString::fromUtf8(name);
}

// The oracle for lengths: decode every sample and count them. This is the
// decoder's own road through the file, not the frame scan the player uses.
double decodedSeconds(const QString& path) {
    int error = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    double seconds = -1.0;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(decoder, QFile::encodeName(path).constData()) == MPG123_OK &&
        mpg123_getformat(decoder, &rate, &channels, &encoding) == MPG123_OK) {
        const auto frameBytes = static_cast<std::size_t>(channels * mpg123_encsize(encoding));
        std::vector<unsigned char> buffer(1 << 16);
        long long samples = 0;
        int result = MPG123_OK;
        do {
            std::size_t done = 0;
            result = mpg123_read(decoder, buffer.data(), buffer.size(), &done);
            samples += static_cast<long long>(done / frameBytes);
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
        seconds = static_cast<double>(samples) / static_cast<double>(rate);
    }
    mpg123_close(decoder);
    mpg123_delete(decoder);
    return seconds;
}

// Every player test runs the real engine on the silent sink.
class PlayerTest : public testing::Test {
protected:
    void SetUp() override {
        player_ = std::make_unique<MediaPlayer>(nullptr, MediaPlayer::AudioOutput::Silent);
        player_->OpenStateNotify.connect(
            [this](std::int32_t, std::int32_t state) { notified_.push_back(state); });
        ASSERT_TRUE(dir_.isValid());
    }

    // Puts the name and returns the notifications it gave once the open has
    // ended and a file that opened plays. An open slower than the player
    // waits (a busy machine) says kOpening first; that has a test of its
    // own, so it is left out here.
    std::vector<std::int32_t> put(const QString& path) {
        notified_.clear();
        player_->setFileName(path);
        waitFor([&] { return !player_->isOpening(); }, 30000);
        std::erase(notified_, MediaPlayer::kOpening);
        return notified_;
    }

    // The strip shows what the player reported, which comes a moment after
    // the command.
    bool says(const QString& status) {
        return waitFor([&] { return player_->statusText() == status; });
    }

    bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
        return QTest::qWaitFor(condition, ms);
    }

    std::unique_ptr<MediaPlayer> player_;
    std::vector<std::int32_t> notified_;
    QTemporaryDir dir_;
};

struct LengthCase {
    const char* file;
    double encodedSeconds; // of the tone we encoded; < 0 where the decoder
                           // cannot know the encoder's padding (no LAME tag)
    int frameSamples;
    int rate;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.file;
}

class PlaybackDuration : public PlayerTest, public testing::WithParamInterface<LengthCase> {};

TEST_P(PlaybackDuration, IsTheDecodedLengthWithinOneFrame) {
    const LengthCase& c = GetParam();
    const QString path = fixture(c.file);
    const double frame = static_cast<double>(c.frameSamples) / c.rate;
    const double decoded = decodedSeconds(path);
    ASSERT_GT(decoded, 0.5);

    EXPECT_EQ(put(path), std::vector<std::int32_t>{MediaPlayer::kOpen});
    EXPECT_NEAR(player_->Duration(), decoded, frame);
    if (c.encodedSeconds > 0) {
        EXPECT_NEAR(player_->Duration(), c.encodedSeconds, frame);
    }

    put(QString());
    EXPECT_EQ(player_->Duration(), 0.0);
    EXPECT_EQ(player_->CurrentPosition(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PlaybackDuration,
                         testing::Values(LengthCase{"cbr.mp3", 2.0, 1152, 44100},
                                         LengthCase{"vbr-xing.mp3", 2.0, 1152, 44100},
                                         // GStreamer cannot tell this one's length at all
                                         LengthCase{"vbr-noxing.mp3", -1, 1152, 44100},
                                         LengthCase{"mono8k.mp3", -1, 576, 8000},
                                         LengthCase{"truncated.mp3", -1, 1152, 44100}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             name.resize(name.find('.'));
                             std::erase(name, '-');
                             return name;
                         });

using PlaybackOpenState = PlayerTest;

TEST_F(PlaybackOpenState, NotifiesBeforeReturningAndRecoversAfterEachBadFile) {
    const QString good = fixture("cbr.mp3");
    const QString folder = dir_.filePath("folder.mp3");
    const QString fifo = dir_.filePath("fifo.mp3");
    const QString vanished = dir_.filePath("vanished.mp3");
    const QString locked = dir_.filePath("locked.mp3");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::copy(good, vanished));
    ASSERT_TRUE(QFile::remove(vanished));
    ASSERT_TRUE(QFile::copy(good, locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));

    struct Bad {
        QString path;
        QString status;
    };
    std::vector<Bad> bad = {
        {fixture("text.mp3"), "Cannot play text.mp3: not an MP3 file"},
        {fixture("wave.mp3"), "Cannot play wave.mp3: not an MP3 file"},
        {fixture("empty.mp3"), "Cannot play empty.mp3: the file is empty"},
        {vanished, "Cannot play vanished.mp3: no such file"},
        {folder, "Cannot play folder.mp3: it is a folder"},
        {fifo, "Cannot play fifo.mp3: not a regular file"},
    };
    if (::geteuid() != 0) // root reads everything
        bad.push_back({locked, "Cannot play locked.mp3: permission denied"});

    for (const Bad& b : bad) {
        SCOPED_TRACE(b.path.toStdString());
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(put(b.path), std::vector<std::int32_t>{MediaPlayer::kClosed});
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(player_->statusText(), b.status);
        EXPECT_EQ(player_->FileName(), QString()); // nothing is loaded
        EXPECT_FALSE(player_->isOpen());
        EXPECT_EQ(player_->Duration(), 0.0);

        EXPECT_EQ(put(good), std::vector<std::int32_t>{MediaPlayer::kOpen});
        EXPECT_TRUE(player_->isPlaying());
        EXPECT_EQ(player_->statusText(), "Playing cbr.mp3");
        EXPECT_EQ(player_->FileName(), good);
    }

    // Another file while one plays switches to it with a single notification.
    EXPECT_EQ(put(fixture("mono8k.mp3")), std::vector<std::int32_t>{MediaPlayer::kOpen});
    EXPECT_GT(player_->Duration(), 2.1);

    EXPECT_EQ(put(QString()), std::vector<std::int32_t>{MediaPlayer::kClosed});
    EXPECT_EQ(player_->FileName(), QString());
    EXPECT_EQ(player_->statusText(), QString());
    EXPECT_FALSE(player_->isOpen());
}

// "café.mp3" in Latin-1 is not UTF-8. A lossy conversion would turn it into
// "caf\uFFFD.mp3", so a different file waits under that name.
TEST_F(PlaybackOpenState, NameThatIsNotUtf8OpensItsOwnFile) {
    const QByteArray raw = QFile::encodeName(dir_.path()) + "/caf\xe9.mp3";
    const QString lossy = dir_.filePath(QStringLiteral("caf\uFFFD.mp3"));
    const QString name = files::decodeFileName(raw);
    // QTemporaryDir cannot remove what Qt cannot name.
    const std::unique_ptr<const char, void (*)(const char*)> removeRaw(
        raw.constData(), [](const char* path) { ::unlink(path); });
    QFile source(fixture("cbr.mp3"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray audio = source.readAll();
    // Through the raw bytes: Qt's own name conversion is the lossy one.
    std::FILE* target = std::fopen(raw.constData(), "wb");
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(std::fwrite(audio.constData(), 1, audio.size(), target), std::size_t(audio.size()));
    std::fclose(target);
    ASSERT_TRUE(QFile::copy(fixture("mono8k.mp3"), lossy));

    EXPECT_EQ(put(name), std::vector<std::int32_t>{MediaPlayer::kOpen});
    EXPECT_NEAR(player_->Duration(), 2.0, 0.03);
    EXPECT_EQ(player_->FileName(), name);
}

using PlaybackPlaying = PlayerTest;

TEST_F(PlaybackPlaying, PositionFollowsRealTime) {
    put(fixture("cbr.mp3"));
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const double position = player_->CurrentPosition();
    const double elapsed = clock.elapsed() / 1000.0;
    EXPECT_GE(position, 0.5);
    // A sink that does not keep time would be at the end already.
    EXPECT_LE(position, std::min(elapsed + 0.25, 1.95));
    EXPECT_TRUE(player_->isPlaying());
}

TEST_F(PlaybackPlaying, PauseSeekAndStopKeepTheFileOpen) {
    put(fixture("cbr.mp3"));
    player_->pause();
    EXPECT_TRUE(says("Paused cbr.mp3")) << player_->statusText().toStdString();
    const double held = player_->CurrentPosition();
    QTest::qWait(300);
    EXPECT_NEAR(player_->CurrentPosition(), held, 0.01);

    player_->seek(1.5);
    EXPECT_TRUE(waitFor([&] { return std::abs(player_->CurrentPosition() - 1.5) < 0.05; }));

    player_->stop();
    EXPECT_TRUE(says("Stopped cbr.mp3")) << player_->statusText().toStdString();
    EXPECT_NEAR(player_->CurrentPosition(), 0.0, 0.01);
    EXPECT_TRUE(player_->isOpen());

    // The user's step on the position slider seeks.
    auto* slider = player_->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    ASSERT_EQ(slider->accessibleName(), "Position");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right); // five seconds, but not past the last tenth
    EXPECT_TRUE(waitFor([&] { return std::abs(player_->CurrentPosition() - 1.8) < 0.05; }));

    player_->play();
    EXPECT_TRUE(says("Playing cbr.mp3")) << player_->statusText().toStdString();
    EXPECT_TRUE(waitFor([&] { return player_->CurrentPosition() > 1.2; }));
}

struct EndCase {
    const char* name;
    bool autoRewind;
    double endPosition;
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.name;
}

class PlaybackEnd : public PlayerTest, public testing::WithParamInterface<EndCase> {};

TEST_P(PlaybackEnd, StopsWithTheFileOpenAndPlaysAgain) {
    const EndCase& c = GetParam();
    put(fixture("cbr.mp3"));
    player_->setAutoRewind(c.autoRewind);
    player_->seek(1.0); // half the wait
    notified_.clear();

    ASSERT_TRUE(waitFor([&] { return player_->state() == State::Stopped; }, 8000));
    EXPECT_NEAR(player_->CurrentPosition(), c.endPosition, 0.01);
    EXPECT_TRUE(player_->isOpen());
    EXPECT_EQ(player_->statusText(), "Stopped cbr.mp3");
    EXPECT_TRUE(notified_.empty());
    EXPECT_NEAR(player_->Duration(), 2.0, 0.03);

    player_->play();
    EXPECT_TRUE(waitFor([&] { return player_->isPlaying(); }));
    EXPECT_TRUE(waitFor([&] {
        const double p = player_->CurrentPosition();
        return p > 0.2 && p < 1.0;
    }));
}

INSTANTIATE_TEST_SUITE_P(Modes, PlaybackEnd,
                         testing::Values(EndCase{"AutoRewind", true, 0.0},
                                         EndCase{"StayAtEnd", false, 2.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Going back from the very end: the end of the file that the first seek
// brings on must not stop the replay.
TEST_F(PlaybackPlaying, SeekBackFromTheEndKeepsPlaying) {
    put(fixture("cbr.mp3"));
    player_->setAutoRewind(true);
    player_->seek(1.99);
    player_->seek(0.0);
    QTest::qWait(400);
    EXPECT_TRUE(player_->isPlaying()) << player_->statusText().toStdString();
    EXPECT_GT(player_->CurrentPosition(), 0.2);
    EXPECT_LT(player_->CurrentPosition(), 1.0);
}

// A drag gives seeks faster than the player takes them: they are merged,
// and the player must end where the last one asked, not an earlier one.
TEST_F(PlaybackPlaying, ABurstOfSeeksEndsWhereTheLastAsked) {
    put(fixture("cbr.mp3"));
    player_->pause();
    ASSERT_TRUE(says("Paused cbr.mp3"));
    for (int i = 0; i < 200; ++i)
        player_->seek(0.01 * i);
    player_->seek(0.7);
    QTest::qWait(400); // every seek answered; the position is the player's own
    EXPECT_NEAR(player_->CurrentPosition(), 0.7, 0.05);
    EXPECT_EQ(player_->state(), State::Paused);
}

// A close while the open is still on its way: the open's thread ends, and
// nothing of the file reports or plays afterwards.
TEST_F(PlaybackOpenState, ACloseCancelsAPendingOpen) {
    player::PlayerEngine::delayOpensForTesting(std::chrono::milliseconds(300));
    notified_.clear();
    player_->setFileName(fixture("cbr.mp3"));
    player_->setFileName(QString());
    player::PlayerEngine::delayOpensForTesting(std::chrono::milliseconds(0));
    EXPECT_EQ(notified_, (std::vector<std::int32_t>{MediaPlayer::kOpening, MediaPlayer::kClosed}));
    EXPECT_TRUE(waitFor([] { return player::PlayerEngine::runningPlayersForTesting() == 0; }));
    QTest::qWait(200);
    EXPECT_EQ(notified_, (std::vector<std::int32_t>{MediaPlayer::kOpening, MediaPlayer::kClosed}));
    EXPECT_FALSE(player_->isOpen());
    EXPECT_EQ(player_->statusText(), QString());
}

TEST_F(PlaybackPlaying, DestroyingWhilePlayingStopsCleanly) {
    QElapsedTimer clock;
    clock.start();
    put(fixture("cbr.mp3"));
    QTest::qWait(200);
    player_.reset();

    // With messages still queued: right after opening, and with an end of
    // file waiting.
    player_ = std::make_unique<MediaPlayer>(nullptr, MediaPlayer::AudioOutput::Silent);
    player_->setFileName(fixture("vbr-xing.mp3"));
    player_.reset();
    player_ = std::make_unique<MediaPlayer>(nullptr, MediaPlayer::AudioOutput::Silent);
    player_->setFileName(fixture("cbr.mp3"));
    player_->seek(1.95);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    player_.reset();
    QTest::qWait(100);
    EXPECT_LT(clock.elapsed(), 5000);
}

class PlaybackStrip : public testing::TestWithParam<int> {};

// The window gives the strip 41 px at two widths and lays its time labels
// over the lowest 9 px.
TEST_P(PlaybackStrip, FitsInTheTopOfTheStripAndNamesEveryControl) {
    QWidget window;
    MediaPlayer player(&window, MediaPlayer::AudioOutput::Silent);
    player.move(0, 0, GetParam(), 615);
    window.resize(800, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(player.size(), QSize(controls::twipsToPixels(GetParam()), 41));
    EXPECT_EQ(player.mask().boundingRect(), QRect(0, 0, player.width(), 32));
    const QRect top(QPoint(0, 0), QSize(player.width(), 32));
    const auto children = player.findChildren<QWidget*>();
    ASSERT_FALSE(children.isEmpty());
    for (QWidget* child : children) {
        const QRect inStrip(child->mapTo(&player, QPoint(0, 0)), child->size());
        EXPECT_TRUE(top.contains(inStrip))
            << child->metaObject()->className() << " at " << inStrip.x() << "," << inStrip.y()
            << " " << inStrip.width() << "x" << inStrip.height();
        if (child->parentWidget() != &player) {
            EXPECT_FALSE(child->accessibleName().isEmpty()) << child->metaObject()->className();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, PlaybackStrip, testing::Values(10815, 7215));

} // namespace
