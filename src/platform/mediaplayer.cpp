#include "platform/mediaplayer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegion>
#include <QScopedValueRollback>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>

namespace platform {
namespace {

// The window lets its time labels overlap the strip's lowest 9 px, so the
// bar keeps to the top and the rest of the strip is left to what is below.
constexpr int kBarHeight = 32;
constexpr int kButtonSize = 28;
constexpr int kPollMs = 200;

// A name that was not UTF-8 carries its raw bytes as lone surrogates; show
// those as the replacement character rather than as broken glyphs.
QString displayName(const QString& path) {
    QString name = QFileInfo(path).fileName();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        else if (QChar::isSurrogate(u))
            name[i] = QChar::ReplacementCharacter;
    }
    return name;
}

} // namespace

// Long error texts must not widen the bar past the strip: the label takes
// the room it is given and elides what does not fit (the tooltip has it all).
class StatusLabel final : public QLabel {
public:
    explicit StatusLabel(QWidget* parent) : QLabel(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        elide();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(full_, Qt::ElideRight, width())); }
    QString full_;
};

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
    connect(engine_, &PlayerEngine::finished, this, &MediaPlayer::refresh);
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

    const auto makeButton = [this](QStyle::StandardPixmap icon, const QString& name) {
        auto* button = new QToolButton(bar_);
        button->setIcon(style()->standardIcon(icon));
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setAccessibleName(name);
        button->setToolTip(name);
        return button;
    };
    playButton_ = makeButton(QStyle::SP_MediaPlay, QStringLiteral("Play"));
    stopButton_ = makeButton(QStyle::SP_MediaStop, QStringLiteral("Stop"));
    connect(playButton_, &QToolButton::clicked, this, [this] { isPlaying() ? pause() : play(); });
    connect(stopButton_, &QToolButton::clicked, this, &MediaPlayer::stop);

    position_ = new QSlider(Qt::Horizontal, bar_);
    position_->setAccessibleName(QStringLiteral("Position"));
    position_->setToolTip(QStringLiteral("Position"));
    position_->setMinimumWidth(60);
    position_->setSingleStep(1000); // milliseconds
    position_->setPageStep(10000);
    // Only the user's moves seek; our own updates from the poll do not.
    connect(position_, &QSlider::sliderMoved, this, &MediaPlayer::seekToSlider);
    connect(position_, &QSlider::sliderReleased, this, &MediaPlayer::seekToSlider);
    connect(position_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            seekToSlider();
    });

    volume_ = new QSlider(Qt::Horizontal, bar_);
    volume_->setAccessibleName(QStringLiteral("Volume"));
    volume_->setToolTip(QStringLiteral("Volume"));
    volume_->setRange(0, 100);
    volume_->setValue(100);
    volume_->setFixedWidth(64);
    connect(volume_, &QSlider::valueChanged, this,
            [this](int value) { engine_->setVolume(value / 100.0); });

    status_ = new StatusLabel(bar_);
    status_->setAccessibleName(QStringLiteral("Player status"));

    row->addWidget(playButton_);
    row->addWidget(stopButton_);
    row->addWidget(position_, 3);
    row->addWidget(volume_);
    row->addWidget(status_, 2);
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
        failure_ =
            QStringLiteral("Cannot play %1: %2").arg(displayName(path), engine_->errorText());
        refresh();
        OpenStateNotify.raise(0, kClosed);
        break;
    case PlayerEngine::Opened::Later:
        refresh(); // says that it is opening
        break;
    }
}

void MediaPlayer::showOpened() {
    // Milliseconds, unless the length in them would not fit the slider's
    // int (past 24 days): then as fine as fits.
    const double duration = engine_->duration();
    sliderUnit_ = std::max(0.001, std::ceil(duration * 1000.0 / (INT_MAX / 2.0)) / 1000.0);
    position_->setSingleStep(std::max(1, static_cast<int>(std::lround(1.0 / sliderUnit_))));
    position_->setPageStep(std::max(1, static_cast<int>(std::lround(10.0 / sliderUnit_))));
    position_->setRange(0, toSlider(duration));
    refresh();
}

void MediaPlayer::onOpened() {
    showOpened();
    OpenStateNotify.raiseFromUser(0, kOpen);
}

int MediaPlayer::toSlider(double seconds) const {
    return static_cast<int>(std::clamp<double>(std::lround(seconds / sliderUnit_), 0, INT_MAX));
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
    engine_->seek(position_->sliderPosition() * sliderUnit_);
}

void MediaPlayer::onFailed(const QString& reason, PlayerEngine::Fault fault) {
    // The sound server's end is no fault of the file: say so, in words.
    failure_ = fault == PlayerEngine::Fault::SoundOutput
                   ? QStringLiteral("The sound server stopped: playback ended")
                   : QStringLiteral("Cannot play %1: %2").arg(displayName(fileName_), reason);
    refresh();
    if (!opening_) OpenStateNotify.raiseFromUser(0, kClosed);
}

void MediaPlayer::refresh() {
    using State = PlayerEngine::State;
    const State state = engine_->state();
    const bool open = state != State::Closed;
    QString text;
    if (!failure_.isEmpty())
        text = failure_;
    else if (engine_->isOpening())
        text = QStringLiteral("Opening %1\u2026").arg(displayName(fileName_));
    else if (state == State::Playing && engine_->silence() == PlayerEngine::Silence::NoDevice)
        text = QStringLiteral("No sound device: playing silently");
    else if (state == State::Playing &&
             engine_->silence() == PlayerEngine::Silence::ServerNotAnswering)
        text = QStringLiteral("Sound server not answering: playing silently");
    else if (state == State::Playing)
        text = QStringLiteral("Playing");
    else if (state == State::Paused)
        text = QStringLiteral("Paused");
    else if (state == State::Stopped)
        text = QStringLiteral("Stopped");
    statusText_ = text;
    status_->setFullText(text);

    const bool playing = state == State::Playing;
    const QString action = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    playButton_->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    playButton_->setAccessibleName(action);
    playButton_->setToolTip(action);
    playButton_->setEnabled(open);
    stopButton_->setEnabled(open);
    position_->setEnabled(open);
    if (!open) position_->setRange(0, 0);
    if (open)
        poll_->start();
    else
        poll_->stop();
    showPosition();
}

void MediaPlayer::showPosition() {
    // Never pull the handle from under the user's drag.
    if (position_->isSliderDown()) return;
    position_->setValue(toSlider(engine_->position()));
}

} // namespace platform
