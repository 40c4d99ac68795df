#pragma once

#include "player/checkedfile.h"
#include "player/playerreport.h"
#include "player/workerface.h"

#include <QObject>

#include <cstdint>
#include <memory>

class QSocketNotifier;
class QTimer;
typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace player {

// The one object that touches GStreamer: it lives on a thread of its own
// and owns one open file, its pipeline, its sinks and its bus, which it
// reads on that thread. The window's side calls its commands as queued
// calls; each answers with a report tagged with the open and the command,
// handed to the sink it was made with.
// Any of them may block while the sound server hangs; the window's side
// then gives this thread up and never waits for it.
class PlayerWorker final : public QObject, public WorkerFace {
    Q_OBJECT
public:
    PlayerWorker(std::shared_ptr<OpenHandoff> handoff, ReportSink sink);
    ~PlayerWorker() override;

    QObject* object() override { return this; }
    // Opens, checks and measures the file and prerolls a pipeline on it,
    // paused at the start. The first result also goes to the handoff.
    void open(const player::OpenOrder& order) override;
    void play(std::uint64_t command) override;
    void pause(std::uint64_t command) override;
    void stop(std::uint64_t command) override; // back to the start, paused
    void seek(std::uint64_t command, double seconds) override;
    void setVolume(std::uint64_t command, double level) override;
    void setAutoRewind(bool on) override { autoRewind_ = on; }
    // Lets everything go, the sound server's stream cleanly, and ends the
    // thread.
    void shutDown() override;

private:
    bool build(const OpenOrder& order, std::int64_t feedFrom, QString* reason);
    bool preroll(QString* reason);
    void watchBus();
    void readBus();
    void dropStaleEnd();
    void handle(GstMessage* message, bool endCounts);
    void onEndOfStream();
    void onError(const QString& reason, Fault fault);
    void rewind();
    void tick();
    double queryPosition();
    Report makeReport(Report::Event event) const;
    void tell(const Report& report);
    void releasePipeline();
    void release();

    std::shared_ptr<OpenHandoff> handoff_;
    ReportSink sink_;
    CheckedFile file_;
    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    QSocketNotifier* busNotifier_ = nullptr;
    QTimer* tick_ = nullptr;
    std::uint64_t openId_ = 0;
    std::uint64_t acked_ = 0;
    PlayState state_ = PlayState::Closed;
    double duration_ = 0.0;
    double position_ = 0.0;
    double lastTick_ = -1.0;
    double volume_ = 1.0;
    bool atEnd_ = false;
    bool stalled_ = false;
    bool autoRewind_ = false;
    bool toServer_ = false;
    Silence silence_ = Silence::None;
    Fault fault_ = Fault::File;
    QString error_;
};

} // namespace player
