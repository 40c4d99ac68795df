#pragma once

#include <functional>
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
    void raiseFromUser(Args... args) const noexcept;

private:
    Handler handler_;
};

// Where failures of user-raised events go; the window shows them.
using FailureReporter = std::function<void(const QString& what)>;
void setFailureReporter(FailureReporter reporter);
void reportFailure(const std::exception* failure) noexcept;

template <class... Args>
void Event<Args...>::raiseFromUser(Args... args) const noexcept {
    try {
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
