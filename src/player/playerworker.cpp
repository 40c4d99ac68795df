#include "player/playerworker.h"

#include "player/duration.h"
#include "player/errorwords.h"
#include "player/handover.h"
#include "player/pipeline.h"

#include <gst/gst.h>

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace player {
namespace {

// A local file prerolls in 10 to 100 ms; a slow disk or a long chain of
// tags gets this long before the open gives up.
constexpr GstClockTime kPrerollTimeout = 30 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 2 * GST_SECOND;
// While playing, the player looks at its position this often: the window
// moves its own clock on between two looks, and a position that stands
// still says the sound server takes no samples.
constexpr int kTickMs = 1000;
constexpr double kStillSeconds = 0.05;

} // namespace

PlayerWorker::PlayerWorker(std::shared_ptr<OpenHandoff> handoff, ReportSink sink)
    : handoff_(std::move(handoff)), sink_(std::move(sink)) {
    tick_ = new QTimer(this);
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, &PlayerWorker::tick);
}

void PlayerWorker::tell(const Report& report) {
    handingOverTo(handoff_->window);
    sink_(report);
}

PlayerWorker::~PlayerWorker() {
    release();
}

void PlayerWorker::open(const OpenOrder& order) {
    openId_ = order.id;
    volume_ = order.volume;
    autoRewind_ = order.autoRewind;
    if (order.delayMs > 0) QThread::msleep(static_cast<unsigned long>(order.delayMs));
    if (handoff_->left) return; // closed or superseded while it waited

    QString reason;
    bool ok = startGstreamer(&reason) && file_.open(order.fileBytes, &reason);
    DurationResult length;
    if (ok) {
        length = scanDuration(file_.fd());
        ok = length.error.isEmpty();
        if (!ok) reason = length.error;
    }
    OpenOrder how = order;
    if (ok && handoff_->left) return;
    if (ok) {
        duration_ = length.seconds;
        ok = build(how, length.feedFrom, &reason) && preroll(&reason);
    }
    if (!ok && toServer_) {
        // The sound output may be what failed. If the file opens on the
        // silent sink, play it there rather than not at all.
        releasePipeline();
        how.output = Output::Silent;
        how.forcedSilence = Silence::NoDevice;
        QString again;
        ok = build(how, length.feedFrom, &again) && preroll(&again);
    }
    if (!ok) {
        release();
        state_ = PlayState::Closed;
        duration_ = 0.0;
        error_ = reason.isEmpty() ? QStringLiteral("the player could not open it") : reason;
        const Report report = makeReport(Report::Event::OpenFailed);
        handoff_->fill(report);
        tell(report);
        return;
    }
    state_ = PlayState::Paused;
    position_ = 0.0;
    const Report report = makeReport(Report::Event::Opened);
    handoff_->fill(report);
    tell(report);
}

bool PlayerWorker::build(const OpenOrder& order, std::int64_t feedFrom, QString* reason) {
    GstElement* sink = nullptr;
    silence_ = order.output == Output::Silent ? order.forcedSilence : Silence::None;
    if (order.output == Output::System) {
        sink = makeSystemSink(order.mediaName);
        tell(makeReport(Report::Event::Connecting));
        if (!connectSink(sink, order.mediaName, &silence_)) sink = nullptr;
        tell(makeReport(Report::Event::Connected));
    }
    toServer_ = sink != nullptr;
    if (!sink) sink = makeSilentSink();
    if (!sink) {
        *reason = QStringLiteral("the silent output is missing");
        return false;
    }
    pipeline_ = makePipeline(file_.fd(), feedFrom, file_.size(), sink, volume_);
    if (!pipeline_) {
        *reason = QStringLiteral("the player did not start");
        return false;
    }
    watchBus();
    return true;
}

