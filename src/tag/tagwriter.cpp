#include "window/frmbrindlo.h"

#include "core/genrecatalogue.h"
#include "files/filename.h"
#include "files/paths.h"
#include "files/tagfile.h"
#include "controls/messagebox.h"
#include "tag/savefailuretext.h"

namespace {

const QString kSaveErrorTitle = QStringLiteral("Mp3 Tag Save Error");

// Why it failed, with the file's name, since the user may have clicked
// elsewhere since choosing it. With no file selected the path is the folder
// with a separator at its end, which the user did not mean to save to at
// all, whatever has become of that folder since.
QString saveFailureText(const QString& path, const files::WriteResult& result) {
    if (path.isEmpty() || path.endsWith(files::kPathSeparator))
        return QStringLiteral("No file is selected. Choose a file in the list, then save its tag.");
    return QStringLiteral("The tag of \"%1\" could not be saved. %2")
        .arg(files::shownFileName(path), tag::saveFailureReason(result));
}

// Composed first, then cut at the field's width: "e" + U+0301 becomes "é",
// which has a Windows-1252 byte, and takes one place in the field, not two.
// Text pasted from file names often comes decomposed.
std::u16string fieldText(const controls::TextBox& box) {
    return box.Text().normalized(QString::NormalizationForm_C).toStdU16String();
}

} // namespace

void frmBrindlo::cmdSaveTag_Click() {
    // The player keeps the file open; saving waits until it is closed.
    if (blnFileOpen) {
        controls::MsgBox(this, QStringLiteral("Cannot save to an open file"), kSaveErrorTitle,
                         controls::MessageIcon::Critical);
        return;
    }

    varCurrentFile = BuildFullPath();

    tag::assign(TagRecord.Header, u"TAG");
    tag::assign(TagRecord.Title, fieldText(txtTitle));
    tag::assign(TagRecord.Artist, fieldText(txtArtist));
    tag::assign(TagRecord.Album, fieldText(txtAlbum));
    tag::assign(TagRecord.Year, fieldText(txtYear));
    tag::assign(TagRecord.Comment, fieldText(txtComment));
    // The list decides the genre: the box may show a code that has no entry.
    const std::int16_t code =
        genre::codeOfPosition(static_cast<std::int16_t>(cmbGenre.ListIndex()));
    tag::setGenreCode(TagRecord, static_cast<std::uint8_t>(code));

    const QString path = varCurrentFile.toString();
    const files::WriteResult result =
        files::writeTagRecord(path, tag::encodeRecord(TagRecord));
    if (!result.ok)
        controls::MsgBox(this, saveFailureText(path, result), kSaveErrorTitle,
                         controls::MessageIcon::Critical);
}
