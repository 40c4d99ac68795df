#include "files/diskcall.h"

#include <chrono>
#include <deque>
#include <pthread.h>
#include <thread>

namespace files {
namespace {

// A call on a local disk ends well within this; waiting for it without an
// event loop costs the caller nothing it could see.
constexpr int kMomentMs = 15;

// Idle workers end after a while; a stuck one never comes back, so a new
// call never queues behind it.
constexpr auto kIdleLife = std::chrono::seconds(60);

class Workers {
public:
    void run(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_) {
            std::thread([this] { work(); }).detach();
        } else {
            lock.unlock();
            wake_.notify_one();
        }
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            while (jobs_.empty()) {
                ++idle_;
                const auto hasJob = [this] { return !jobs_.empty(); };
                const bool got = wake_.wait_for(lock, kIdleLife, hasJob);
                --idle_;
                if (!got) return;
            }
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
};

// Never destroyed: a worker stuck on a dead disk may return after main ends.
Workers* current = nullptr;

Workers& workers() {
    static const bool once = [] {
        current = new Workers;
        // A forked child has none of the threads, only their count: it
        // starts a pool of its own.
        ::pthread_atfork(nullptr, nullptr, [] { current = new Workers; });
        return true;
    }();
    (void)once;
    return *current;
}

DiskWaiter& waiter() {
    static DiskWaiter* instance = new DiskWaiter;
    return *instance;
}

} // namespace

bool DiskCall::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

bool DiskCall::waitFor(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return finished_; });
}

void DiskCall::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
}

void DiskCall::whenFinished(std::function<void()> notify) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_) {
        lock.unlock();
        notify();
        return;
    }
    notify_ = std::move(notify);
}

void DiskCall::forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    notify_ = nullptr;
}

void DiskCall::finish() {
    // Under the lock, so forget() returning means notify has run or never will.
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    done_.notify_all();
    if (notify_) std::exchange(notify_, nullptr)();
}

void setDiskWaiter(DiskWaiter w) {
    waiter() = std::move(w);
}

std::shared_ptr<DiskCall> startDiskCall(std::function<void()> job) {
    auto call = std::make_shared<DiskCall>();
    workers().run([call, job = std::move(job)] {
        job();
        call->finish();
    });
    return call;
}

bool awaitDiskCall(const std::shared_ptr<DiskCall>& call, const DiskWait& wait) {
    if (call->waitFor(kMomentMs)) return true;
    if (waiter()) return waiter()(call, wait);
    call->wait();
    return true;
}

} // namespace files
