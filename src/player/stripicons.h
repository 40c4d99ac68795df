#pragma once

#include <QIcon>

namespace player {

// The transport bar's icons, drawn in the palette's button text colour.
enum class StripGlyph { Play, Pause, Stop, Speaker, SpeakerMuted };
QIcon stripIcon(StripGlyph glyph);

} // namespace player
