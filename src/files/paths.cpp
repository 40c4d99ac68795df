#include "files/paths.h"

#include "core/fullpath.h"

#include <QDir>

namespace files {

QString joinPath(const QString& folder, const QString& name) {
    return QString::fromStdU16String(browse::joinFolderAndName(
        folder.toStdU16String(), name.toStdU16String(), kPathSeparator.unicode()));
}

QString normalFolderPath(const QString& path) {
    if (path.isEmpty())
        return path;
    QString p = QDir::cleanPath(path.startsWith(kPathSeparator) ? path
                                                                : QDir::current().filePath(path));
    return p.isEmpty() ? QString(kPathSeparator) : p;
}

} // namespace files
