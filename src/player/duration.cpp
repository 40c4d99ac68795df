#include "player/duration.h"

#include "core/mp3length.h"
#include "files/posixio.h"

#include <mpg123.h>

#include <sys/stat.h>
#include <unistd.h>

namespace player {
namespace {

struct Mpg123Handle {
    mpg123_handle* handle = nullptr;
    ~Mpg123Handle() {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

// libmpg123's full scan: only for free-format frames, whose length is not in
// their headers. It reads the whole file, through a descriptor of its own so
// that the file's position stays where the caller left it.
DurationResult scanWithDecoder(int fd) {
    const QString notMp3 = QStringLiteral("not an MP3 file");
    int error = MPG123_OK;
    Mpg123Handle decoder{mpg123_new(nullptr, &error)};
    if (!decoder.handle) return {0.0, QStringLiteral("the MP3 decoder did not start")};
    mpg123_param(decoder.handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Any amount of junk before the first frame, as GStreamer skips it too.
    mpg123_param(decoder.handle, MPG123_RESYNC_LIMIT, -1, 0);
    if (::lseek(fd, 0, SEEK_SET) != 0) return {0.0, QStringLiteral("the file could not be read")};
    if (mpg123_open_fd(decoder.handle, fd) != MPG123_OK) return {0.0, notMp3};
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(decoder.handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return {0.0, notMp3};
    if (mpg123_scan(decoder.handle) != MPG123_OK) return {0.0, notMp3};
    const off_t samples = mpg123_length(decoder.handle);
    if (samples <= 0) return {0.0, notMp3};
    return {static_cast<double>(samples) / static_cast<double>(rate), {}};
}

} // namespace

DurationResult scanDuration(int fd) {
    // GStreamer only estimates the length of a VBR file without a
    // Xing/Info header, and badly (9 s for a 10 s file). An encoder's header
    // that agrees with the file gives the exact length in two reads;
    // otherwise the frame headers are counted.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {0.0, QStringLiteral("the file could not be read")};
    const playback::Mp3Length length = playback::measureMp3Length(files::readAtFd(fd), st.st_size);
    switch (length.error) {
    case playback::Mp3LengthError::None: {
        // At most one tag, then the first frame: what GStreamer reads by
        // itself without trouble.
        const bool plain = length.audioStart == 0 ||
                           (length.leadingTags == 1 && length.audioStart == length.tagsEnd);
        return {length.seconds(), {}, plain ? -1 : length.audioStart};
    }
    case playback::Mp3LengthError::Empty:
        return {0.0, QStringLiteral("the file is empty")};
    case playback::Mp3LengthError::NoFrames:
        return {0.0, QStringLiteral("not an MP3 file")};
    case playback::Mp3LengthError::Damaged:
        return {0.0, QStringLiteral("the file is damaged")};
    case playback::Mp3LengthError::Unreadable:
        return {0.0, QStringLiteral("the file could not be read")};
    case playback::Mp3LengthError::Unsupported:
        break;
    }
    return scanWithDecoder(fd);
}

} // namespace player
