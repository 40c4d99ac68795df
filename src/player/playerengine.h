#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace player {

struct OpenJob;
struct EngineMailbox;

// The exact length of an MP3 stream read from an open file, or why there
// is none. Reads from the file's start; leaves the offset anywhere.
struct DurationResult {
    double seconds = 0.0;
    QString error; // empty when seconds is good
    // Where the player must start reading the file itself: the first MPEG
    // frame, where junk or more than one tag comes before it. -1 when
    // GStreamer reads the whole file by itself.
    std::int64_t feedFrom = -1;
};
DurationResult scanDuration(int fd);

// Plays one MP3 file at a time through GStreamer's playbin. No widgets: the
// player strip shows its state and sends it intent, and tests drive it on
// the silent sink.
//
// The calls and the signals belong to the thread that created the engine
// (the UI thread), which never waits on the outside world: opening (the
// length scan, the preroll, the sound server) runs on a thread of its own
// and the caller waits for it at most kOpenWaitMs; closing hands the
// pipeline to a thread that stops it, so a hung sound server can keep that
// thread, never the window. Results that come later arrive through the Qt
// event queue. Nothing touches GStreamer before the first open: starting it
// can take close to a second on a fresh machine.
class PlayerEngine final : public QObject {
    Q_OBJECT
public:
    enum class Output {
        System, // the default sound output; plays silently when there is none
        Silent, // a sink that discards the sound but keeps real time
    };
    enum class State { Closed, Stopped, Paused, Playing };
    enum class Opened { Now, Failed, Later };
    // Why the sound goes nowhere although the system output was asked for.
    enum class Silence { None, NoDevice, ServerNotAnswering };
    // Who is to blame when playing breaks off.
    enum class Fault { File, SoundOutput };

    static constexpr int kOpenWaitMs = 80;

    explicit PlayerEngine(Output output, QObject* parent = nullptr);
    ~PlayerEngine() override;

    // Opens the file and starts playing it. Now: playing on return. Failed:
    // nothing is open and errorText() says why in a few plain words ("not
    // an MP3 file"). Later: still opening (isOpening()); opened() or
    // openFailed() follows from the event loop, unless a close or another
    // open comes first, which makes this one say nothing.
    Opened open(const QString& path);
    void close(); // returns at once; the pipeline stops behind it

    bool play();
    void pause();
    void stop(); // back to the start, paused, the file kept open
    void seek(double seconds);

    void setVolume(double level); // 0 (mute) to 1 (full)
    double volume() const { return volume_; }
    // At the end of the file: true goes back to the start, false stays at
    // the end. Either way the file stays open and play starts it again.
    void setAutoRewind(bool on) { autoRewind_ = on; }
    bool autoRewind() const { return autoRewind_; }

    State state() const { return state_; }
    bool isOpen() const { return state_ != State::Closed; }
    bool isOpening() const { return static_cast<bool>(pending_); }
    double duration() const { return duration_; } // exact; 0 when closed
    double position() const;                      // seconds; 0 when closed
    bool atEnd() const { return atEnd_; }
    // Whether, and why, the system output plays into the silent sink.
    Silence silence() const { return silence_; }
    bool playingSilently() const { return silence_ != Silence::None; }
    QString errorText() const { return error_; }

    // Tests only: every open from now on spends this long before its work,
    // as a slow disk or a long file would.
    static void delayOpensForTesting(std::chrono::milliseconds delay);

signals:
    void opened();                          // a pending open is playing now
    void openFailed(const QString& reason); // a pending open failed
    // The end of the file was reached (the state has changed to Stopped).
    void finished();
    // Playing broke off after a good open; the file is closed now.
    void failed(const QString& reason, player::PlayerEngine::Fault fault);

private:
    friend struct EngineMailbox;
    void adopt(const std::shared_ptr<OpenJob>& job);
    void openDone(std::uint64_t id);
    void cancelPending();
    void busMessage(std::uint64_t id, unsigned generation, bool endOfStream, const QString& reason,
                    Fault fault);
    void onEndOfStream();
    void onError(const QString& reason, Fault fault);
    bool waitForState(std::uint64_t timeoutNs);

    const Output output_;
    std::shared_ptr<EngineMailbox> mailbox_;
    std::shared_ptr<OpenJob> pending_;
    // The playing file: its pipeline and the one open file it reads.
    GstElement* pipeline_ = nullptr;
    int fd_ = -1;
    std::uint64_t currentId_ = 0;
    State state_ = State::Closed;
    double duration_ = 0.0;
    mutable double lastPosition_ = 0.0;
    double volume_ = 1.0;
    bool autoRewind_ = false;
    bool atEnd_ = false;
    bool heardSomething_ = false;
    Silence silence_ = Silence::None;
    QString error_;
};

} // namespace player
