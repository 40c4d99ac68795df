#pragma once

#include "player/statusline.h"

#include <QLabel>

namespace player {

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

} // namespace player