bool PlayerWorker::preroll(QString* reason) {
    QString firstError;
    GstStateChangeReturn r = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    GstState reached = GST_STATE_NULL;
    if (r != GST_STATE_CHANGE_FAILURE)
        r = gst_element_get_state(pipeline_, &reached, nullptr, kPrerollTimeout);
    // What went wrong meanwhile is on the bus; an open that failed reads
    // it here, once, rather than from the loop later.
    if (r == GST_STATE_CHANGE_FAILURE) {
        while (GstMessage* message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR)) {
            if (firstError.isEmpty()) {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                if (error) firstError = gstreamerWords(error);
                if (error) g_error_free(error);
            }
            gst_message_unref(message);
        }
        *reason =
            firstError.isEmpty() ? QStringLiteral("the player could not open it") : firstError;
        return false;
    }
    if (reached != GST_STATE_PAUSED) {
        *reason = QStringLiteral("it took too long to open");
        return false;
    }
    return true;
}

void PlayerWorker::watchBus() {
    bus_ = gst_element_get_bus(pipeline_);
    // No GLib loop is needed: the bus's own descriptor wakes this thread's
    // Qt loop, and the messages are taken here, in order with the commands.
    GPollFD poll{};
    gst_bus_get_pollfd(bus_, &poll);
    busNotifier_ = new QSocketNotifier(poll.fd, QSocketNotifier::Read, this);
    connect(busNotifier_, &QSocketNotifier::activated, this, &PlayerWorker::readBus);
}

void PlayerWorker::readBus() {
    while (bus_) {
        GstMessage* message = gst_bus_pop(bus_);
        if (!message) break;
        handle(message, true);
        gst_message_unref(message);
    }
}

// An end of file already on the bus is stale once the user has moved: it
// must not stop the file where it plays now. Errors still count.
void PlayerWorker::dropStaleEnd() {
    while (bus_) {
        GstMessage* message = gst_bus_pop(bus_);
        if (!message) break;
        handle(message, false);
        gst_message_unref(message);
    }
}

void PlayerWorker::handle(GstMessage* message, bool endCounts) {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        if (endCounts) onEndOfStream();
        break;
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        const QString reason = error ? gstreamerWords(error) : QStringLiteral("playing failed");
        if (error) g_error_free(error);
        // A failure of the sound server's sink is no fault of the file.
        GstObject* source = GST_MESSAGE_SRC(message);
        const bool fromSink = source && GST_IS_ELEMENT(source) &&
                              GST_OBJECT_FLAG_IS_SET(source, GST_ELEMENT_FLAG_SINK);
        onError(reason, toServer_ && fromSink ? Fault::SoundOutput : Fault::File);
        break;
    }
    default:
        break;
    }
}

void PlayerWorker::onEndOfStream() {
    if (!pipeline_) return;
    // An end that comes before any sound was played, in a file whose frames
    // promise more, means GStreamer found nothing it could decode there.
    if (duration_ >= 1.0 && queryPosition() < 0.25) {
        onError(QStringLiteral("no sound could be decoded from it"), Fault::File);
        return;
    }
    if (autoRewind_) {
        rewind();
    } else {
        gst_element_set_state(pipeline_, GST_STATE_PAUSED);
        tick_->stop();
        state_ = PlayState::Stopped;
        atEnd_ = true;
        position_ = duration_;
    }
    tell(makeReport(Report::Event::Finished));
}

void PlayerWorker::onError(const QString& reason, Fault fault) {
    if (!pipeline_) return;
    release();
    state_ = PlayState::Closed;
    error_ = reason;
    fault_ = fault;
    tell(makeReport(Report::Event::Failed));
}

void PlayerWorker::play(std::uint64_t command) {
    if (handoff_->left) return;
    acked_ = command;
    if (pipeline_) {
        if (atEnd_) rewind();
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            onError(QStringLiteral("the sound output failed"), Fault::SoundOutput);
            return;
        }
        state_ = PlayState::Playing;
        stalled_ = false;
        lastTick_ = -1.0;
        tick_->start();
    }
    tell(makeReport(Report::Event::None));
}

