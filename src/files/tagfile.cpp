#include "files/tagfile.h"

#include "files/diskcall.h"
#include "files/filename.h"
#include "files/posixio.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

static_assert(sizeof(off_t) >= 8, "files of 2 GiB and more need 64-bit offsets");

namespace {

constexpr off_t kRecordSize = tag::kRecordSize;

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
        const ssize_t n = retryInterrupted([&] { return ::pread(fd, p, size, offset); });
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
        const ssize_t n = retryInterrupted(
            [&] { return ::pwrite(fd, p + written, size - written, offset + off_t(written)); });
        if (n < 0) return errno;
        if (n == 0) return EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

// Stands for "another program wrote between two parts of our write".
constexpr int kInterleaved = -1;

// Appends through an O_APPEND descriptor: the kernel places each write at
// the end as it is at that moment, so bytes another program has just
// appended are never overwritten. `landed` is where the first byte went.
// After a short write the rest follows only while our bytes still end the
// file, so the record is never split by someone else's bytes.
int appendAll(int fd, const void* data, std::size_t size, off_t& landed, std::size_t& written) {
    const auto* p = static_cast<const char*>(data);
    written = 0;
    while (written < size) {
        if (written > 0) {
            struct stat st {};
            if (::fstat(fd, &st) != 0) return errno;
            if (st.st_size != landed + off_t(written)) return kInterleaved;
        }
        const ssize_t n = retryInterrupted([&] { return ::write(fd, p + written, size - written); });
        if (n < 0) return errno;
        if (n == 0) return EIO;
        // Our own descriptor's position follows our writes only.
        if (written == 0) landed = ::lseek(fd, 0, SEEK_CUR) - n;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

// The file's length now, or -1 when it cannot be told.
off_t currentLength(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

int syncFile(int fd) {
    return retryInterrupted([fd] { return ::fsync(fd); }) == 0 ? 0 : errno;
}

WriteResult failed(WriteFailure failure, WriteStep step, int err = 0) {
    WriteResult result;
    result.failure = failure;
    result.step = step;
    result.systemError = err;
    return result;
}

bool markedReadOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// A file whose mode grants nobody write access is read-only, also to root:
// the user marked it so, and a tag editor must not overrule that.
std::optional<WriteResult> refusal(const struct stat& st, WriteStep step) {
    if (S_ISDIR(st.st_mode)) return failed(WriteFailure::Folder, step);
    if (!S_ISREG(st.st_mode)) return failed(WriteFailure::NotRegular, step);
    if (markedReadOnly(st)) return failed(WriteFailure::Denied, step);
    return std::nullopt;
}

WriteResult findFailure(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return failed(WriteFailure::Missing, WriteStep::Find, err);
    case EACCES:
        return failed(WriteFailure::Denied, WriteStep::Find, err);
    default:
        return failed(WriteFailure::Io, WriteStep::Find, err);
    }
}

// Write permission without read permission: the open for reading and
// writing fails, though the user may write the file. Saying "denied to
// write" would be false, and the user needs to know what is missing.
bool writeOnly(const char* name) {
    return ::faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0 &&
           ::faccessat(AT_FDCWD, name, R_OK, AT_EACCESS) != 0;
}

WriteResult openFailure(int err, const char* name) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return failed(WriteFailure::Missing, WriteStep::Open, err);
    case EISDIR:
        return failed(WriteFailure::Folder, WriteStep::Open, err);
    case EACCES:
    case EPERM: {
        WriteResult result = failed(WriteFailure::Denied, WriteStep::Open, err);
        result.writeOnly = writeOnly(name);
        return result;
    }
    case EROFS:
    case ETXTBSY:
    case EAGAIN:
        return failed(WriteFailure::Denied, WriteStep::Open, err);
    case ENXIO:
    case ENODEV:
        return failed(WriteFailure::NotRegular, WriteStep::Open, err);
    default:
        return failed(WriteFailure::Io, WriteStep::Open, err);
    }
}

WriteResult changedFailure(WriteStep step) {
    return failed(WriteFailure::Changed, step);
}

WriteResult writeFailure(int err, WriteStep step = WriteStep::Write) {
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return failed(WriteFailure::NoSpace, step, err);
    case EACCES:
    case EPERM:
    case EAGAIN:
        return failed(WriteFailure::Denied, step, err);
    default:
        return failed(WriteFailure::Io, step, err);
    }
}

