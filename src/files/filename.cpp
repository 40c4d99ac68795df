#include "files/filename.h"

#include "files/paths.h"

#include <algorithm>

namespace files {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at bytes[i], or 0 when it is not valid.
int validSequenceLength(const QByteArray& bytes, qsizetype i, char32_t& cp) {
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char c = at(i);
    const qsizetype left = bytes.size() - i;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    int len = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (int k = 1; k < len; ++k) {
        if (!isContinuation(at(i + k)))
            return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString decodeFileName(const QByteArray& bytes) {
    // Nearly every name is plain ASCII, which is its own text byte for byte;
    // a big folder has tens of thousands of them to decode.
    if (std::all_of(bytes.cbegin(), bytes.cend(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int len = validSequenceLength(bytes, i, cp);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return out;
}

QByteArray encodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    const auto put = [&](char32_t cp) {
        if (cp < 0x80) {
            out.append(char(cp));
        } else if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            put(QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.append(char(u - kEscapeBase)); // an escaped raw byte
        } else if (QChar::isSurrogate(u)) {
            return {}; // no listing yields this; naming no file beats naming another
        } else {
            put(u);
        }
    }
    return out;
}

QString displayFileName(const QString& name) {
    constexpr char16_t kReplacement = 0xFFFD;
    const auto plain = [](QChar c) { return !c.isSurrogate() && c.unicode() != kReplacement; };
    const auto isPair = [&](qsizetype i) {
        return name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate();
    };
    bool changes = false;
    for (qsizetype i = 0; i < name.size() && !changes; ++i) {
        if (isPair(i))
            ++i;
        else
            changes = !plain(name[i]);
    }
    if (!changes) return name;
    QString shown;
    shown.reserve(name.size() + 8);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (isPair(i)) {
            shown.append(name[i]).append(name[i + 1]);
            ++i;
        } else if (u == kReplacement) {
            shown.append(QChar(kReplacement)).append(QChar(kReplacement));
        } else if (QChar::isSurrogate(u)) {
            // A raw byte (no listing gives any other lone surrogate).
            shown.append(QChar(kReplacement));
            shown.append(QStringLiteral("%1").arg(u & 0xFF, 2, 16, QLatin1Char('0')).toUpper());
        } else {
            shown.append(QChar(u));
        }
    }
    return shown;
}

QString shownFileName(const QString& path) {
    QString rest = path;
    bool folder = false;
    while (rest.size() > 1 && rest.endsWith(kPathSeparator)) {
        rest.chop(1);
        folder = true;
    }
    if (rest == kPathSeparator) return rest;
    const QString name = displayFileName(rest.mid(rest.lastIndexOf(kPathSeparator) + 1));
    return folder ? name + kPathSeparator : name;
}

} // namespace files
