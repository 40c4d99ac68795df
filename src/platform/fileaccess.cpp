#include "platform/fileaccess.h"

#include "platform/filename.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

static_assert(sizeof(off_t) >= 8, "files of 2 GiB and more need 64-bit offsets");

namespace {

constexpr off_t kRecordSize = 128;

// O_NONBLOCK keeps a FIFO or a device from stalling the open; O_NOCTTY keeps
// a terminal from becoming ours. Neither changes anything for a regular file.
constexpr int kOpenFlags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// A name that cannot reach the system intact must not reach it at all: a NUL
// would cut it short and name another file.
bool usableName(const QByteArray& name) {
    return !name.isEmpty() && !name.contains('\0');
}

// 0 on success, else the errno value; running out of file counts as EIO.
int readAll(int fd, void* data, std::size_t size, off_t offset) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        p += n, offset += n, size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// 0 on success, else the errno value; `written` counts what reached the file
// either way. A short write is not an error by itself: the next pwrite
// either goes on or says what stopped it.
int writeAll(int fd, const void* data, std::size_t size, off_t offset, std::size_t& written) {
    const auto* p = static_cast<const char*>(data);
    written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(fd, p + written, size - written, offset + off_t(written));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int syncFile(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

WriteResult failed(WriteFailure failure, const QString& error) {
    return {false, failure, error};
}

WriteResult folderFailure() {
    return failed(WriteFailure::Folder,
                  QStringLiteral("No file is selected: the path names a folder, not a file."));
}

WriteResult notRegularFailure() {
    return failed(WriteFailure::NotRegular,
                  QStringLiteral("The path names a pipe, device or other special file, "
                                 "not a regular file."));
}

// A file whose mode grants nobody write access is read-only, also to root:
// the user marked it so, and a tag editor must not overrule that.
WriteResult readOnlyFailure() {
    return failed(WriteFailure::Denied, QStringLiteral("The file is read-only."));
}

bool markedReadOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

WriteResult missingFailure() {
    return failed(WriteFailure::Missing, QStringLiteral("The file no longer exists."));
}

WriteResult statFailure(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return missingFailure();
    case EACCES:
        return failed(WriteFailure::Denied,
                      QStringLiteral("Permission to reach the file was denied."));
    default:
        return failed(WriteFailure::Io,
                      QStringLiteral("The file could not be found (%1).").arg(systemText(err)));
    }
}

WriteResult openFailure(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return missingFailure();
    case EISDIR:
        return folderFailure();
    case EACCES:
    case EPERM:
        return failed(WriteFailure::Denied,
                      QStringLiteral("Permission to write the file was denied."));
    case EROFS:
        return failed(WriteFailure::Denied, QStringLiteral("The file is on a read-only disk."));
    case ETXTBSY:
    case EAGAIN:
        return failed(WriteFailure::Denied, QStringLiteral("The file is in use."));
    case ENXIO:
    case ENODEV:
        return notRegularFailure();
    default:
        return failed(WriteFailure::Io,
                      QStringLiteral("The file could not be opened (%1).").arg(systemText(err)));
    }
}

WriteResult writeFailure(int err) {
    switch (err) {
    case ENOSPC:
        return failed(WriteFailure::NoSpace, QStringLiteral("The disk is full."));
    case EDQUOT:
        return failed(WriteFailure::NoSpace, QStringLiteral("The disk quota is used up."));
    case EFBIG:
        return failed(WriteFailure::NoSpace,
                      QStringLiteral("The file would grow beyond the largest size allowed."));
    case EACCES:
    case EPERM:
        return failed(WriteFailure::Denied,
                      QStringLiteral("Permission to write the file was denied."));
    case EAGAIN:
        return failed(WriteFailure::Denied, QStringLiteral("The file is locked."));
    default:
        return failed(WriteFailure::Io,
                      QStringLiteral("The tag could not be written (%1).").arg(systemText(err)));
    }
}

} // namespace

void ignoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

std::optional<RecordBytes> readLastRecord(const QString& path) {
    const QByteArray name = encodeFileName(path);
    if (!usableName(name)) return std::nullopt;
    // Looking before opening spares devices the side effects of an open.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;

    const FileDescriptor fd(::open(name.constData(), O_RDONLY | kOpenFlags));
    if (!fd.valid()) return std::nullopt;
    // The file may have been swapped for another between the two looks.
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kRecordSize)
        return std::nullopt;

    RecordBytes bytes{};
    if (readAll(fd.get(), bytes.data(), bytes.size(), st.st_size - kRecordSize) != 0)
        return std::nullopt;
    return bytes;
}

WriteResult writeTagRecord(const QString& path, const RecordBytes& record) {
    ignoreFileSizeSignal();

    const QByteArray name = encodeFileName(path);
    if (!usableName(name)) return missingFailure();
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) return statFailure(errno);
    if (S_ISDIR(st.st_mode)) return folderFailure();
    if (!S_ISREG(st.st_mode)) return notRegularFailure();
    if (markedReadOnly(st)) return readOnlyFailure();

    // Read and write: where the record goes is decided by the open file's own
    // bytes, not by what the path named a moment ago. No O_CREAT, no O_TRUNC.
    const FileDescriptor fd(::open(name.constData(), O_RDWR | kOpenFlags));
    if (!fd.valid()) return openFailure(errno);
    if (::fstat(fd.get(), &st) != 0)
        return failed(
            WriteFailure::Io,
            QStringLiteral("The file could not be examined (%1).").arg(systemText(errno)));
    if (S_ISDIR(st.st_mode)) return folderFailure();
    if (!S_ISREG(st.st_mode)) return notRegularFailure();
    if (markedReadOnly(st)) return readOnlyFailure();

    const off_t length = st.st_size;
    RecordBytes old{};
    bool inPlace = false;
    if (length >= kRecordSize) {
        if (const int err = readAll(fd.get(), old.data(), old.size(), length - kRecordSize)) {
            return failed(WriteFailure::Io,
                          QStringLiteral("The file could not be read (%1).").arg(systemText(err)));
        }
        inPlace = old[0] == 'T' && old[1] == 'A' && old[2] == 'G';
    }
    if (!inPlace && length > std::numeric_limits<off_t>::max() - kRecordSize)
        return writeFailure(EFBIG);
    const off_t at = inPlace ? length - kRecordSize : length;

    // Puts the file back as it was: an append is cut back, and the part of a
    // replaced record that was overwritten gets its old bytes again.
    std::size_t written = 0;
    const auto undo = [&] {
        std::size_t restored = 0;
        const bool back = inPlace ? writeAll(fd.get(), old.data(), written, at, restored) == 0
                                  : ::ftruncate(fd.get(), length) == 0;
        return back && syncFile(fd.get()) == 0;
    };
    const auto withUndo = [&](WriteResult result) {
        if (!undo()) result.error += QStringLiteral(" The file could not be put back as it was.");
        return result;
    };

    if (const int err = writeAll(fd.get(), record.data(), record.size(), at, written))
        return withUndo(writeFailure(err));
    if (const int err = syncFile(fd.get())) {
        WriteResult result = writeFailure(err);
        if (result.failure == WriteFailure::Io) {
            result.error =
                QStringLiteral("The tag could not be saved to the disk (%1).").arg(systemText(err));
        }
        return withUndo(result);
    }
    // After a successful fsync the bytes are on the disk; close has nothing
    // left to lose, so its result is not a failure of the save.
    return {true, WriteFailure::None, {}};
}

} // namespace platform