WriteResult notPutBack(WriteResult result) {
    result.restored = false;
    return result;
}

// A share that fails a write now often takes the next one: undoing our own
// bytes is worth a few tries before the user hears the file was left changed.
template <class Step> bool undo(Step&& step) {
    for (int tries = 0; tries < 5; ++tries) {
        if (step()) return true;
    }
    return false;
}

// While we hold a write lease nobody else can open or truncate the file: a
// program that rewrites it in place waits for our few bytes instead of
// cutting through them. The kernel grants one only while nobody else has the
// file open, and not on every file system; without it the looks just before
// and just after the write catch what can be caught.
class WriteLease {
public:
    explicit WriteLease(int fd) : fd_(fd), held_(take(fd)) {}
    ~WriteLease() {
        if (held_) ::fcntl(fd_, F_SETLEASE, F_UNLCK);
    }
    WriteLease(const WriteLease&) = delete;
    WriteLease& operator=(const WriteLease&) = delete;
    bool held() const { return held_; }

private:
    // The kernel tells a lease's holder of a program waiting for it with
    // SIGIO, which would end us; the lease is given back within moments
    // anyway.
    static bool take(int fd) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGIO, &ignore, nullptr);
        return ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    }

    int fd_;
    bool held_;
};

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether nobody has written to the file since `seen`: any write moves its
// change time, whatever it wrote.
bool untouchedSince(int fd, const struct stat& seen) {
    struct stat now {};
    return ::fstat(fd, &now) == 0 && now.st_size == seen.st_size &&
           sameTime(now.st_mtim, seen.st_mtim) && sameTime(now.st_ctim, seen.st_ctim);
}

bool holds(int fd, off_t at, const tag::RecordBytes& bytes) {
    tag::RecordBytes found{};
    return readAll(fd, found.data(), found.size(), at) == 0 && found == bytes;
}

// The record found at length - 128 is the file's tag only while the file
// still ends there and nobody else writes to it. If another program adds to
// the file around our write, the record we wrote would sit inside its data,
// so the old bytes go back and the save is refused: the user edited the tag
// at the file's end, and a second record further on would leave two. Only
// the old record's own bytes are ever written back, and only while our own
// are still there: bytes another program wrote over them are its own, and
// putting ours back over those would leave a mix of two versions.
WriteResult replaceRecord(int fd, const struct stat& seen, const tag::RecordBytes& old,
                          const tag::RecordBytes& record, bool leased) {
    const off_t length = seen.st_size;
    const off_t at = length - kRecordSize;
    if (!untouchedSince(fd, seen)) return changedFailure(WriteStep::Write);

    std::size_t written = 0;
    const auto putBack = [&](WriteResult result) {
        if (written == 0) return result;
        if (written == record.size() && !holds(fd, at, record)) return result;
        const bool back = undo([&] {
            std::size_t restored = 0;
            return writeAll(fd, old.data(), written, at, restored) == 0 && syncFile(fd) == 0;
        });
        return back ? result : notPutBack(result);
    };
    if (const int err = writeAll(fd, record.data(), record.size(), at, written))
        return putBack(writeFailure(err));
    // Files only grow under an appender, so the same length after the write
    // proves the record was the last 128 bytes while it was written; without
    // the lease, our bytes must also still be there.
    if (currentLength(fd) != length || (!leased && !holds(fd, at, record)))
        return putBack(changedFailure(WriteStep::Write));
    if (const int err = syncFile(fd)) return putBack(writeFailure(err, WriteStep::Flush));
    // After a successful fsync the bytes are on the disk; close has nothing
    // left to lose, so its result is not a failure of the save.
    return {true};
}

