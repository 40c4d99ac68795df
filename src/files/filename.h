#pragma once

#include <QByteArray>
#include <QString>

namespace files {

// File names on Linux are byte strings. These two functions convert them to
// and from text without loss: valid UTF-8 decodes as usual, and every byte
// that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF,
// which encodes back to that byte. So a listed name always opens the very
// file it came from, and never a different one whose name happens to decode
// to the same replacement characters. A text that no listing can produce
// (an unpaired surrogate outside that range) encodes to an empty name.
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

// The text the lists show for a name. Lone surrogates would be drawn as
// empty boxes, and showing each bad byte as a plain U+FFFD would make
// "caf\xE9" and "caf\xE8" look alike, and both like a name that really holds
// U+FFFD. So a bad byte is shown as U+FFFD and its value in two hex digits
// ("caf\uFFFDE9"), and a U+FFFD that the name really holds is doubled. Only
// names that are already broken change; every other name is shown as it is,
// and no two names that a listing gives are
// shown alike.
QString displayFileName(const QString& name);

// A path's name as every place shows it (the lists, the player's strip, the
// window's title, the messages): its last part, worded as displayFileName
// words it. A path that ends in a separator names a folder, as the full path
// does when no file is selected; it shows as that folder's name followed by
// the separator ("Music/"), the root as itself. Only "" shows as "".
QString shownFileName(const QString& path);

} // namespace files
