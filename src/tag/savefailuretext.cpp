#include "tag/savefailuretext.h"

#include <cerrno>
#include <cstring>

namespace tag {
namespace {

using files::WriteFailure;
using files::WriteStep;

QString systemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QString deniedReason(const files::WriteResult& r) {
    if (r.systemError == 0) return QStringLiteral("The file is read-only.");
    if (r.step == WriteStep::Find) return QStringLiteral("Permission to reach the file was denied.");
    if (r.writeOnly)
        return QStringLiteral("Brindlo may write this file but not read it, "
                              "so it cannot find the old tag.");
    switch (r.systemError) {
    case EROFS:
        return QStringLiteral("The file is on a read-only disk.");
    case ETXTBSY:
        return QStringLiteral("The file is in use.");
    case EAGAIN:
        return r.step == WriteStep::Open ? QStringLiteral("The file is in use.")
                                         : QStringLiteral("The file is locked.");
    default:
        return QStringLiteral("Permission to write the file was denied.");
    }
}

QString noSpaceReason(int err) {
    switch (err) {
    case EDQUOT:
        return QStringLiteral("The disk quota is used up.");
    case EFBIG:
        return QStringLiteral("The file would grow beyond the largest size allowed.");
    default:
        return QStringLiteral("The disk is full.");
    }
}

QString ioReason(const files::WriteResult& r) {
    const QString why = systemText(r.systemError);
    switch (r.step) {
    case WriteStep::Find:
        return QStringLiteral("The file could not be found (%1).").arg(why);
    case WriteStep::Open:
        return QStringLiteral("The file could not be opened (%1).").arg(why);
    case WriteStep::Examine:
        return QStringLiteral("The file could not be examined (%1).").arg(why);
    case WriteStep::Read:
        return QStringLiteral("The file could not be read (%1).").arg(why);
    case WriteStep::Prepare:
        return QStringLiteral("The file could not be prepared for writing (%1).").arg(why);
    case WriteStep::Flush:
        return QStringLiteral("The tag could not be saved to the disk (%1).").arg(why);
    case WriteStep::Write:
    case WriteStep::None:
        break;
    }
    return QStringLiteral("The tag could not be written (%1).").arg(why);
}

QString reasonOf(const files::WriteResult& r) {
    switch (r.failure) {
    case WriteFailure::None:
        return {};
    case WriteFailure::Folder:
        return QStringLiteral("It is a folder, not a file.");
    case WriteFailure::Missing:
        return QStringLiteral("The file no longer exists.");
    case WriteFailure::Denied:
        return deniedReason(r);
    case WriteFailure::NotRegular:
        return QStringLiteral("The path names a pipe, device or other special file, "
                              "not a regular file.");
    case WriteFailure::NoSpace:
        return noSpaceReason(r.systemError);
    case WriteFailure::Changed:
        return QStringLiteral("Another program was adding to the file at the same moment. "
                              "Try again when it has finished.");
    case WriteFailure::Io:
        return ioReason(r);
    }
    return {};
}

} // namespace

QString saveFailureReason(const files::WriteResult& result) {
    if (result.ok) return {};
    QString text = reasonOf(result);
    if (!result.restored) text += QStringLiteral(" The file could not be put back as it was.");
    return text;
}

} // namespace tag
