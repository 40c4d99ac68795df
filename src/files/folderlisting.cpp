#include "files/folderlisting.h"

#include "files/diskcall.h"
#include "files/drives.h"
#include "files/filename.h"
#include "files/paths.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace files {

namespace {

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

// Reads a folder once, naming and sorting only the entries wanted: the
// folder list needs no files, and the file list only the matching ones, of
// folders that often hold tens of thousands of files.
std::optional<QStringList> listEntries(const QString& folder, const NamePattern* files) {
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

void sortCaseInsensitively(QStringList& names) {
    FoldedNames keyed;
    keyed.reserve(names.size());
    for (QString& n : names)
        keyed.emplace_back(n.toCaseFolded(), std::move(n));
    names = sortedByFold(keyed);
}

// The mount table is a file of the kernel's that never makes anyone wait,
// so a volume that went is told here; only the folder itself is read on a
// worker. A listing given up fails like a folder that cannot be read.
std::optional<QStringList> listSubfolders(const QString& folder) {
    if (isVolumeGone(folder)) return std::nullopt;
    auto listed = onWorker<std::optional<QStringList>>(
        {folder, true}, [folder] { return listEntries(folder, nullptr); });
    return listed ? std::move(*listed) : std::nullopt;
}

std::optional<QStringList> listFiles(const QString& folder, const NamePattern& pattern) {
    if (isVolumeGone(folder)) return std::nullopt;
    auto listed = onWorker<std::optional<QStringList>>(
        {folder, true}, [folder, pattern] { return listEntries(folder, &pattern); });
    return listed ? std::move(*listed) : std::nullopt;
}

bool isFolder(const QString& path) {
    const QByteArray bytes = encodeFileName(path);
    if (bytes.isEmpty()) return false;
    const auto folder = onWorker<bool>({path, true}, [bytes] {
        struct stat st {};
        return stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    });
    return folder.value_or(false);
}

} // namespace files
