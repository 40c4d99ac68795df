#pragma once

#include "playback/mp3length.h"

#include <cerrno>
#include <cstdint>
#include <sys/types.h>
#include <unistd.h>

namespace platform {

// Reads of an open file by offset, for the pure readers in the core: pread
// leaves the file's own position alone, so the same descriptor can be handed
// on afterwards.
inline playback::ReadAt readAtFd(int fd) {
    return [fd](std::int64_t offset, void* buffer, std::int64_t length) -> std::int64_t {
        for (;;) {
            const ssize_t got =
                ::pread(fd, buffer, static_cast<std::size_t>(length), static_cast<off_t>(offset));
            if (got >= 0 || errno != EINTR) return got;
        }
    };
}

} // namespace platform
