#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace files {

inline constexpr QChar kPathSeparator = u'/';

// A folder and a name joined by one separator, none added when the folder
// already ends with one: the one way every path here is joined.
QString joinPath(const QString& folder, const QString& name);

// A file name pattern such as "*.mp3" with "*" and "?", letter case
// ignored; several patterns may be given separated by ";".
class NamePattern {
public:
    explicit NamePattern(const QString& pattern);
    bool matchesFolded(const QString& folded) const; // a name already case-folded

private:
    QStringList folded_; // folded once, not once per name
};

// The subfolders of a folder, dot folders left out, sorted without regard
// to letter case; empty when the folder cannot be opened or read. Names are
// lossless text (filename.h).
std::optional<QStringList> listSubfolders(const QString& folder);

// The regular files of a folder (links to them included) whose names match
// the pattern, dot files left out, sorted and refused like listSubfolders.
std::optional<QStringList> listFiles(const QString& folder, const NamePattern& pattern);

// Whether the path names a folder (links followed).
bool isFolder(const QString& path);

// A folder path in the one form the lists use: absolute, no "." or ".."
// parts, no doubled or trailing separator (except the root itself).
QString normalFolderPath(const QString& path);

// The roots the drive list offers: "/" first, then the mount points of
// user volumes (removable media and the like), each named by its path. The
// mount table is read afresh on every call.
QStringList driveRoots();

// Whether a folder is the root of a volume that driveRoots offered and that
// is no longer mounted: a drive that is not ready. Its mount point may well
// be there, empty; the lists refuse it all the same, as they refuse a mount
// point that cannot be read.
bool isVolumeGone(const QString& folder);

// Where the mount table is read and under which folders user volumes are
// mounted; tests give a table of their own. Empty values restore the
// system's. Forgets the volumes offered so far.
void setMountTable(const QString& file, const QStringList& volumeFolders);

} // namespace files
