#pragma once

#include <QString>

namespace files {

// What a path given from outside (the command line, a drop) names, as far
// as this user can open it.
enum class PathKind {
    Folder,     // a folder that can be read
    File,       // a regular file that can be read
    Missing,    // nothing there, or a part of the path is no folder
    Denied,     // no permission
    NotRegular, // a FIFO, device, socket and the like
    Unreadable, // anything else the system reports
};

// Links are followed. Never blocks on a FIFO or a device, never creates.
PathKind checkPath(const QString& path);

} // namespace files
