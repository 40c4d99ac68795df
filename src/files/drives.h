#pragma once

#include <QString>
#include <QStringList>

namespace files {

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
