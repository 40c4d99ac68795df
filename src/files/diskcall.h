#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace files {

// A file-system call of the window's that runs on a worker thread, so a slow
// or dead disk holds up the worker and never the caller's thread.
class DiskCall {
public:
    bool finished() const;
    bool waitFor(int milliseconds); // true once finished
    void wait();
    // Runs `notify` on the worker's thread when the call ends, or at once
    // when it has; forget() drops it, after which it never runs.
    void whenFinished(std::function<void()> notify);
    void forget();
    void finish(); // the worker's side

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::function<void()> notify_;
};

// What a waiting caller tells the user it waits for, and whether the wait
// may be given up: a listing or a read may, a save never.
struct DiskWait {
    QString place;
    bool mayGiveUp = true;
};

// How the window's thread waits for a call that takes longer than a moment;
// false when the user gave the wait up. Without one the caller blocks.
using DiskWaiter = std::function<bool(const std::shared_ptr<DiskCall>&, const DiskWait&)>;
void setDiskWaiter(DiskWaiter waiter);

std::shared_ptr<DiskCall> startDiskCall(std::function<void()> job);
bool awaitDiskCall(const std::shared_ptr<DiskCall>& call, const DiskWait& wait);

// Runs `job` on a worker and waits for it; nothing when the wait was given
// up. The job owns copies of what it reads: a call given up may still end
// long after its caller has gone on.
template <class Result, class Job> std::optional<Result> onWorker(const DiskWait& wait, Job job) {
    auto result = std::make_shared<std::optional<Result>>();
    const std::shared_ptr<DiskCall> call =
        startDiskCall([result, job = std::move(job)]() mutable { result->emplace(job()); });
    if (!awaitDiskCall(call, wait)) return std::nullopt;
    return std::move(*result);
}

} // namespace files
