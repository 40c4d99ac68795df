#pragma once

#include <QIcon>

namespace platform {

// Icons drawn as shapes at whatever size and scale they are shown. They need
// no icon theme: looking one up reads the theme's index from disk, which cost
// the first window a quarter of its start.

// The transport bar's, in the palette's button text colour.
enum class StripGlyph { Play, Pause, Stop, Speaker, SpeakerMuted };
QIcon stripIcon(StripGlyph glyph);

// The drive and folder lists', in the colours a file manager gives them,
// which stay the same on a light theme and a dark one.
enum class PlaceGlyph { Drive, FolderOpen, FolderClosed };
QIcon placeIcon(PlaceGlyph glyph);

} // namespace platform
