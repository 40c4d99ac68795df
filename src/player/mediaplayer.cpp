#include "player/mediaplayer.h"

#include "files/filename.h"
#include "player/stripicons.h"
#include "player/positionslider.h"
#include "player/statuslabel.h"

#include <QHBoxLayout>
#include <QRegion>
#include <QScopedValueRollback>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>

namespace player {
namespace {

// The window lets its time labels overlap the strip's lowest 9 px, so the
// bar keeps to the top and the rest of the strip is left to what is below.
constexpr int kBarHeight = 32;
constexpr int kButtonSize = 28;
// Short and fixed, so the volume never passes for a second position bar.
constexpr int kVolumeWidth = 56;
constexpr int kPollMs = 500;

// The name as the file list shows it, so that a name whose bytes are not
// UTF-8 reads the same in the list and in the strip.
QString displayName(const QString& path) {
    return files::shownFileName(path);
}

} // namespace

MediaPlayer::MediaPlayer(QWidget* parent, AudioOutput output)
    : QWidget(parent),
      engine_(new PlayerEngine(output == AudioOutput::Silent ? PlayerEngine::Output::Silent
                                                             : PlayerEngine::Output::System,
                               this)) {
    setAccessibleName(QStringLiteral("Media player"));
    buildBar();
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &MediaPlayer::showPosition);
    // The strip shows what the player last reported, as it comes.
    connect(engine_, &PlayerEngine::changed, this, &MediaPlayer::refresh);
    connect(engine_, &PlayerEngine::failed, this, &MediaPlayer::onFailed);
    connect(engine_, &PlayerEngine::opened, this, &MediaPlayer::onOpened);
    connect(engine_, &PlayerEngine::openFailed, this,
            [this](const QString& reason) { onFailed(reason, PlayerEngine::Fault::File); });
    refresh();
}

// The engine is our child: its destructor stops the pipeline cleanly.
MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::buildBar() {
    bar_ = new QWidget(this);
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    QStyle* clickJump = makeClickJumpStyle(this);

    const auto makeButton = [this](StripGlyph glyph, const QString& name) {
        auto* button = new QToolButton(bar_);
        button->setIcon(stripIcon(glyph));
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setAccessibleName(name);
        button->setToolTip(name);
        return button;
    };
    playButton_ = makeButton(StripGlyph::Play, QStringLiteral("Play"));
    stopButton_ = makeButton(StripGlyph::Stop, QStringLiteral("Stop"));
    muteButton_ = makeButton(StripGlyph::Speaker, QStringLiteral("Mute"));
    connect(playButton_, &QToolButton::clicked, this, [this] { isPlaying() ? pause() : play(); });
    connect(stopButton_, &QToolButton::clicked, this, &MediaPlayer::stop);
    connect(muteButton_, &QToolButton::clicked, this, [this] { setMuted(!muted_); });

    position_ = new PositionSlider(bar_);
    position_->setStyle(clickJump);
    position_->setAccessibleName(QStringLiteral("Position"));
    position_->setToolTip(QStringLiteral("Position"));
    position_->setMinimumWidth(60);
    // Only the user's moves seek; the poll only moves the handle.
    connect(position_, &QSlider::sliderMoved, this, &MediaPlayer::seekToSlider);
    connect(position_, &QSlider::sliderReleased, this, &MediaPlayer::seekToSlider);
    connect(position_, &PositionSlider::seekRequested, this,
            [this](int value) { engine_->seek(position_->timeAt(value)); });

    volume_ = new QSlider(Qt::Horizontal, bar_);
    volume_->setStyle(clickJump);
    volume_->setAccessibleName(QStringLiteral("Volume"));
    volume_->setToolTip(QStringLiteral("Volume"));
    volume_->setRange(0, 100);
    volume_->setValue(100);
    volume_->setFixedWidth(kVolumeWidth);
    // Choosing a level means wanting to hear it.
    connect(volume_, &QSlider::valueChanged, this, [this](int value) {
        if (muted_)
            setMuted(false);
        else
            engine_->setVolume(value / 100.0);
        emit stateChanged();
    });

    status_ = new StatusLabel(bar_);

    row->addWidget(playButton_);
    row->addWidget(stopButton_);
    row->addWidget(position_, 1);
    row->addWidget(muteButton_);
    row->addWidget(volume_);
    row->addWidget(status_, 1);
}

void MediaPlayer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int barHeight = std::min(height(), kBarHeight);
    bar_->setGeometry(0, 0, width(), barHeight);
    setMask(QRegion(0, 0, width(), barHeight));
}

void MediaPlayer::setFileName(const QString& path) {
    // A second open of the file that is still opening (a double-click does
    // that) would only start it over.
    if (!path.isEmpty() && engine_->isOpening() && path == fileName_) return;
    // A failure inside the load must not raise a second notification.
    const QScopedValueRollback guard(opening_, true);
    fileName_ = path;
    failure_.clear();
    serverStopped_ = false;
    serverHung_ = false;
    if (path.isEmpty()) {
        engine_->close();
        refresh();
        OpenStateNotify.raise(0, kClosed);
        return;
    }
    switch (engine_->open(path)) {
    case PlayerEngine::Opened::Now:
        showOpened();
        OpenStateNotify.raise(0, kOpen);
        break;
    case PlayerEngine::Opened::Failed:
        failure_ = engine_->errorText();
        refresh();
        OpenStateNotify.raise(0, kClosed);
        break;
    case PlayerEngine::Opened::Later:
        refresh(); // says that it is opening
        // The player holds the file from now on: saving to it is refused
        // and the next press closes it, as for an open file.
        OpenStateNotify.raise(0, kOpening);
        break;
    }
}

