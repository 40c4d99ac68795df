#pragma once

#include "files/namepattern.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace files {

// Names sorted as the lists show them: without regard to letter case.
void sortCaseInsensitively(QStringList& names);

// The subfolders of a folder, dot folders left out, sorted without regard
// to letter case; empty when the folder cannot be opened or read. Names are
// lossless text (filename.h). Listed on a worker thread (diskcall.h); a
// listing given up by the user fails like an unreadable folder.
std::optional<QStringList> listSubfolders(const QString& folder);

// The regular files of a folder (links to them included) whose names match
// the pattern, dot files left out, sorted and refused like listSubfolders.
std::optional<QStringList> listFiles(const QString& folder, const NamePattern& pattern);

// Whether the path names a folder (links followed).
bool isFolder(const QString& path);

} // namespace files
