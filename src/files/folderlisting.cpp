#include "files/folderlisting.h"

#include "core/fullpath.h"

#include "files/filename.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace files {

QString joinPath(const QString& folder, const QString& name) {
    return QString::fromStdU16String(browse::joinFolderAndName(
        folder.toStdU16String(), name.toStdU16String(), kPathSeparator.unicode()));
}
namespace {

struct MountTable {
    QString file;
    QStringList volumeFolders;
    QStringList offered; // every volume root driveRoots has handed out
};

MountTable& mountTable() {
    static MountTable table;
    if (table.file.isEmpty()) {
        table.file = QStringLiteral("/proc/self/mounts");
        table.volumeFolders = {QStringLiteral("/media"), QStringLiteral("/mnt"),
                               QStringLiteral("/run/media")};
    }
    return table;
}

// The mount points of user volumes, in the table's order.
QStringList mountedVolumes() {
    const MountTable& table = mountTable();
    QStringList volumes;
    QFile mounts(table.file);
    if (!mounts.open(QIODevice::ReadOnly)) return volumes;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2) continue;
        // The table writes blanks and the like in mount points as octal escapes.
        QByteArray point = fields[1];
        point.replace("\\040", " ")
            .replace("\\011", "\t")
            .replace("\\012", "\n")
            .replace("\\134", "\\");
        const QString mountPoint = decodeFileName(point);
        for (const QString& base : table.volumeFolders) {
            if (mountPoint.startsWith(base + u'/') && !volumes.contains(mountPoint))
                volumes.append(mountPoint);
        }
    }
    return volumes;
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Names with their folded form, which is both what a pattern is matched
// against and the sort key. Folding once per name rather than once per
// comparison matters: folders of tens of thousands of files are common.
using FoldedNames = std::vector<std::pair<QString, QString>>;

QStringList sortedByFold(FoldedNames& keyed) {
    std::sort(keyed.begin(), keyed.end());
    QStringList names;
    names.reserve(qsizetype(keyed.size()));
    for (auto& k : keyed)
        names.append(std::move(k.second));
    return names;
}

void sortCaseInsensitively(QStringList& names) {
    FoldedNames keyed;
    keyed.reserve(names.size());
    for (QString& n : names)
        keyed.emplace_back(n.toCaseFolded(), std::move(n));
    names = sortedByFold(keyed);
}

// Glob match of one pattern with "*" and "?", both sides already folded.
bool globMatch(QStringView name, QStringView pattern) {
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++, starN = n;
        } else if (starP >= 0) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Reads a folder once, naming and sorting only the entries wanted: the
// folder list needs no files, and the file list only the matching ones, of
// folders that often hold tens of thousands of files.
std::optional<QStringList> listEntries(const QString& folder, const NamePattern* files) {
    if (isVolumeGone(folder)) return std::nullopt;
    const QByteArray path = encodeFileName(folder);
    if (path.isEmpty())
        return std::nullopt;
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.constData()));
    if (!dir)
        return std::nullopt;
    FoldedNames names;
    const int fd = dirfd(dir.get());
    // readdir tells its end from a failure only by errno, which the stat of
    // a dangling link below also sets: it is cleared before every call.
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) return std::nullopt;
            break;
        }
        if (entry->d_name[0] == '.') // dot entries, and "." and ".." with them
            continue;
        unsigned char type = entry->d_type;
        if ((files && type == DT_DIR) || (!files && type == DT_REG)) continue;
        QString name = decodeFileName(
            QByteArray::fromRawData(entry->d_name, qsizetype(std::strlen(entry->d_name))));
        QString folded = name.toCaseFolded();
        if (files && !files->matchesFolded(folded)) continue;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st {};
            if (fstatat(fd, entry->d_name, &st, 0) != 0)
                continue; // a dangling link, or gone meanwhile
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == (files ? DT_REG : DT_DIR))
            names.emplace_back(std::move(folded), std::move(name));
    }
    return sortedByFold(names);
}

} // namespace

NamePattern::NamePattern(const QString& pattern) {
    for (const QString& one : pattern.split(u';', Qt::SkipEmptyParts))
        folded_.append(one.trimmed().toCaseFolded());
}

bool NamePattern::matchesFolded(const QString& folded) const {
    return std::any_of(folded_.cbegin(), folded_.cend(),
                       [&](const QString& one) { return globMatch(folded, one); });
}

std::optional<QStringList> listSubfolders(const QString& folder) {
    return listEntries(folder, nullptr);
}

std::optional<QStringList> listFiles(const QString& folder, const NamePattern& pattern) {
    return listEntries(folder, &pattern);
}

bool isFolder(const QString& path) {
    const QByteArray bytes = encodeFileName(path);
    struct stat st {};
    return !bytes.isEmpty() && stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString normalFolderPath(const QString& path) {
    if (path.isEmpty())
        return path;
    QString p = QDir::cleanPath(path.startsWith(kPathSeparator) ? path
                                                                : QDir::current().filePath(path));
    return p.isEmpty() ? QString(kPathSeparator) : p;
}

QStringList driveRoots() {
    QStringList volumes = mountedVolumes();
    sortCaseInsensitively(volumes);
    QStringList& offered = mountTable().offered;
    for (const QString& volume : volumes) {
        if (!offered.contains(volume)) offered.append(volume);
    }
    return QStringList{QStringLiteral("/")} + volumes;
}

bool isVolumeGone(const QString& folder) {
    // Only a root once offered is looked up, so browsing reads no table.
    return mountTable().offered.contains(folder) && !mountedVolumes().contains(folder);
}

void setMountTable(const QString& file, const QStringList& volumeFolders) {
    MountTable& table = mountTable();
    table.offered.clear();
    table.file = file;
    table.volumeFolders.clear();
    for (const QString& folder : volumeFolders)
        table.volumeFolders.append(normalFolderPath(folder));
    if (file.isEmpty()) table = MountTable{};
    mountTable(); // the system's again
}

} // namespace files
