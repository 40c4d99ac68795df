#include "controls/eventrule.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QString>
#include <QTimer>

#include <deque>

namespace controls {
namespace {
FailureReporter& reporter() {
    static FailureReporter instance;
    return instance;
}
} // namespace

namespace {

struct Deferred {
    std::function<void()> run;
    const void* key = nullptr;
};

struct Gate {
    int handlers = 0;
    int waits = 0;
    bool replaying = false;
    bool flushPosted = false;
    std::deque<Deferred> queue;
};

Gate& gate() {
    static Gate instance;
    return instance;
}

void flush();

void postFlush() {
    Gate& g = gate();
    if (g.flushPosted || !QCoreApplication::instance()) return;
    g.flushPosted = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        gate().flushPosted = false;
        flush();
    });
}

// Runs what was held, oldest first, each to its end; what those runs raise
// or hold in turn goes to the back of the line.
void flush() {
    Gate& g = gate();
    if (g.handlers > 0 || g.waits > 0 || g.replaying) return;
    const QScopedValueRollback<bool> replaying(g.replaying, true);
    while (!g.queue.empty() && g.handlers == 0 && g.waits == 0) {
        Deferred next = std::move(g.queue.front());
        g.queue.pop_front();
        try {
            next.run();
        } catch (...) {
            // A held event has nobody left to fail to.
        }
    }
}

void opened() {
    const Gate& g = gate();
    if (g.handlers == 0 && g.waits == 0 && !g.queue.empty()) postFlush();
}

} // namespace

HandlerScope::HandlerScope() { ++gate().handlers; }
HandlerScope::~HandlerScope() {
    --gate().handlers;
    opened();
}

WaitScope::WaitScope() { ++gate().waits; }
WaitScope::~WaitScope() {
    --gate().waits;
    opened();
}

bool gateShut() {
    const Gate& g = gate();
    return g.handlers > 0 || g.waits > 0 || (!g.queue.empty() && !g.replaying);
}

void deferUntilOpen(std::function<void()> run, const void* latestKey) {
    Gate& g = gate();
    if (latestKey) {
        std::erase_if(g.queue, [&](const Deferred& d) { return d.key == latestKey; });
    }
    g.queue.push_back({std::move(run), latestKey});
    opened();
}

// Input waits while the window waits, and behind whatever is already held;
// a message box that a handler shows takes its input as usual.
bool holdingInput() {
    const Gate& g = gate();
    return g.waits > 0 || (!g.queue.empty() && !g.replaying && g.handlers == 0);
}

void holdInput(std::function<void()> replay) { deferUntilOpen(std::move(replay)); }

void setFailureReporter(FailureReporter r) { reporter() = std::move(r); }

void reportFailure(const std::exception* failure) noexcept {
    try {
        const QString what =
            failure ? QString::fromLocal8Bit(failure->what()) : QStringLiteral("Unknown failure");
        if (reporter())
            reporter()(what);
    } catch (...) {
        // Nothing left to tell the user with.
    }
}

} // namespace controls
