#pragma once

#include "core/mp3length.h"

#include <cerrno>
#include <cstdint>
#include <sys/types.h>
#include <unistd.h>

namespace files {

// Runs a system call again for as long as a signal interrupts it, and gives
// its result: a negative one leaves the reason in errno.
template <class Call> auto retryInterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// Reads of an open file by offset, for the pure readers in the core: pread
// leaves the file's own position alone, so the same descriptor can be handed
// on afterwards.
inline playback::ReadAt readAtFd(int fd) {
    return [fd](std::int64_t offset, void* buffer, std::int64_t length) -> std::int64_t {
        return retryInterrupted([&] {
            return ::pread(fd, buffer, static_cast<std::size_t>(length), static_cast<off_t>(offset));
        });
    };
}

} // namespace files
