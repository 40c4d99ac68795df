#include "window/frmbrindlo.h"

#include "genre/boxnumber.h"
#include "core/genrecatalogue.h"
#include "core/numberreading.h"
#include "files/tagfile.h"

#include <optional>
#include <stdexcept>

namespace {

// What a text box can show of a field: trailing spaces go, and the box
// cannot hold a NUL, so it stops at the first one.
template <std::size_t W> QString boxText(const tag::Field<W>& field) {
    return QString::fromStdU16String(tag::textUpToFirstNul(tag::displayText(field)));
}

} // namespace

// The genre box and the list raise their events here, and the coupling
// handles each write before the next one.
void frmBrindlo::ClearTagFields() {
    txtTitle.setText(QString());
    txtArtist.setText(QString());
    txtAlbum.setText(QString());
    txtYear.setText(QString());
    txtComment.setText(QString());
    txtGenreCode.setText(QString());
    cmbGenre.setListIndex(-1);
}

void frmBrindlo::File1_Click() {
    controls::SkipOnFailure step;

    step([&] { ClearTagFields(); });

    // Before any file step, so the player gets the clicked path even when the
    // file has no tag or cannot be read.
    const bool pathFormed = step([&] { varCurrentFile = BuildFullPath(); });

    // Opening, the length, the 128 bytes and the marker succeed or fail as
    // one: the boxes must never show part of a record, nor one of another
    // file, so TagRecord is replaced only by a record read whole.
    bool recordRead = false;
    step([&] {
        if (!pathFormed) return; // varCurrentFile still names the file clicked before
        const std::optional<tag::RecordBytes> bytes =
            files::readLastRecord(varCurrentFile.toString());
        if (!bytes || !tag::hasTagMarker(*bytes)) return;
        TagRecord = tag::decodeRecord(*bytes);
        recordRead = true;
    });
    if (!recordRead) return;

    step([&] { txtTitle.setText(boxText(TagRecord.Title)); });
    step([&] { txtArtist.setText(boxText(TagRecord.Artist)); });
    step([&] { txtAlbum.setText(boxText(TagRecord.Album)); });
    step([&] { txtYear.setText(boxText(TagRecord.Year)); });
    step([&] { txtComment.setText(boxText(TagRecord.Comment)); });

    // The coupling runs inside this write: 0 empties the box again, 1 to 146
    // select their entry.
    step([&] { txtGenreCode.setText(QString::number(tag::genreCode(TagRecord))); });

    // The box is read back rather than the byte, so what the coupling left
    // there decides; an empty box or a code without an entry selects nothing.
    step([&] {
        const std::optional<std::int16_t> n =
            genre::toInt16Rounded(genre::boxNumber(txtGenreCode.Text()));
        if (!n) throw std::range_error("Genre code out of range");
        cmbGenre.setListIndex(genre::positionOfCode(*n));
    });
}
