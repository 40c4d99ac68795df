#include "player/playerengine.h"

#include "files/filename.h"
#include "player/handover.h"
#include "player/reportrelay.h"
#include "player/workermodule.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace player {

// One player thread and the one open it serves.
struct PlayerLane {
    QThread* thread = nullptr;
    WorkerFace* worker = nullptr; // called on its thread only
    QObject* object = nullptr;    // the same worker: where calls are queued
    QObject* reports = nullptr; // the worker's reports come out here
    std::shared_ptr<OpenHandoff> handoff;
    std::uint64_t open = 0;
    bool hung = false; // it left a command unanswered: nobody waits for it
};

namespace {

// Beyond this an open gives up even if its thread still works: a dead disk.
constexpr int kOpenLimitMs = 40000;

std::atomic<long long> openDelayMs{0};
std::atomic<int> runningPlayers{0};
std::uint64_t lastOpenId = 0;

// Player threads that were closed or given up and have not ended yet. The
// window's thread alone touches it. Never destroyed: the end of the program
// must not wait for a thread that a hung sound server holds.
std::vector<std::shared_ptr<PlayerLane>>& leaving() {
    static auto* lanes = new std::vector<std::shared_ptr<PlayerLane>>;
    return *lanes;
}

void reap() {
    auto& lanes = leaving();
    for (auto it = lanes.begin(); it != lanes.end();) {
        if ((*it)->thread->isFinished()) {
            (*it)->thread->wait();
            delete (*it)->thread; // the worker went with its thread's end
            it = lanes.erase(it);
        } else {
            ++it;
        }
    }
}

// A player thread that a hung sound server holds must not run into the
// program's own teardown (static destructors, GLib's): it would crash or
// abort there. The program then ends here, with its own exit status.
void endWithoutTeardown(int status, void*) {
    if (runningPlayers.load() == 0) return;
    std::fflush(nullptr);
    std::_Exit(status);
}

void guardTheExit() {
    static const bool armed = [] {
#ifdef __GLIBC__
        return ::on_exit(endWithoutTeardown, nullptr) == 0;
#else
        return std::atexit([] { endWithoutTeardown(EXIT_SUCCESS, nullptr); }) == 0;
#endif
    }();
    Q_UNUSED(armed);
}

} // namespace

PlayerEngine::PlayerEngine(Output output, QObject* parent) : QObject(parent), output_(output) {
    qRegisterMetaType<player::Report>();
    clock_.start();
    answerWatch_ = new QTimer(this);
    answerWatch_->setSingleShot(true);
    connect(answerWatch_, &QTimer::timeout, this, &PlayerEngine::checkAnswers);
    serverWatch_ = new QTimer(this);
    serverWatch_->setSingleShot(true);
    serverWatch_->setInterval(kAnswerMs);
    connect(serverWatch_, &QTimer::timeout, this, &PlayerEngine::serverSilent);
    openWatch_ = new QTimer(this);
    openWatch_->setSingleShot(true);
    openWatch_->setInterval(kOpenLimitMs);
    connect(openWatch_, &QTimer::timeout, this, [this] {
        if (!opening_) return;
        lane_->hung = true;
        leaveLane();
        opening_ = false;
        error_ = QStringLiteral("it took too long to open");
        emit openFailed(error_);
    });
}

PlayerEngine::~PlayerEngine() {
    close();
    // A stream into a server that answers ends in milliseconds: wait for
    // it, so that the server sees it end cleanly. A hung one is left.
    const QDeadlineTimer deadline(kLeaveWaitMs);
    for (const auto& lane : leaving())
        if (!lane->hung) lane->thread->wait(deadline);
    reap();
    if (!leaving().empty()) guardTheExit();
}

void PlayerEngine::delayOpensForTesting(std::chrono::milliseconds delay) {
    openDelayMs = delay.count();
}

int PlayerEngine::runningPlayersForTesting() {
    return runningPlayers.load();
}

PlayerEngine::Opened PlayerEngine::open(const QString& path) {
    close();
    error_.clear();
    if (path.isEmpty()) {
        error_ = QStringLiteral("no file named");
        return Opened::Failed;
    }
    const QByteArray bytes = files::encodeFileName(path);
    if (bytes.isEmpty()) {
        error_ = QStringLiteral("no such file");
        return Opened::Failed;
    }
    QString why;
    const MakeWorker makeWorker = workerMaker(&why);
    if (!makeWorker) {
        error_ = QStringLiteral("the player could not be started (%1)").arg(why);
        return Opened::Failed;
    }
    reap();
    OpenOrder order;
    order.id = ++lastOpenId;
    order.fileBytes = bytes;
    order.mediaName = QFileInfo(path).fileName();
    order.output = output_;
    order.volume = volume_;
    order.autoRewind = autoRewind_;
    order.delayMs = static_cast<int>(openDelayMs.load());
    order_ = order;
    opening_ = true;
    startLane(order, makeWorker);

    // The one wait on the player: most files open well within it, and the
    // window then learns the result inside the put.
    const std::shared_ptr<OpenHandoff> handoff = lane_->handoff;
    std::unique_lock lock(handoff->mutex);
    if (!handoff->changed.wait_for(lock, std::chrono::milliseconds(kOpenWaitMs),
                                   [&] { return handoff->done; }))
        return Opened::Later;
    const Report result = handoff->result;
    lock.unlock();
    // Its queued copy will find the open taken already.
    if (result.event == Report::Event::Opened) {
        adopt(result);
        return Opened::Now;
    }
    leaveLane();
    opening_ = false;
    error_ = result.error;
    return Opened::Failed;
}

