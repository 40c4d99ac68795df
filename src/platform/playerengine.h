#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace platform {

// Plays one MP3 file at a time through GStreamer's playbin. No widgets: the
// player strip shows its state and sends it intent, and tests drive it on
// the silent sink.
//
// Everything here runs on the thread that created the engine (the UI
// thread). GStreamer's own threads only hand end-of-file and failures back
// to it through the event queue, so the Qt event loop must run for those.
// Nothing touches GStreamer before the first load: starting it can take
// close to a second on a fresh machine, and the window must not wait for
// it to appear.
class PlayerEngine final : public QObject {
    Q_OBJECT
public:
    enum class Output {
        System, // the default sound output; plays silently when there is none
        Silent, // a sink that discards the sound but keeps real time
    };
    enum class State { Closed, Stopped, Paused, Playing };

    explicit PlayerEngine(Output output, QObject* parent = nullptr);
    ~PlayerEngine() override;

    // Opens the file and waits, bounded, until it is ready to play at its
    // start: the result is known on return. On failure nothing is open and
    // errorText() says why in a few plain words ("not an MP3 file").
    bool load(const QString& path);
    void close();

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
    double duration() const { return duration_; } // exact; 0 when closed
    double position() const;                      // seconds; 0 when closed
    bool atEnd() const { return atEnd_; }
    // True while the system output had no sound device and the file plays
    // into the silent sink instead.
    bool playingSilently() const { return silentFallback_; }
    QString errorText() const { return error_; }

signals:
    // The end of the file was reached (the state has changed to Stopped).
    void finished();
    // Playing broke off after a good open; the file is closed now.
    void failed(const QString& reason);

private:
    enum class Sink { Default, Silent };
    bool prepare(const QByteArray& fileBytes);
    bool preroll(const QByteArray& uri, Sink sink);
    bool ensurePipeline();
    void resetPipeline();
    bool waitForState(std::uint64_t timeoutNs);
    bool fail(const QString& reason);

    void takeBusMessage(GstMessage* message); // on a GStreamer thread
    void post(bool endOfStream, const QString& reason);
    void onEndOfStream();
    void onError(const QString& reason);

    const Output output_;
    GstElement* pipeline_ = nullptr;
    State state_ = State::Closed;
    double duration_ = 0.0;
    mutable double lastPosition_ = 0.0;
    double volume_ = 1.0;
    bool autoRewind_ = false;
    bool atEnd_ = false;
    bool silentFallback_ = false;
    QString error_;

    // Messages queued to the UI thread carry the generation they were sent
    // in; anything that makes them stale (a stop, a seek, a close, a new
    // file) moves the generation on, so an old end-of-file cannot stop the
    // next file.
    std::atomic<unsigned> generation_{0};
    // The first failure GStreamer reported while opening, read once the
    // wait for the open is over. Written from GStreamer's threads.
    std::mutex errorMutex_;
    QString firstError_;
};

} // namespace platform
