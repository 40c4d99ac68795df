#include "window/frmbrindlo.h"

#include "genre/boxnumber.h"
#include "core/genrecatalogue.h"
#include "core/numberreading.h"

#include <cmath>
#include <stdexcept>

namespace {

// The list and the box share one rule: the box shows the selected position
// plus one, and "0" (no selection) is emptied again by the box's own handler.
QString codeTextOfPosition(int position) {
    const std::int16_t code = genre::codeOfPosition(static_cast<std::int16_t>(position));
    return QString::number(code);
}

} // namespace

// Choosing an entry, editing the text portion and scrolling the drop-down
// all bring the box back to the list's position, whatever was typed there.
void frmBrindlo::cmbGenre_Change() {
    txtGenreCode.setText(codeTextOfPosition(cmbGenre.ListIndex()));
}
void frmBrindlo::cmbGenre_Click() {
    txtGenreCode.setText(codeTextOfPosition(cmbGenre.ListIndex()));
}
void frmBrindlo::cmbGenre_Scroll() {
    txtGenreCode.setText(codeTextOfPosition(cmbGenre.ListIndex()));
}

// Every write below re-enters this handler for the new text before the write
// returns, so each step reads the box again instead of keeping its text.
void frmBrindlo::txtGenreCode_Change() {
    controls::SkipOnFailure step;

    if (txtGenreCode.Text().isEmpty()) {
        step([&] { cmbGenre.setListIndex(-1); });
        return;
    }

    // Reduce whatever was typed or pasted to the whole number it starts with.
    step([&] {
        const double number = genre::readLeadingNumber(txtGenreCode.Text().toStdU16String());
        // A number too large for a double has no text; the box keeps what it holds.
        if (!std::isfinite(number)) throw std::range_error("Genre code out of range");
        txtGenreCode.setText(QString::fromStdU16String(genre::wholeNumberText(std::floor(number))));
    });

    // The whole text by the user's locale; every value is then judged
    // against the 16 bits of a list position in one place.
    step([&] {
        const std::optional<std::int16_t> position =
            genre::toInt16Rounded(genre::boxNumber(txtGenreCode.Text()) - 1);
        if (!position) throw std::range_error("Genre code out of range");
        cmbGenre.setListIndex(*position);
    });

    // Code 0 means no genre, which the box shows as empty.
    step([&] {
        if (txtGenreCode.Text() == QStringLiteral("0")) txtGenreCode.setText(QString());
    });
}
