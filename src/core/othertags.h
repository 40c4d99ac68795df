#pragma once

#include "core/mp3length.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tag {

// The title, artist and album of a tag other than the ID3v1 record, as other
// players show them: UTF-8, several values of one field joined by " / ".
struct TagValues {
    std::string title;
    std::string artist;
    std::string album;
    bool empty() const { return title.empty() && artist.empty() && album.empty(); }
};

// The tags other players read before the ID3v1 record: an ID3v2 tag at the
// file's start, an APE tag just before the record (or at the very end of a
// file without one). Only read, never written.
struct OtherTags {
    std::optional<TagValues> id3v2;
    int id3v2Version = 0; // 2, 3 or 4: ID3v2.2, v2.3, v2.4
    std::optional<TagValues> ape;
    bool any() const { return id3v2 || ape; }
};

// Reads both tags of a file of `size` bytes through `read`. Frames that are
// compressed or encrypted are passed over; a damaged tag gives what was
// read before the damage. Reads the ID3v2 tag frame by frame, so a tag with
// large pictures costs a few small reads.
OtherTags readOtherTags(const playback::ReadAt& read, std::int64_t size);

// The strip's words for them, "" when there are none: "This file also has
// an ID3v2 tag: other players show “Title” by Artist, from “Album”."
std::string describeOtherTags(const OtherTags& tags);

} // namespace tag