void PlayerWorker::pause(std::uint64_t command) {
    if (handoff_->left) return;
    acked_ = command;
    if (pipeline_ && state_ != PlayState::Paused) {
        gst_element_set_state(pipeline_, GST_STATE_PAUSED);
        tick_->stop();
        state_ = PlayState::Paused;
        stalled_ = false;
        queryPosition();
    }
    tell(makeReport(Report::Event::None));
}

void PlayerWorker::stop(std::uint64_t command) {
    if (handoff_->left) return;
    acked_ = command;
    if (pipeline_) rewind();
    tell(makeReport(Report::Event::None));
}

void PlayerWorker::rewind() {
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    dropStaleEnd();
    if (!pipeline_) return;
    gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
    // So that the position reads 0 at once, not after the flush.
    gst_element_get_state(pipeline_, nullptr, nullptr, kSettleTimeout);
    tick_->stop();
    state_ = PlayState::Stopped;
    stalled_ = false;
    atEnd_ = false;
    position_ = 0.0;
}

void PlayerWorker::seek(std::uint64_t command, double seconds) {
    if (handoff_->left) return;
    acked_ = command;
    if (pipeline_ && std::isfinite(seconds)) dropStaleEnd(); // which may close it
    if (pipeline_ && std::isfinite(seconds)) {
        seconds = std::clamp(seconds, 0.0, duration_);
        gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                static_cast<gint64>(seconds * GST_SECOND));
        position_ = seconds;
        lastTick_ = -1.0;
        stalled_ = false;
        if (atEnd_) {
            atEnd_ = false;
            // Paused at the end, the file is stopped; moved back, it waits
            // paused where it was moved to.
            if (state_ == PlayState::Stopped) state_ = PlayState::Paused;
        }
    }
    tell(makeReport(Report::Event::None));
}

void PlayerWorker::setVolume(std::uint64_t command, double level) {
    if (handoff_->left) return;
    acked_ = command;
    volume_ = level;
    if (pipeline_) g_object_set(pipeline_, "volume", level, nullptr);
    tell(makeReport(Report::Event::None));
}

void PlayerWorker::tick() {
    if (!pipeline_ || state_ != PlayState::Playing) return;
    const double at = queryPosition();
    const bool still = lastTick_ >= 0.0 && at - lastTick_ < kStillSeconds && !atEnd_;
    lastTick_ = at;
    stalled_ = still;
    tell(makeReport(Report::Event::None));
}

double PlayerWorker::queryPosition() {
    if (atEnd_) return position_ = duration_;
    gint64 ns = 0;
    // The query fails while a seek flushes; the last answer stands then.
    if (pipeline_ && gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0)
        position_ = std::min(static_cast<double>(ns) / GST_SECOND, duration_);
    return position_;
}

Report PlayerWorker::makeReport(Report::Event event) const {
    Report report;
    report.open = openId_;
    report.acked = acked_;
    report.event = event;
    report.state = state_;
    report.position = position_;
    report.duration = duration_;
    report.atEnd = atEnd_;
    report.stalled = stalled_;
    report.silence = silence_;
    report.fault = fault_;
    report.error = error_;
    return report;
}

void PlayerWorker::shutDown() {
    release();
    state_ = PlayState::Closed;
    thread()->quit();
}

void PlayerWorker::releasePipeline() {
    tick_->stop();
    delete busNotifier_;
    busNotifier_ = nullptr;
    if (pipeline_) releaseElement(pipeline_);
    pipeline_ = nullptr;
    if (bus_) gst_object_unref(bus_);
    bus_ = nullptr;
    toServer_ = false;
}

void PlayerWorker::release() {
    releasePipeline();
    file_.close();
}

} // namespace player

extern "C" Q_DECL_EXPORT player::WorkerFace*
brindlo_make_player_worker(std::shared_ptr<player::OpenHandoff> handoff, player::ReportSink sink) {
    return new player::PlayerWorker(std::move(handoff), std::move(sink));
}
static_assert(std::is_same_v<decltype(&brindlo_make_player_worker), player::MakeWorker>,
              "the module's entry must match what the window's side calls");
