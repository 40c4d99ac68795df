// Disk calls on worker threads, without the window: a stuck call holds up
// nobody, and the caller's waiter is asked only when a call takes a while.
#include "files/diskcall.h"

#include <QElapsedTimer>
#include <QStringList>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

int after(int ms, int value) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return value;
}

} // namespace

TEST(DiskCall, AStuckCallNeverHoldsUpTheNextOne) {
    std::atomic<bool> release{false};
    const auto stuck = files::startDiskCall([&] {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(files::onWorker<int>({QStringLiteral("/srv"), true}, [i] { return i; }), i);
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_FALSE(stuck->finished());
    release = true;
    stuck->wait();
    EXPECT_TRUE(stuck->finished());
}

TEST(DiskCall, WaiterIsAskedOnlyForACallThatTakesAWhile) {
    QStringList asked;
    files::setDiskWaiter(
        [&](const std::shared_ptr<files::DiskCall>& call, const files::DiskWait& wait) {
            asked << wait.place;
            call->wait();
            return true;
        });
    EXPECT_EQ(files::onWorker<int>({QStringLiteral("quick"), true}, [] { return 1; }), 1);
    const auto slow = [] { return after(80, 2); };
    EXPECT_EQ(files::onWorker<int>({QStringLiteral("slow"), true}, slow), 2);
    EXPECT_EQ(asked, QStringList{QStringLiteral("slow")});

    // A waiter that gives up leaves the caller with nothing; the call itself
    // ends on its own later.
    std::atomic<bool> ended{false};
    files::setDiskWaiter([](const auto&, const auto&) { return false; });
    EXPECT_EQ(files::onWorker<int>({QStringLiteral("given up"), true},
                                   [&] { return (ended = true, after(80, 3)); }),
              std::nullopt);
    files::setDiskWaiter({});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(ended);
}
