#include "window/frmbrindlo.h"

#include "files/filename.h"
#include "files/othertagfile.h"
#include "files/pathkind.h"
#include "files/paths.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// A file:// URI's path, byte for byte: its percent escapes may stand for
// bytes that are not UTF-8, which QUrl::toLocalFile would lose.
std::optional<QString> pathOfFileUri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isValid() || !url.isLocalFile()) return std::nullopt;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return files::decodeFileName(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

// The drive a folder lies on: the deepest root on offer that holds it.
QString driveOf(const QString& folder, const QStringList& drives) {
    QString best = QString(files::kPathSeparator);
    for (const QString& root : drives) {
        const bool holds = folder == root || folder.startsWith(root + files::kPathSeparator);
        if (holds && root.size() > best.size()) best = root;
    }
    return best;
}

QString reasonFor(files::PathKind kind) {
    switch (kind) {
    case files::PathKind::Missing:
        return QStringLiteral("No such file or folder");
    case files::PathKind::Denied:
        return QStringLiteral("Permission denied");
    case files::PathKind::NotRegular:
        return QStringLiteral("Not a file or a folder");
    case files::PathKind::Unreadable:
        return QStringLiteral("Cannot be read");
    case files::PathKind::Folder:
    case files::PathKind::File:
        break;
    }
    return {};
}

} // namespace

// The user's own road to a file, by code: choose its drive, open its folder,
// click it. Each write raises its event, so the handlers that run are the
// ones the user's actions run.
QString frmBrindlo::OpenPath(const QString& pathOrUri) {
    QString path = pathOrUri;
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (pathOrUri.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const std::optional<QString> local = pathOfFileUri(pathOrUri);
        if (!local) return QStringLiteral("Not a local file");
        path = *local;
    } else if (pathOrUri.contains(QLatin1String("://")) && scheme.match(pathOrUri).hasMatch()) {
        return QStringLiteral("Only local files can be opened");
    }
    if (path.isEmpty()) return reasonFor(files::PathKind::Missing);

    const files::PathKind kind = files::checkPath(path);
    if (kind != files::PathKind::Folder && kind != files::PathKind::File) return reasonFor(kind);

    const QString full = files::normalFolderPath(path);
    QString folder = full;
    QString name;
    if (kind == files::PathKind::File) {
        const qsizetype slash = full.lastIndexOf(files::kPathSeparator);
        folder = slash <= 0 ? QString(files::kPathSeparator) : full.left(slash);
        name = full.mid(slash + 1);
    }

    try {
        // As the user's opening of the list does, so a volume mounted since
        // is on offer.
        Drive1.readDrivesAgain();
        Drive1.setDrive(driveOf(folder, Drive1.drives()));
        Dir1.setPath(folder);
    } catch (const std::exception&) {
        return QStringLiteral("The folder cannot be read");
    }
    if (name.isEmpty()) return {};
    try {
        File1.setFileName(name);
    } catch (const std::exception&) {
        return QStringLiteral("Not listed as an MP3 file; its folder is shown");
    }
    // Selecting by code raises nothing; a click on the entry would. Its
    // handlers skip what fails, so this is only a guard for the caller.
    try {
        File1.Click.raise();
    } catch (const std::exception&) {
        return QStringLiteral("The file cannot be read");
    }
    return {};
}

void frmBrindlo::ShowOtherTags() {
    const std::optional<tag::OtherTags> tags = files::readOtherTags(varCurrentFile.toString());
    media.setIdleNote(tags ? QString::fromStdString(tag::describeOtherTags(*tags)) : QString());
}