void PlayerEngine::startLane(const OpenOrder& order, MakeWorker makeWorker) {
    auto lane = std::make_shared<PlayerLane>();
    lane->handoff = std::make_shared<OpenHandoff>();
    lane->handoff->window = thread();
    lane->open = order.id;
    // No parent: a thread that a hung server holds may outlive the engine.
    lane->thread = new QThread;
    lane->thread->setObjectName(QStringLiteral("player"));
    auto* relay = new ReportRelay;
    lane->worker = makeWorker(lane->handoff, [relay](const Report& report) {
        emit relay->reported(report);
    });
    lane->reports = relay;
    lane->object = lane->worker->object();
    relay->setParent(lane->object);
    lane->object->moveToThread(lane->thread);
    connect(lane->thread, &QThread::finished, lane->object, &QObject::deleteLater);
    connect(
        lane->thread, &QThread::finished, lane->thread, [] { --runningPlayers; },
        Qt::DirectConnection);
    connect(relay, &ReportRelay::reported, this, &PlayerEngine::take, Qt::QueuedConnection);
    ++runningPlayers; // until its finished(), which runs on that thread
    lane->thread->start();
    WorkerFace* worker = lane->worker;
    handingOverTo(lane->thread);
    QMetaObject::invokeMethod(
        lane->object,
        [worker, order] {
            handedOver();
            worker->open(order);
        },
        Qt::QueuedConnection);
    lane_ = std::move(lane);
    openWatch_->start();
}

void PlayerEngine::leaveLane() {
    if (!lane_) return;
    const std::shared_ptr<PlayerLane> lane = std::move(lane_);
    lane->handoff->left = true;
    disconnect(lane->reports, nullptr, this, nullptr);
    WorkerFace* worker = lane->worker;
    handingOverTo(lane->thread);
    QMetaObject::invokeMethod(
        lane->object,
        [worker] {
            handedOver();
            worker->shutDown();
        },
        Qt::QueuedConnection);
    leaving().push_back(lane);
    unanswered_.clear();
    seekInFlight_ = 0;
    nextSeek_.reset();
    volumeInFlight_ = 0;
    nextVolume_.reset();
    answerWatch_->stop();
    serverWatch_->stop();
    openWatch_->stop();
    starting_ = false;
}

void PlayerEngine::close() {
    leaveLane();
    opening_ = false;
    resetState();
}

void PlayerEngine::resetState() {
    state_ = State::Closed;
    duration_ = 0.0;
    position_ = 0.0;
    atEnd_ = false;
    stalled_ = false;
    starting_ = false;
    silence_ = Silence::None;
}

template <typename Command> std::uint64_t PlayerEngine::send(Command command) {
    if (!lane_) return 0;
    const std::uint64_t id = ++nextCommand_;
    unanswered_.emplace_back(id, clock_.elapsed());
    WorkerFace* worker = lane_->worker;
    handingOverTo(lane_->thread);
    QMetaObject::invokeMethod(
        lane_->object,
        [worker, id, command] {
            handedOver();
            command(worker, id);
        },
        Qt::QueuedConnection);
    if (!answerWatch_->isActive()) answerWatch_->start(kAnswerMs);
    return id;
}

void PlayerEngine::take(const Report& report) {
    handedOver();
    if (!lane_ || report.open != lane_->open) return; // from a thread we left
    acknowledge(report.acked);
    switch (report.event) {
    case Report::Event::Connecting:
        serverWatch_->start();
        return;
    case Report::Event::Connected:
        serverWatch_->stop();
        return;
    case Report::Event::Opened:
        if (!opening_) return; // taken inside the put already
        adopt(report);
        emit opened();
        return;
    case Report::Event::OpenFailed:
        if (!opening_) return;
        leaveLane();
        opening_ = false;
        error_ = report.error;
        emit openFailed(error_);
        return;
    case Report::Event::Failed:
        leaveLane();
        resetState();
        error_ = report.error;
        emit failed(error_, report.fault);
        return;
    case Report::Event::Finished:
        apply(report);
        emit finished();
        emit changed();
        return;
    case Report::Event::None:
        apply(report);
        emit changed();
        return;
    }
}

void PlayerEngine::adopt(const Report& report) {
    opening_ = false;
    openWatch_->stop();
    serverWatch_->stop();
    apply(report);
    // The volume may have moved while it opened.
    if (volume_ != order_.volume) sendVolume(volume_);
    starting_ = true;
    startCommand_ = send([](WorkerFace* w, std::uint64_t id) { w->play(id); });
}

