#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// File names on Linux are byte strings. These two functions convert them to
// and from text without loss: valid UTF-8 decodes as usual, and every byte
// that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF,
// which encodes back to that byte. So a listed name always opens the very
// file it came from, and never a different one whose name happens to decode
// to the same replacement characters. A text that no listing can produce
// (an unpaired surrogate outside that range) encodes to an empty name.
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

} // namespace platform
