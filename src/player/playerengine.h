#pragma once

#include "player/playerreport.h"
#include "player/workerface.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

class QTimer;

namespace player {

struct PlayerLane;

// The window's side of the player: it sends the player's thread commands
// that return at once and keeps the last state that thread reported. No
// GStreamer here: the thread behind it owns every GStreamer object.
//
// Nothing here waits on the outside world but open(), for at most
// kOpenWaitMs. Seeks and volume changes that come faster than the player
// takes them are merged, the latest winning. A player thread that leaves a
// command unanswered for kAnswerMs is given up: the file counts as closed,
// failed() says the sound server is not answering, and the next open starts
// a fresh thread that connects anew. Each open has a thread of its own, so
// nothing of a closed or superseded file can come back.
class PlayerEngine final : public QObject {
    Q_OBJECT
public:
    using Output = player::Output;
    using State = player::PlayState;
    using Silence = player::Silence;
    using Fault = player::Fault;
    enum class Opened { Now, Failed, Later };

    static constexpr int kOpenWaitMs = 80;
    static constexpr int kAnswerMs = 2000;
    // Leaving the program waits this long for the player's stream to end.
    static constexpr int kLeaveWaitMs = 600;

    explicit PlayerEngine(Output output, QObject* parent = nullptr);
    ~PlayerEngine() override;

    // Opens the file and, once it is ready, starts playing it. Now: ready on
    // return, playing as soon as the player says so. Failed: nothing is open
    // and errorText() says why in a few plain words ("not an MP3 file").
    // Later: still opening (isOpening()); opened() or openFailed() follows
    // from the event loop, unless a close or another open comes first,
    // which makes this one say nothing and never play.
    Opened open(const QString& path);
    void close(); // returns at once; the player stops behind it

    void play();
    void pause();
    void stop(); // back to the start, paused, the file kept open
    void seek(double seconds);

    void setVolume(double level); // 0 (mute) to 1 (full)
    double volume() const { return volume_; }
    // At the end of the file: true goes back to the start, false stays at
    // the end. Either way the file stays open and play starts it again.
    void setAutoRewind(bool on);
    bool autoRewind() const { return autoRewind_; }

    // The last state the player reported.
    State state() const { return state_; }
    bool isOpen() const { return state_ != State::Closed; }
    bool isOpening() const { return opening_; }
    // Ready, and asked to play, but the player has not said it plays yet.
    bool isStarting() const { return starting_; }
    double duration() const { return duration_; } // exact; 0 when closed
    // Seconds; 0 when closed. Where a seek is on its way, where it goes.
    double position() const;
    bool atEnd() const { return atEnd_; }
    // It plays, but the sound server has taken no samples for a while.
    bool isStalled() const { return stalled_; }
    // Whether, and why, the system output plays into the silent sink.
    Silence silence() const { return silence_; }
    bool playingSilently() const { return silence_ != Silence::None; }
    QString errorText() const { return error_; }

    // Tests only: every open from now on spends this long before its work,
    // as a slow disk or a long file would.
    static void delayOpensForTesting(std::chrono::milliseconds delay);
    // Tests only: the player threads still running, given up ones included.
    static int runningPlayersForTesting();

signals:
    void opened();                          // a pending open is ready now
    void openFailed(const QString& reason); // a pending open failed
    // The end of the file was reached (the state has changed to Stopped).
    void finished();
    // Playing broke off after a good open; the file is closed now.
    void failed(const QString& reason, player::Fault fault);
    // Any new report: the state, the position or the silence may differ.
    void changed();

private:
    void startLane(const OpenOrder& order, MakeWorker makeWorker);
    void leaveLane();
    void take(const Report& report);
    void adopt(const Report& report);
    void apply(const Report& report);
    void acknowledge(std::uint64_t command);
    template <typename Command> std::uint64_t send(Command command);
    void sendSeek(double seconds);
    void sendVolume(double level);
    void checkAnswers();
    void serverSilent();
    void giveUp();
    void resetState();

    const Output output_;
    std::shared_ptr<PlayerLane> lane_;
    OpenOrder order_; // the current open, for a silent second try
    bool opening_ = false;
    bool starting_ = false;
    std::uint64_t startCommand_ = 0;
    std::uint64_t nextCommand_ = 0;
    std::deque<std::pair<std::uint64_t, qint64>> unanswered_; // command, sent at
    QElapsedTimer clock_;
    QTimer* answerWatch_ = nullptr;
    QTimer* serverWatch_ = nullptr;
    QTimer* openWatch_ = nullptr;
    std::uint64_t seekInFlight_ = 0;
    double seekTarget_ = 0.0;
    std::optional<double> nextSeek_;
    std::uint64_t volumeInFlight_ = 0;
    std::optional<double> nextVolume_;

    State state_ = State::Closed;
    double duration_ = 0.0;
    double position_ = 0.0;
    qint64 positionAt_ = 0; // clock_ when position_ was reported
    double volume_ = 1.0;
    bool autoRewind_ = false;
    bool atEnd_ = false;
    bool stalled_ = false;
    Silence silence_ = Silence::None;
    QString error_;
};

} // namespace player
