#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

class QString;

namespace controls {

// A control refused a write (a list position out of range, a folder that
// cannot be opened, ...). The control is left as it was.
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- The gate ------------------------------------------------------------------
//
// A handler runs to its end before the next event is taken, also when it
// waits for the disk inside (diskwait.h) or shows a message box: events
// raised by the user or by the toolkit meanwhile (input, timer ticks, the
// player's news) are held and run after the outermost handler, in the order
// they came. A handler is entered from the toolkit through raiseFromUser,
// or through a HandlerScope where a control starts one itself.
class HandlerScope {
public:
    HandlerScope();
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};

// Whether an event raised now would land in the middle of a handler (or
// ahead of events held before it).
bool gateShut();

// Runs `run` once the gate opens. With a key, a later deferral of the same
// key takes the place of an earlier one that has not run yet: a timer
// tick missed twice is one tick late, not two.
void deferUntilOpen(std::function<void()> run, const void* latestKey = nullptr);

// For the disk wait: shuts the gate while the window's thread waits.
class WaitScope {
public:
    WaitScope();
    ~WaitScope();
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;
};
// Whether input must be held rather than handed on now, and holding it.
bool holdingInput();
void holdInput(std::function<void()> replay);

// One event of a control, tied to at most one handler.
//
// The rule of the whole window lives here: a control raises its event at
// once, nested inside the write that changed its value, and the handler
// finishes before the write returns. A failure in a handler reaches the
// statement that made the write, exactly as if that statement had failed.
template <class... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    void connect(Handler handler) { handler_ = std::move(handler); }
    bool connected() const { return static_cast<bool>(handler_); }

    // Raised by a write from code: failures travel to the writer.
    void raise(Args... args) const {
        if (handler_)
            handler_(args...);
    }

    // Raised by the user (a click, a key): no statement of ours is waiting,
    // so a failure stops here and is reported instead of reaching the
    // toolkit's event loop.
    // While a handler runs it is held (see the gate above) and raised
    // afterwards, in order.
    void raiseFromUser(Args... args) const noexcept;

    // A held raise is dropped when a later one comes: a timer's ticks.
    void keepOnlyLatestWhenHeld() { latestOnly_ = true; }

private:
    Handler handler_;
    bool latestOnly_ = false;
    // Held raises ask this whether their control still exists.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

// Where failures of user-raised events go; the window shows them.
using FailureReporter = std::function<void(const QString& what)>;
void setFailureReporter(FailureReporter reporter);
void reportFailure(const std::exception* failure) noexcept;

template <class... Args>
void Event<Args...>::raiseFromUser(Args... args) const noexcept {
    try {
        if (!handler_) return;
        if (gateShut()) {
            deferUntilOpen(
                [this, alive = std::weak_ptr<const bool>(alive_), args...] {
                    if (alive.lock()) raiseFromUser(args...);
                },
                latestOnly_ ? this : nullptr);
            return;
        }
        const HandlerScope scope;
        raise(args...);
    } catch (const std::exception& e) {
        reportFailure(&e);
    } catch (...) {
        reportFailure(nullptr);
    }
}

// The skip-on-failure mode of a handler: each statement runs in turn, and a
// statement that fails is abandoned with nothing shown, and the next runs.
//
//     controls::SkipOnFailure step;
//     step([&] { Dir1.setPath(Drive1.Drive()); });
//     step([&] { File1.setPath(Drive1.Drive()); });
class SkipOnFailure {
public:
    template <class Statement>
    bool operator()(Statement&& statement) noexcept {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (...) {
            return false;
        }
    }
};

// Writes a property by the event rule: nothing happens when the control
// already holds the value; otherwise the value is stored and the event is
// raised, nested, before this returns. `store` must not raise on its own.
template <class T, class Read, class Store, class... Args>
void assignRaising(const T& value, Read&& read, Store&& store, const Event<Args...>& event) {
    if (read() == value)
        return;
    store(value);
    event.raise();
}

} // namespace controls
