#pragma once

#include "controls/eventrule.h"
#include "controls/twips.h"
#include "player/playerengine.h"

#include <QString>
#include <QWidget>
#include <cstdint>

class QSlider;
class QTimer;
class QToolButton;

namespace player {

class PositionSlider;
class StatusLabel;

// The media player control in the window's player strip: a transport bar
// over the player engine. It only shows the engine's state and hands it the
// user's intent.
class MediaPlayer final : public QWidget, public controls::TwipsGeometry {
    Q_OBJECT
public:
    enum class AudioOutput { System, Silent };
    // The openState values of OpenStateNotify.
    static constexpr std::int32_t kClosed = 0;
    static constexpr std::int32_t kOpen = 1;
    // The player holds the file but has not finished opening it: the file
    // counts as open (it must not be saved to, and a press closes it), its
    // duration is not known yet.
    static constexpr std::int32_t kOpening = 2;

    explicit MediaPlayer(QWidget* parent = nullptr, AudioOutput output = AudioOutput::System);
    ~MediaPlayer() override;

    // The file name: a path loads the file and starts playing it; "" closes
    // it. OpenStateNotify says kOpen once the file is open and its duration
    // known, kClosed when it was closed or could not be opened (the status
    // text then says why). It is raised before this returns when the open
    // ends within PlayerEngine::kOpenWaitMs; otherwise kOpening is raised
    // before this returns and kOpen or kClosed follows from the event loop.
    // A close raises kClosed at once. Putting the name of a file that is
    // still opening changes nothing; any other put supersedes that open.
    void setFileName(const QString& path);
    // The loaded (or opening) file's path as it was put; "" when no file is
    // loaded, after a close or an open that failed.
    QString FileName() const;

    void setAutoRewind(bool on);     // at the end, back to the start, file kept open
    void setShowStatusText(bool on); // the strip's short status line; shown at first

    double Duration() const;        // seconds, exact; 0 when nothing is loaded
    double CurrentPosition() const; // seconds; 0 when nothing is loaded

    void move(int left, int top, int width, int height) { place(this, left, top, width, height); }
    void setWidth(int twips) { setWidthTwips(this, twips); }

    // (firstValue, openState): openState non-zero once a file is open and
    // its duration known, zero once it is closed or could not be opened.
    // Raised from setFileName, and from the event loop (as a user event)
    // when a slow open ends or a file that was playing breaks off.
    controls::Event<std::int32_t, std::int32_t> OpenStateNotify;

    // What the transport bar does, for code.
    void play();
    void pause();
    void stop();
    void seek(double seconds);
    void setVolume(double level); // 0 to 1
    double volume() const;        // what the engine plays at: 0 while muted
    void setMuted(bool muted);
    bool isMuted() const { return muted_; }
    bool isPlaying() const;
    bool isOpen() const;
    // Until the player says it plays: the open may be done, the sound not
    // yet started.
    bool isOpening() const { return engine_->isOpening() || engine_->isStarting(); }
    PlayerEngine::State state() const;
    // "Playing song.mp3", "Paused song.mp3", "Stopped song.mp3",
    // "Opening song.mp3…", "No sound device: playing song.mp3 silently",
    // "Sound server not answering: playing song.mp3 silently",
    // "Cannot play song.mp3: not an MP3 file"; "" when nothing is loaded.
    QString statusText() const { return statusText_; }
    // What the status line says while nothing is loaded (a word about the
    // clicked file); "" for nothing.
    void setIdleNote(const QString& note);
    // What the window waits for on a slow disk, shown in place of the
    // status line while it lasts; "" gives the line back. statusText()
    // goes on saying the player's state.
    void setWaitNote(const QString& note);

signals:
    // The state, the file, the length or the volume may have changed.
    void stateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildBar();
    void refresh();
    void showPosition();
    void seekToSlider();
    void showOpened();
    void onOpened();
    void onFailed(const QString& reason, PlayerEngine::Fault fault);

    PlayerEngine* engine_;
    QWidget* bar_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QToolButton* muteButton_ = nullptr;
    PositionSlider* position_ = nullptr;
    QSlider* volume_ = nullptr;
    StatusLabel* status_ = nullptr;
    QTimer* poll_ = nullptr;
    QString fileName_;
    QString failure_;
    QString statusText_;
    QString idleNote_;
    QString waitNote_;
    bool opening_ = false;
    bool muted_ = false;
    bool serverStopped_ = false; // the sound server ended the playing
    bool serverHung_ = false;    // the sound server left a command unanswered
};

} // namespace player
