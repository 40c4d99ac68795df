// The transport bar as a user and a screen reader meet it: real clicks and
// key presses on the real player, on the silent sink.
#include "player/mediaplayer.h"
#include "player/positionslider.h"
#include "player/statuslabel.h"

#include <QAccessible>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace {

using player::MediaPlayer;
using player::PositionSlider;
using player::StatusLabel;
using State = player::PlayerEngine::State;

QString fixture(const char* name) {
    return QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/") + QString::fromUtf8(name);
}

constexpr int kWide = 10815;   // the strip's widths in the window, in twips
constexpr int kCompact = 7215; // the window is 7350 wide in compact mode

// A player in a shown window, as the window places it.
class Strip : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        player_ = new MediaPlayer(&window_, MediaPlayer::AudioOutput::Silent);
        place(kWide);
        window_.resize(800, 100);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        position_ = player_->findChild<PositionSlider*>();
        status_ = player_->findChild<StatusLabel*>();
        ASSERT_NE(position_, nullptr);
        ASSERT_NE(status_, nullptr);
    }

    void place(int twips) {
        player_->move(0, 0, twips, 615);
        QCoreApplication::processEvents();
    }

    // Opens a copy of a fixture under the given name and holds it at its
    // start, so that positions do not run on while they are checked.
    void openPaused(const char* source, const QString& name = QStringLiteral("song.mp3")) {
        const QString path = dir_.filePath(name);
        ASSERT_TRUE(QFile::copy(fixture(source), path));
        player_->setFileName(path);
        // The first open of a test program may end from the event loop.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !player_->isOpening(); }, 30000));
        ASSERT_TRUE(player_->isOpen()) << player_->statusText().toStdString();
        player_->pause();
        player_->seek(0.0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return player_->state() == State::Paused; }, 5000));
    }

    QWidget* control(const char* name) const {
        for (QWidget* child : player_->findChildren<QWidget*>())
            if (child->accessibleName() == QLatin1String(name)) return child;
        return nullptr;
    }

    bool positionNear(double seconds, double tolerance) {
        return QTest::qWaitFor(
            [&] { return std::abs(player_->CurrentPosition() - seconds) <= tolerance; }, 3000);
    }

    QWidget window_;
    MediaPlayer* player_ = nullptr;
    PositionSlider* position_ = nullptr;
    StatusLabel* status_ = nullptr;
    QTemporaryDir dir_;
};

// A click on either bar goes to the place clicked, not a page towards it.
// From the start (position) and from full (volume) a page step would land
// far from these places.
TEST_F(Strip, ClickOnABarJumpsToThePlaceClicked) {
    openPaused("cbr.mp3");
    QSlider* volume = qobject_cast<QSlider*>(control("Volume"));
    ASSERT_NE(volume, nullptr);
    for (const double fraction : {0.3, 0.7}) {
        SCOPED_TRACE(fraction);
        player_->seek(0.0);
        player_->setVolume(1.0);
        const int y = position_->height() / 2;
        QTest::mouseClick(position_, Qt::LeftButton, {},
                          QPoint(static_cast<int>(fraction * position_->width()), y));
        EXPECT_TRUE(positionNear(fraction * player_->Duration(), 0.25))
            << player_->CurrentPosition();
        EXPECT_EQ(player_->state(), State::Paused);

        QTest::mouseClick(volume, Qt::LeftButton, {},
                          QPoint(static_cast<int>(fraction * volume->width()), y));
        EXPECT_NEAR(player_->volume(), fraction, 0.15);
    }
}

TEST_F(Strip, MuteButtonSilencesAndGivesBackTheLevel) {
    auto* mute = qobject_cast<QToolButton*>(control("Mute"));
    ASSERT_NE(mute, nullptr);
    player_->setVolume(0.6);
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(player_->volume(), 0.0);
    EXPECT_EQ(mute->accessibleName(), "Unmute");
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_NEAR(player_->volume(), 0.6, 0.001);
    EXPECT_EQ(mute->accessibleName(), "Mute");
    // Choosing a level while muted is wanting to hear it.
    QTest::mouseClick(mute, Qt::LeftButton);
    player_->setVolume(0.4);
    EXPECT_FALSE(player_->isMuted());
    EXPECT_NEAR(player_->volume(), 0.4, 0.001);
}

