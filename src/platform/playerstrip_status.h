#pragma once

#include "platform/playerengine.h"

#include <QLabel>
#include <QString>

namespace platform {

// The strip's status line in three parts, so that a long file name can be
// shortened without cutting off the words around it.
struct StatusLine {
    QString before; // "Cannot play "
    QString name;   // "song.mp3"
    QString after;  // ": not an MP3 file"
    QString text() const { return before + name + after; }
};

// What the status line says for the player's state, the loaded file's name
// as shown, whether the system output had no sound device, and why the last
// open failed ("" when it did not). Nothing loaded and no failure: empty.
StatusLine composeStatus(PlayerEngine::State state, const QString& name, bool silent,
                         const QString& failure);

// Shows a status line in the room the bar gives it. The words are always
// whole: the file name is shortened in the middle, so its end (".mp3")
// stays. The full text is in the tooltip and read by screen readers.
class StatusLabel final : public QLabel {
public:
    explicit StatusLabel(QWidget* parent);
    void setLine(const StatusLine& line);
    QString fullText() const { return line_.text(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    StatusLine line_;
};

} // namespace platform
