#include "window/frmbrindlo.h"

#include "core/genrecatalogue.h"

void frmBrindlo::Form_Load() {
    // The system drive's root, or else the first drive that can be opened:
    // the window must come up even on a machine where the root is refused.
    QStringList roots{QStringLiteral("/")};
    for (const QString& drive : Drive1.drives()) {
        if (!roots.contains(drive))
            roots.append(drive);
    }
    for (const QString& root : roots) {
        try {
            Drive1.setDrive(root);
            Dir1.setPath(root);
            break;
        } catch (const std::exception&) {
            continue;
        }
    }

    QStringList genres;
    for (std::string_view name : genre::kGenreNames)
        genres.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    varGenres = genres;

    const QStringList catalogue = varGenres.toStringList();
    for (std::int16_t k = 0; k <= static_cast<std::int16_t>(catalogue.size() - 1); ++k)
        cmbGenre.AddItem(catalogue.at(k));

    strBaseCaption = Caption();
}
