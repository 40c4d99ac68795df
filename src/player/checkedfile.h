#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace player {

// The file the player plays, opened once and checked on what was opened:
// a regular file that is not empty. The pipeline reads this open file,
// never the name again, so a file swapped in after the check cannot reach
// it. Closes the file when it goes.
class CheckedFile {
public:
    CheckedFile() = default;
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;
    ~CheckedFile() { close(); }

    // False, with the reason in plain words, when the name cannot be played.
    bool open(const QByteArray& fileBytes, QString* reason);
    void close();

    int fd() const { return fd_; }
    std::int64_t size() const { return size_; }

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

} // namespace player
