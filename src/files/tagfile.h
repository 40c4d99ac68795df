#pragma once

#include "core/tagrecord.h"

#include <QString>

#include <optional>

namespace files {

// The file's last 128 bytes, or nothing when the path cannot be opened, is
// not a regular file, holds fewer than 128 bytes or cannot be read whole.
// Never creates a file and never blocks on a FIFO or a device.
std::optional<tag::RecordBytes> readLastRecord(const QString& path);

enum class WriteFailure {
    None,
    Folder,     // the path names a folder: in the window, no file is selected
    Missing,    // the file is gone
    Denied,     // no permission, or a read-only file system
    NotRegular, // a FIFO, device, socket and the like
    NoSpace,    // disk full, quota exhausted or file size limit reached
    Changed,    // another program changed the file's length during the save
    Io,         // anything else the system reports
};

// The step of a save that failed.
enum class WriteStep { None, Find, Open, Examine, Read, Prepare, Write, Flush };

// What became of a save, as codes: the window words them for the user.
struct WriteResult {
    bool ok = false;
    WriteFailure failure = WriteFailure::None;
    WriteStep step = WriteStep::None;
    int systemError = 0;    // the failing call's errno; 0 when the file's mode said no
    bool writeOnly = false; // the user may write the file but not read it
    bool restored = true;   // false: a failed save could not undo its own bytes
};

// Saves an ID3v1 record. A file whose last 128 bytes begin with "TAG" gets
// exactly those bytes replaced; any other file, also one shorter than 128
// bytes, gets the record appended, so audio bytes are never overwritten.
// Another program may be adding to the file meanwhile (a download, a
// recorder): an append lands at the end as it is at the moment of the write,
// and a replaced record that is no longer the file's end once written is put
// back and the save refused (Changed). Bytes the other program adds are
// never overwritten or cut off, also when a failed save is undone. Another
// program rewriting the file in place is kept out by a write lease while
// nobody else has the file open; otherwise a file that changed between the
// look and the write is refused, and bytes another program wrote over ours
// are left as it wrote them.
// Success means the bytes are on the disk (fsync). On failure the file is
// left byte for byte as it was (unless `restored` says otherwise), and the
// result says which step failed and why. Never creates or truncates a file.
// Runs on a worker thread (diskcall.h) and is never given up; the read is
// given up like an unreadable file.
WriteResult writeTagRecord(const QString& path, const tag::RecordBytes& record);

// Makes a write past the file size limit fail with EFBIG instead of killing
// the process with SIGXFSZ, which would leave a half-written append behind.
// writeTagRecord calls it itself; calling it early at start-up does no harm.
void ignoreFileSizeSignal();

} // namespace files
