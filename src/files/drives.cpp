#include "files/drives.h"

#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/paths.h"

#include <QFile>

namespace files {
namespace {

struct MountTable {
    QString file;
    QStringList volumeFolders;
    QStringList offered; // every volume root driveRoots has handed out
};

MountTable& mountTable() {
    static MountTable table;
    if (table.file.isEmpty()) {
        table.file = QStringLiteral("/proc/self/mounts");
        table.volumeFolders = {QStringLiteral("/media"), QStringLiteral("/mnt"),
                               QStringLiteral("/run/media")};
    }
    return table;
}

// The mount points of user volumes, in the table's order.
QStringList mountedVolumes() {
    const MountTable& table = mountTable();
    QStringList volumes;
    QFile mounts(table.file);
    if (!mounts.open(QIODevice::ReadOnly)) return volumes;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2) continue;
        // The table writes blanks and the like in mount points as octal escapes.
        QByteArray point = fields[1];
        point.replace("\\040", " ")
            .replace("\\011", "\t")
            .replace("\\012", "\n")
            .replace("\\134", "\\");
        const QString mountPoint = decodeFileName(point);
        for (const QString& base : table.volumeFolders) {
            if (mountPoint.startsWith(base + u'/') && !volumes.contains(mountPoint))
                volumes.append(mountPoint);
        }
    }
    return volumes;
}

} // namespace

QStringList driveRoots() {
    QStringList volumes = mountedVolumes();
    sortCaseInsensitively(volumes);
    QStringList& offered = mountTable().offered;
    for (const QString& volume : volumes) {
        if (!offered.contains(volume)) offered.append(volume);
    }
    return QStringList{QStringLiteral("/")} + volumes;
}

bool isVolumeGone(const QString& folder) {
    // Only a root once offered is looked up, so browsing reads no table.
    return mountTable().offered.contains(folder) && !mountedVolumes().contains(folder);
}

void setMountTable(const QString& file, const QStringList& volumeFolders) {
    MountTable& table = mountTable();
    table.offered.clear();
    table.file = file;
    table.volumeFolders.clear();
    for (const QString& folder : volumeFolders)
        table.volumeFolders.append(normalFolderPath(folder));
    if (file.isEmpty()) table = MountTable{};
    mountTable(); // the system's again
}

} // namespace files
