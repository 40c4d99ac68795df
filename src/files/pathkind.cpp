#include "files/pathkind.h"

#include "files/diskcall.h"
#include "files/filename.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

PathKind checkNow(const QString& path) {
    const QByteArray name = encodeFileName(path);
    if (name.isEmpty() || name.contains('\0')) return PathKind::Missing;
    // Opening, not stat alone, says whether this user may read it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return PathKind::Missing;
        case EACCES:
        case EPERM:
            return PathKind::Denied;
        default:
            return PathKind::Unreadable;
        }
    }
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    ::close(fd);
    if (!known) return PathKind::Unreadable;
    if (S_ISDIR(info.st_mode)) return PathKind::Folder;
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::NotRegular;
}

} // namespace

// On a worker, like every look at the disk; given up, it cannot be read.
PathKind checkPath(const QString& path) {
    return onWorker<PathKind>({path, true}, [path] { return checkNow(path); })
        .value_or(PathKind::Unreadable);
}

} // namespace files