struct KeyCase {
    const char* name;
    int fromMs;
    int key;
    std::optional<int> seekMs; // none: the key does not seek
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class StripKeys : public testing::TestWithParam<KeyCase> {};

// Four minutes on the bar: keys step in seconds and never reach the end,
// which would finish the file.
TEST_P(StripKeys, StepInSecondsAndStayInsideTheFile) {
    const KeyCase& c = GetParam();
    PositionSlider slider(nullptr);
    slider.setRange(0, 240000);
    slider.showPosition(c.fromMs);
    std::vector<int> seeks;
    QObject::connect(&slider, &PositionSlider::seekRequested, [&](int ms) { seeks.push_back(ms); });
    QTest::keyClick(&slider, static_cast<Qt::Key>(c.key));
    EXPECT_EQ(seeks, c.seekMs ? std::vector<int>{*c.seekMs} : std::vector<int>{});
    EXPECT_EQ(slider.sliderPosition(), c.seekMs.value_or(c.fromMs));
}

INSTANTIATE_TEST_SUITE_P(
    FourMinutes, StripKeys,
    testing::Values(KeyCase{"RightFiveSeconds", 100000, Qt::Key_Right, 105000},
                    KeyCase{"LeftFiveSeconds", 100000, Qt::Key_Left, 95000},
                    KeyCase{"PageUpThirtySeconds", 100000, Qt::Key_PageUp, 130000},
                    KeyCase{"PageDownThirtySeconds", 100000, Qt::Key_PageDown, 70000},
                    KeyCase{"HomeToTheStart", 100000, Qt::Key_Home, 0},
                    KeyCase{"EndStopsShortOfTheEnd", 100000, Qt::Key_End, 237000},
                    KeyCase{"RightNearTheEndStopsShort", 236000, Qt::Key_Right, 237000},
                    KeyCase{"RightPastTheLastStepStays", 238500, Qt::Key_Right, std::nullopt},
                    KeyCase{"EndFromPastTheLastStepGoesToIt", 238500, Qt::Key_End, 237000},
                    KeyCase{"LeftNearTheStartStopsAtIt", 2000, Qt::Key_Left, 0},
                    KeyCase{"HomeAtTheStartStays", 0, Qt::Key_Home, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// 26.6 days of 8 kbit/s frames do not fit an int of milliseconds: the bar
// counts in units of 3 ms, and keys, the end and the spoken text still
// speak seconds.
TEST(StripKeys, AFileOfWeeksStepsInSecondsToo) {
    constexpr double kMs = 2300000000.0;
    PositionSlider slider(nullptr);
    slider.setMsPerUnit(3);
    slider.setRange(0, static_cast<int>(kMs / 3));
    const int middle = slider.unitsAt(1000000.0);
    slider.showPosition(middle);
    std::vector<int> seeks;
    QObject::connect(&slider, &PositionSlider::seekRequested, [&](int u) { seeks.push_back(u); });
    QTest::keyClick(&slider, Qt::Key_Right);
    QTest::keyClick(&slider, Qt::Key_End);
    ASSERT_EQ(seeks.size(), 2u);
    EXPECT_EQ(slider.secondsAt(seeks[0]), 1000005);
    EXPECT_EQ(slider.secondsAt(seeks[1]), 2300000 - 3);
    EXPECT_EQ(slider.valueText(), "38333:17 of 38333:20");
}

// A touchpad turns the wheel in small parts; a step is a whole notch.
TEST(StripWheel, StepsByWholeNotches) {
    PositionSlider slider(nullptr);
    slider.setRange(0, 240000);
    slider.showPosition(100000);
    std::vector<int> seeks;
    QObject::connect(&slider, &PositionSlider::seekRequested, [&](int ms) { seeks.push_back(ms); });
    const auto turn = [&](int delta) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&slider, &event);
    };
    turn(60);
    EXPECT_TRUE(seeks.empty());
    turn(60);
    turn(-120);
    EXPECT_EQ(seeks, (std::vector<int>{105000, 100000}));
}

TEST_F(Strip, EndKeyKeepsAShortFileOpenAndInside) {
    openPaused("cbr.mp3");
    player_->setAutoRewind(true);
    position_->setFocus();
    QTest::keyClick(position_, Qt::Key_End);
    EXPECT_TRUE(positionNear(0.9 * player_->Duration(), 0.05)) << player_->CurrentPosition();
    EXPECT_EQ(player_->state(), State::Paused);
    QTest::keyClick(position_, Qt::Key_Home);
    EXPECT_TRUE(positionNear(0.0, 0.05)) << player_->CurrentPosition();
}

player::StatusLine statusOf(State state, const QString& name, bool noDevice,
                            const QString& failure) {
    player::StatusFacts facts;
    facts.state = state;
    facts.name = name;
    facts.noDevice = noDevice;
    facts.failure = failure;
    return player::composeStatus(facts);
}

// The words of the status line are whole at both widths; only the name is
// shortened, in its middle, so ".mp3" stays.
TEST_F(Strip, StatusLineKeepsItsWordsAndShortensTheName) {
    const QString longName =
        QStringLiteral("A song whose name runs on far longer than any strip is wide.mp3");
    const QString path = dir_.filePath(longName);
    ASSERT_TRUE(QFile::copy(fixture("text.mp3"), path));
    struct Line {
        const char* name;
        player::StatusLine line;
    };
    const Line lines[] = {
        {"failed", statusOf(State::Closed, longName, false, "not an MP3 file")},
        {"silent", statusOf(State::Playing, longName, true, {})},
        {"paused", statusOf(State::Paused, longName, false, {})},
    };
    for (const int width : {kWide, kCompact}) {
        place(width);
        // The real failure first: the player composes it itself.
        player_->setFileName(path);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !player_->isOpening(); }, 30000));
        EXPECT_EQ(player_->statusText(), "Cannot play " + longName + ": not an MP3 file");
        QCoreApplication::processEvents();
        for (const Line& l : lines) {
            SCOPED_TRACE(std::string(l.name) + " at " + std::to_string(width));
            if (std::string(l.name) != "failed") status_->setLine(l.line);
            QCoreApplication::processEvents(); // the bar lays out again
            const QString shown = status_->text();
            EXPECT_TRUE(shown.startsWith(l.line.before)) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(".mp3" + l.line.after)) << shown.toStdString();
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_LE(status_->fontMetrics().horizontalAdvance(shown), status_->width());
            EXPECT_EQ(status_->toolTip(), l.line.text());
            EXPECT_EQ(status_->accessibleDescription(), l.line.text());
            // It stays inside the strip and leaves the position bar its room.
            EXPECT_LE(status_->geometry().right(), player_->width());
            EXPECT_GE(position_->width(), 60);
        }
    }
}

