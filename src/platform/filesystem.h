#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

inline constexpr QChar kPathSeparator = u'/';

// The entries of one folder by kind, dot entries left out, each list sorted
// without regard to letter case. Names are lossless text (filename.h).
struct FolderListing {
    QStringList folders;
    QStringList files; // regular files, links to them included
};

// Empty when the folder cannot be opened or read.
std::optional<FolderListing> listFolder(const QString& folder);

// Whether the path names a folder (links followed).
bool isFolder(const QString& path);

// Whether a name matches a pattern such as "*.mp3", letter case ignored;
// several patterns may be given separated by ";".
bool matchesPattern(const QString& name, const QString& pattern);

// A folder path in the one form the lists use: absolute, no "." or ".."
// parts, no doubled or trailing separator (except the root itself).
QString normalFolderPath(const QString& path);

// The roots the drive list offers: "/" first, then the mount points of
// user volumes (removable media and the like), each named by its path.
QStringList driveRoots();

} // namespace platform
