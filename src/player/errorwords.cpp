#include "player/errorwords.h"

#include <gst/gst.h>

#include <cerrno>
#include <cstring>

namespace player {

QString errnoWords(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("no such file");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    default:
        return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}

QString gstreamerWords(const GError* error) {
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
            return QStringLiteral("not an MP3 file");
        default:
            // Decoding, or GStreamer's "general stream error": the data is
            // at fault, and its own words name the library.
            return QStringLiteral("the file is damaged");
        }
    } else if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) {
        return QStringLiteral("not an MP3 file"); // something else, that we do not play
    } else if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return QStringLiteral("no such file");
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_READ:
            return QStringLiteral("the file cannot be read");
        default:
            break;
        }
    }
    QString text = QString::fromUtf8(error->message);
    if (text.endsWith(u'.')) text.chop(1);
    return text;
}

} // namespace player