// A file without a record gets one after its last byte, wherever that is at
// the moment of the write. A file that got shorter since it was examined is
// being rewritten by someone else, and is left to them.
WriteResult appendRecord(int fd, const struct stat& seen, const tag::RecordBytes& record) {
    const off_t length = seen.st_size;
    if (length > std::numeric_limits<off_t>::max() - kRecordSize) return writeFailure(EFBIG);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_APPEND) != 0) {
        return failed(WriteFailure::Io, WriteStep::Prepare, errno);
    }
    if (currentLength(fd) < length) return changedFailure(WriteStep::Write);

    off_t landed = -1;
    std::size_t written = 0;
    // Cuts our bytes off again, but only while they still end the file:
    // cutting back to a length read earlier would take away whatever another
    // program appended after them.
    const auto cutBack = [&](WriteResult result) {
        if (written == 0) return result;
        const bool back = undo([&] {
            if (currentLength(fd) == landed + off_t(written) && ::ftruncate(fd, landed) != 0)
                return false;
            return currentLength(fd) == landed && syncFile(fd) == 0;
        });
        return back ? result : notPutBack(result);
    };
    if (const int err = appendAll(fd, record.data(), record.size(), landed, written))
        return cutBack(err == kInterleaved ? changedFailure(WriteStep::Write) : writeFailure(err));
    if (landed < length) return cutBack(changedFailure(WriteStep::Write));
    if (const int err = syncFile(fd)) return cutBack(writeFailure(err, WriteStep::Flush));
    return {true};
}

std::optional<tag::RecordBytes> readRecordNow(const QString& path) {
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

    tag::RecordBytes bytes{};
    if (readAll(fd.get(), bytes.data(), bytes.size(), st.st_size - kRecordSize) != 0)
        return std::nullopt;
    return bytes;
}

WriteResult saveRecordNow(const QString& path, const tag::RecordBytes& record) {
    const QByteArray name = encodeFileName(path);
    if (!usableName(name)) return failed(WriteFailure::Missing, WriteStep::Find);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) return findFailure(errno);
    if (const auto no = refusal(st, WriteStep::Find)) return *no;

    // Read and write: where the record goes is decided by the open file's own
    // bytes, not by what the path named a moment ago. No O_CREAT, no O_TRUNC.
    const FileDescriptor fd(::open(name.constData(), O_RDWR | kOpenFlags));
    if (!fd.valid()) return openFailure(errno, name.constData());
    const WriteLease lease(fd.get());
    if (::fstat(fd.get(), &st) != 0) return failed(WriteFailure::Io, WriteStep::Examine, errno);
    if (const auto no = refusal(st, WriteStep::Examine)) return *no;

    tag::RecordBytes old{};
    bool inPlace = false;
    if (st.st_size >= kRecordSize) {
        if (const int err = readAll(fd.get(), old.data(), old.size(), st.st_size - kRecordSize))
            return failed(WriteFailure::Io, WriteStep::Read, err);
        inPlace = tag::hasTagMarker(old);
    }
    return inPlace ? replaceRecord(fd.get(), st, old, record, lease.held())
                   : appendRecord(fd.get(), st, record);
}

} // namespace

void ignoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

std::optional<tag::RecordBytes> readLastRecord(const QString& path) {
    auto read = onWorker<std::optional<tag::RecordBytes>>(
        {path, true}, [path] { return readRecordNow(path); });
    return read ? *read : std::nullopt;
}

WriteResult writeTagRecord(const QString& path, const tag::RecordBytes& record) {
    ignoreFileSizeSignal();
    // Never given up: the wait lasts until the disk has answered.
    auto saved = onWorker<WriteResult>({path, false},
                                       [path, record] { return saveRecordNow(path, record); });
    return saved ? *saved : failed(WriteFailure::Io, WriteStep::Write, ETIMEDOUT);
}

} // namespace files
