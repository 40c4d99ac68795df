#pragma once

#include <QIcon>

namespace platform {

enum class StripGlyph { Play, Pause, Stop, Speaker, SpeakerMuted };

// The transport bar's icons, drawn as shapes in the palette's button text
// colour at whatever size and scale they are shown. They need no icon
// theme: looking one up reads the theme's index from disk, which cost the
// first window a quarter of its start.
QIcon stripIcon(StripGlyph glyph);

} // namespace platform
