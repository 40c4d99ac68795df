#pragma once

#include "core/othertags.h"

#include <QString>

#include <optional>

namespace files {

// The ID3v2 tag at the file's start and the APE tag before its ID3v1 record,
// read by offset like the record; nothing when the path cannot be opened or
// is not a regular file. Never writes, never creates a file and never blocks
// on a FIFO or a device.
std::optional<tag::OtherTags> readOtherTags(const QString& path);

} // namespace files