TEST(StripStatus, NamesTheFileInEveryState) {
    struct Case {
        State state;
        bool silent;
        QString failure;
        QString text;
    };
    const Case cases[] = {
        {State::Playing, false, {}, "Playing song.mp3"},
        {State::Paused, false, {}, "Paused song.mp3"},
        {State::Stopped, false, {}, "Stopped song.mp3"},
        {State::Playing, true, {}, "No sound device: playing song.mp3 silently"},
        {State::Closed, false, "not an MP3 file", "Cannot play song.mp3: not an MP3 file"},
        {State::Closed, false, {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(statusOf(c.state, "song.mp3", c.silent, c.failure).text(), c.text);
}

// What a screen reader is told. Qt announces a widget's new accessible
// name by itself, and a slider's change of value; the offscreen platform
// has no reader to catch those events, so the names and the slider's
// value are watched here.
using StripReader = Strip;

TEST_F(StripReader, PlayPauseAndTheStatusLineAreNamedByTheirState) {
    const QString path = dir_.filePath("song.mp3");
    ASSERT_TRUE(QFile::copy(fixture("cbr.mp3"), path));
    player_->setFileName(path);
    // The first open of a test program may end from the event loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player_->isOpening(); }, 30000));
    // The strip says what the player reported, a moment after the click.
    const auto nameOf = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QWidget* playPause = control("Pause");
    ASSERT_NE(playPause, nullptr);
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(status_);
    EXPECT_EQ(status->text(QAccessible::Name), "Playing song.mp3");

    QTest::mouseClick(qobject_cast<QToolButton*>(playPause), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return nameOf(playPause) == "Play"; }, 5000));
    EXPECT_EQ(status->text(QAccessible::Name), "Paused song.mp3");
    EXPECT_EQ(status->text(QAccessible::Description), "Paused song.mp3");

    player_->setFileName(QString());
    EXPECT_EQ(status->text(QAccessible::Name), "Player status"); // never nameless
}

TEST_F(StripReader, PositionSpeaksMinutesAndSecondsAndKeepsQuietWhilePlaying) {
    openPaused("cbr.mp3");
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(position_);
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(reader->valueInterface(), nullptr);
    EXPECT_EQ(reader->role(), QAccessible::Slider);
    EXPECT_EQ(reader->text(QAccessible::Name), "Position");
    player_->seek(1.0);
    EXPECT_EQ(reader->text(QAccessible::Value), "0:01 of 0:02");
    EXPECT_EQ(reader->text(QAccessible::Description), "0:01 of 0:02");
    EXPECT_EQ(reader->valueInterface()->currentValue().toInt(), 1);
    EXPECT_EQ(reader->valueInterface()->maximumValue().toInt(), 2);

    player_->seek(0.0);
    player_->play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player_->isPlaying(); }, 5000));
    int changes = 0;
    QObject::connect(position_, &QSlider::valueChanged, [&] { ++changes; });
    QTest::qWait(1000); // two polls
    EXPECT_GT(player_->CurrentPosition(), 0.4);
    EXPECT_GT(position_->sliderPosition(), 400); // the handle moves
    EXPECT_EQ(changes, 0);                       // and nothing is announced
    // The user's own move is.
    position_->setFocus();
    QTest::keyClick(position_, Qt::Key_End);
    EXPECT_EQ(changes, 1);
}

} // namespace
