#pragma once

#include <QChar>
#include <QString>

namespace files {

inline constexpr QChar kPathSeparator = u'/';

// A folder and a name joined by one separator, none added when the folder
// already ends with one: the one way every path here is joined.
QString joinPath(const QString& folder, const QString& name);

// A folder path in the one form the lists use: absolute, no "." or ".."
// parts, no doubled or trailing separator (except the root itself).
QString normalFolderPath(const QString& path);

} // namespace files
