#pragma once

#include <QIcon>

namespace controls {

// The drive and folder lists' icons, in the colours a file manager gives
// them, which stay the same on a light theme and a dark one.
enum class PlaceGlyph { Drive, FolderOpen, FolderClosed };
QIcon placeIcon(PlaceGlyph glyph);

} // namespace controls
