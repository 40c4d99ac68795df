#include "player/checkedfile.h"

#include "player/errorwords.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace player {

bool CheckedFile::open(const QByteArray& fileBytes, QString* reason) {
    close();
    // Non-blocking, so that a FIFO cannot hang the open; the type is then
    // checked on what was opened, not on a name that may have changed.
    fd_ = ::open(fileBytes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        *reason = errno == ENXIO ? QStringLiteral("not a regular file") // a FIFO, no writer
                                 : errnoWords(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        *reason = errnoWords(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *reason = QStringLiteral("it is a folder");
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("not a regular file");
        return false;
    }
    if (info.st_size == 0) {
        *reason = QStringLiteral("the file is empty");
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = info.st_size;
    return true;
}

void CheckedFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

} // namespace player