void MediaPlayer::showOpened() {
    position_->setLength(engine_->duration());
    refresh();
}

void MediaPlayer::onOpened() {
    showOpened();
    OpenStateNotify.raiseFromUser(0, kOpen);
}

QString MediaPlayer::FileName() const {
    // The name of the loaded file only: after a close or a failed open no
    // file is loaded, whatever was put.
    return engine_->isOpen() || engine_->isOpening() ? fileName_ : QString();
}

void MediaPlayer::setAutoRewind(bool on) {
    engine_->setAutoRewind(on);
}

void MediaPlayer::setShowStatusText(bool on) {
    status_->setVisible(on);
}

double MediaPlayer::Duration() const {
    return engine_->duration();
}

double MediaPlayer::CurrentPosition() const {
    return engine_->position();
}

void MediaPlayer::play() {
    engine_->play();
    refresh();
}

void MediaPlayer::pause() {
    engine_->pause();
    refresh();
}

void MediaPlayer::stop() {
    engine_->stop();
    refresh();
}

void MediaPlayer::seek(double seconds) {
    engine_->seek(seconds);
    showPosition();
}

void MediaPlayer::setVolume(double level) {
    volume_->setValue(static_cast<int>(std::lround(std::clamp(level, 0.0, 1.0) * 100.0)));
}

double MediaPlayer::volume() const {
    return engine_->volume();
}

void MediaPlayer::setMuted(bool muted) {
    muted_ = muted;
    engine_->setVolume(muted ? 0.0 : volume_->value() / 100.0);
    const QString action = muted ? QStringLiteral("Unmute") : QStringLiteral("Mute");
    muteButton_->setIcon(stripIcon(muted ? StripGlyph::SpeakerMuted : StripGlyph::Speaker));
    muteButton_->setAccessibleName(action);
    muteButton_->setToolTip(action);
    emit stateChanged();
}

void MediaPlayer::setIdleNote(const QString& note) {
    if (note == idleNote_) return;
    idleNote_ = note;
    refresh();
}

void MediaPlayer::setWaitNote(const QString& note) {
    if (note == waitNote_) return;
    waitNote_ = note;
    refresh();
}

bool MediaPlayer::isPlaying() const {
    return engine_->state() == PlayerEngine::State::Playing;
}

bool MediaPlayer::isOpen() const {
    return engine_->isOpen();
}

PlayerEngine::State MediaPlayer::state() const {
    return engine_->state();
}

void MediaPlayer::seekToSlider() {
    engine_->seek(position_->timeAt(position_->sliderPosition()));
}

void MediaPlayer::onFailed(const QString& reason, PlayerEngine::Fault fault) {
    // The sound server's end is no fault of the file: say so, in words.
    serverStopped_ = fault == PlayerEngine::Fault::SoundOutput;
    serverHung_ = fault == PlayerEngine::Fault::ServerNotAnswering;
    failure_ = serverStopped_ || serverHung_ ? QString() : reason;
    refresh();
    if (!opening_) OpenStateNotify.raiseFromUser(0, kClosed);
}

void MediaPlayer::refresh() {
    using State = PlayerEngine::State;
    const State state = engine_->state();
    const bool open = state != State::Closed;
    const QString name = fileName_.isEmpty() ? QString() : displayName(fileName_);
    StatusFacts facts;
    facts.state = state;
    facts.name = name;
    facts.opening = engine_->isOpening() || engine_->isStarting();
    facts.noDevice = engine_->playingSilently();
    facts.notAnswering = engine_->silence() == PlayerEngine::Silence::ServerNotAnswering;
    facts.serverStopped = serverStopped_;
    facts.serverHung = serverHung_;
    facts.stalled = engine_->isStalled();
    facts.failure = failure_;
    StatusLine line = composeStatus(facts);
    // As the name part, the note is shortened like a name when room is short.
    if (line.text().isEmpty()) line = {{}, idleNote_, {}};
    statusText_ = line.text();
    status_->setLine(waitNote_.isEmpty() ? line : StatusLine{waitNote_, {}, {}});

    const bool playing = state == State::Playing;
    const QString action = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    // A new name is announced to the reader, so only a real change sets it.
    if (playButton_->accessibleName() != action) {
        playButton_->setIcon(stripIcon(playing ? StripGlyph::Pause : StripGlyph::Play));
        playButton_->setAccessibleName(action);
        playButton_->setToolTip(action);
    }
    playButton_->setEnabled(open);
    stopButton_->setEnabled(open);
    position_->setEnabled(open);
    if (!open) position_->setRange(0, 0);
    // With nothing to play the position bar is idle: the reason gets its room.
    static_cast<QBoxLayout*>(bar_->layout())->setStretchFactor(status_, open ? 1 : 3);
    if (open)
        poll_->start();
    else
        poll_->stop();
    showPosition();
    emit stateChanged();
}

void MediaPlayer::showPosition() {
    // Never pull the handle from under the user's drag.
    if (position_->isSliderDown()) return;
    position_->showPosition(position_->unitsAt(engine_->position()));
    // Ask again about when the handle can have moved a pixel: a long file
    // on a short bar needs no five wake-ups a second.
    const double msPerPixel = engine_->duration() * 1000.0 / std::max(1, position_->width());
    poll_->setInterval(static_cast<int>(std::clamp(msPerPixel, double(kPollMs), 1000.0)));
}

} // namespace player
