#include "player/statuslabel.h"

#include <algorithm>

namespace player {
namespace {

const QChar kEllipsis(0x2026);

QString typeOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && name.size() - dot <= 5 ? name.mid(dot) : QString();
}

// The start of the name and its type stay: "A song whose na….mp3".
QString shortName(const QFontMetrics& metrics, const QString& name, int room) {
    const QString type = typeOf(name);
    const QString stem = name.left(name.size() - type.size());
    const QString shortStem =
        metrics.elidedText(stem, Qt::ElideRight, room - metrics.horizontalAdvance(type));
    if (shortStem.isEmpty() || shortStem == kEllipsis) {
        const QString least = kEllipsis + type;
        return metrics.horizontalAdvance(least) <= room ? least : QString(kEllipsis);
    }
    return shortStem + type;
}

} // namespace

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {
    // The bar shares its room out by stretch; the label only insists on
    // enough for its words (see setLine).
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setAccessibleName(QStringLiteral("Player status"));
}

void StatusLabel::setLine(const StatusLine& line) {
    const QString before = line_.text();
    line_ = line;
    const QString full = line_.text();
    const QFontMetrics metrics = fontMetrics();
    const int margins = contentsMargins().left() + contentsMargins().right() + 2 * margin();
    // Room for the words and at least the name's type (".mp3") besides.
    const int nameRoom = std::min(metrics.horizontalAdvance(line_.name),
                                  metrics.horizontalAdvance(kEllipsis + typeOf(line_.name)));
    setMinimumWidth(metrics.horizontalAdvance(line_.before + line_.after) + nameRoom + margins);
    elide();
    if (full == before) return;
    setToolTip(full);
    setAccessibleDescription(full);
    // The reader hears the new state: a label is spoken by its name, and a
    // change of name is announced. Never empty, so the strip keeps a name.
    setAccessibleName(full.isEmpty() ? QStringLiteral("Player status") : full);
}

void StatusLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void StatusLabel::elide() {
    const QFontMetrics metrics = fontMetrics();
    const int room = contentsRect().width() - 2 * margin();
    const QString full = line_.text();
    if (metrics.horizontalAdvance(full) <= room) {
        setText(full);
        return;
    }
    const QString words = line_.before + line_.after;
    QString name = shortName(metrics, line_.name, room - metrics.horizontalAdvance(words));
    const QString shortened = line_.before + name + line_.after;
    // Only a bar too narrow for the words themselves cuts into them.
    setText(metrics.horizontalAdvance(shortened) <= room
                ? shortened
                : metrics.elidedText(shortened, Qt::ElideRight, room));
}

} // namespace player
