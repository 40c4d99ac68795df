#pragma once

#include "player/playerreport.h"

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

namespace player {

// What the window's side sees of a player thread's worker. The worker and
// GStreamer behind it are in a module of their own (workermodule), loaded
// at the first open, so that the window starts without those libraries.
// Every call but object() is made on the worker's own thread.
class WorkerFace {
public:
    virtual ~WorkerFace() = default;

    // The worker as an object, to move to its thread and to queue calls on.
    virtual QObject* object() = 0;

    virtual void open(const OpenOrder& order) = 0;
    virtual void play(std::uint64_t command) = 0;
    virtual void pause(std::uint64_t command) = 0;
    virtual void stop(std::uint64_t command) = 0;
    virtual void seek(std::uint64_t command, double seconds) = 0;
    virtual void setVolume(std::uint64_t command, double level) = 0;
    virtual void setAutoRewind(bool on) = 0;
    virtual void shutDown() = 0;
};

// Called on the worker's thread with each report it makes.
using ReportSink = std::function<void(const Report&)>;

// The module's one entry: makes a worker on the calling thread.
using MakeWorker = WorkerFace* (*)(std::shared_ptr<OpenHandoff> handoff, ReportSink sink);
inline constexpr char kMakeWorkerName[] = "brindlo_make_player_worker";

} // namespace player
