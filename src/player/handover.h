#pragma once

#include <QThread>

// ThreadSanitizer cannot see the lock Qt takes when it hands a queued call
// to another thread's loop (Qt is not built for it), and would take every
// command and report for a race. These tell it of the hand-over, as the
// receiving thread's queue of posted calls orders it. Nothing otherwise.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace player {

inline void handingOverTo(QThread* receiver) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(receiver);
#else
    Q_UNUSED(receiver);
#endif
}

inline void handedOver() {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(QThread::currentThread());
#endif
}

} // namespace player
