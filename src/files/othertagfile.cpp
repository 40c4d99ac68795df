#include "files/othertagfile.h"

#include "files/diskcall.h"
#include "files/filename.h"
#include "files/posixio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

std::optional<tag::OtherTags> readNow(const QString& path) {
    const QByteArray name = encodeFileName(path);
    if (name.isEmpty() || name.contains('\0')) return std::nullopt;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::optional<tag::OtherTags> tags;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        tags = tag::readOtherTags(readAtFd(fd), static_cast<std::int64_t>(info.st_size));
    ::close(fd);
    return tags;
}

} // namespace

// On a worker, like the record; given up, it reads as a file that cannot be
// opened.
std::optional<tag::OtherTags> readOtherTags(const QString& path) {
    auto read = onWorker<std::optional<tag::OtherTags>>({path, true},
                                                        [path] { return readNow(path); });
    return read ? std::move(*read) : std::nullopt;
}

} // namespace files