void PlayerEngine::apply(const Report& report) {
    if (opening_) return;
    state_ = report.state;
    duration_ = report.duration;
    position_ = report.position;
    positionAt_ = clock_.elapsed();
    atEnd_ = report.atEnd;
    stalled_ = report.stalled;
    silence_ = report.silence;
}

void PlayerEngine::acknowledge(std::uint64_t command) {
    while (!unanswered_.empty() && unanswered_.front().first <= command)
        unanswered_.pop_front();
    if (starting_ && command >= startCommand_) starting_ = false;
    if (seekInFlight_ != 0 && command >= seekInFlight_) {
        seekInFlight_ = 0;
        if (const std::optional<double> next = std::exchange(nextSeek_, std::nullopt))
            sendSeek(*next);
    }
    if (volumeInFlight_ != 0 && command >= volumeInFlight_) {
        volumeInFlight_ = 0;
        if (const std::optional<double> next = std::exchange(nextVolume_, std::nullopt))
            sendVolume(*next);
    }
    if (unanswered_.empty())
        answerWatch_->stop();
    else
        answerWatch_->start(static_cast<int>(
            std::max<qint64>(1, kAnswerMs - (clock_.elapsed() - unanswered_.front().second))));
}

void PlayerEngine::checkAnswers() {
    if (unanswered_.empty()) return;
    const qint64 waited = clock_.elapsed() - unanswered_.front().second;
    if (waited < kAnswerMs) {
        answerWatch_->start(static_cast<int>(kAnswerMs - waited));
        return;
    }
    giveUp();
}

void PlayerEngine::giveUp() {
    const bool hadFile = isOpen();
    const bool toServer = output_ == Output::System && silence_ == Silence::None;
    lane_->hung = true;
    leaveLane();
    resetState();
    if (!hadFile) return;
    if (toServer) {
        error_ = QStringLiteral("the sound server is not answering");
        emit failed(error_, Fault::ServerNotAnswering);
    } else {
        error_ = QStringLiteral("it stopped answering");
        emit failed(error_, Fault::File);
    }
}

void PlayerEngine::serverSilent() {
    if (!opening_) return;
    // The sound server holds that thread while it connects; the file plays
    // silently on a fresh one rather than not at all, as with no device.
    lane_->hung = true;
    leaveLane();
    OpenOrder again = order_;
    again.id = ++lastOpenId;
    again.output = Output::Silent;
    again.forcedSilence = Silence::ServerNotAnswering;
    again.delayMs = 0;
    order_ = again;
    startLane(again, workerMaker(nullptr)); // loaded: the first open did
}

void PlayerEngine::play() {
    if (!isOpen()) return;
    send([](WorkerFace* w, std::uint64_t id) { w->play(id); });
}

void PlayerEngine::pause() {
    if (!isOpen()) return;
    send([](WorkerFace* w, std::uint64_t id) { w->pause(id); });
}

void PlayerEngine::stop() {
    if (!isOpen()) return;
    send([](WorkerFace* w, std::uint64_t id) { w->stop(id); });
}

void PlayerEngine::seek(double seconds) {
    if (!isOpen() || !std::isfinite(seconds)) return;
    seconds = std::clamp(seconds, 0.0, duration_);
    if (seekInFlight_ != 0)
        nextSeek_ = seconds; // the latest wins
    else
        sendSeek(seconds);
}

void PlayerEngine::sendSeek(double seconds) {
    seekTarget_ = seconds;
    seekInFlight_ = send([seconds](WorkerFace* w, std::uint64_t id) { w->seek(id, seconds); });
}

void PlayerEngine::setVolume(double level) {
    if (!std::isfinite(level)) return;
    volume_ = std::clamp(level, 0.0, 1.0);
    // While it opens, the open takes the level with it when it is ready.
    if (!lane_ || opening_) return;
    if (volumeInFlight_ != 0)
        nextVolume_ = volume_;
    else
        sendVolume(volume_);
}

void PlayerEngine::sendVolume(double level) {
    volumeInFlight_ = send([level](WorkerFace* w, std::uint64_t id) { w->setVolume(id, level); });
}

void PlayerEngine::setAutoRewind(bool on) {
    autoRewind_ = on;
    if (!lane_) return;
    WorkerFace* worker = lane_->worker;
    handingOverTo(lane_->thread);
    QMetaObject::invokeMethod(
        lane_->object,
        [worker, on] {
            handedOver();
            worker->setAutoRewind(on);
        },
        Qt::QueuedConnection);
}

double PlayerEngine::position() const {
    // The handle must not jump back while the player is on its way there.
    if (nextSeek_) return *nextSeek_;
    if (seekInFlight_ != 0) return seekTarget_;
    if (state_ != State::Playing || stalled_ || atEnd_) return position_;
    // Between two reports the position runs on with the clock.
    const double now = position_ + static_cast<double>(clock_.elapsed() - positionAt_) / 1000.0;
    return std::min(now, duration_);
}

} // namespace player
