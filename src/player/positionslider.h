#pragma once

#include <QSlider>
#include <QString>

class QStyle;

namespace player {

// A style for the strip's sliders: a left click sets the handle where it
// was clicked, as media players do, instead of stepping a page towards it.
// The strip owns it; the sliders only borrow it.
QStyle* makeClickJumpStyle(QObject* owner);

// The position bar, in units of a millisecond, or of a few for a file too
// long for an int of milliseconds (past 24 days). The poll moves its handle with
// showPosition(), which is not a change of value: a screen reader hears
// the user's moves, not five numbers a second while the file plays.
// Keys step in seconds and stay inside the file: going to the very end
// would finish it (and rewind it).
class PositionSlider final : public QSlider {
    Q_OBJECT
public:
    explicit PositionSlider(QWidget* parent);

    // Milliseconds per unit of the range; set before the range.
    void setMsPerUnit(int ms);
    // The range for a file of this length: milliseconds, unless the length
    // in them would not fit an int (past 24 days), then steps as fine as fit.
    void setLength(double seconds);
    // The time at a place of the range, exact to the unit.
    double timeAt(int units) const { return msOf(units) / 1000.0; }

    void showPosition(int units);
    // Moves the handle as the user would, and asks for the seek.
    void jumpTo(int units);
    // The furthest the keys go: a few seconds before the end.
    int lastKeyPosition() const;
    // Where a key press takes the handle; -1 for a key that does not seek.
    int keyTarget(int key) const;
    // Whole seconds at a place of the range, and the place of a time.
    int secondsAt(int units) const;
    int unitsAt(double seconds) const;
    // "1:05 of 4:00": what a screen reader speaks for the position.
    QString valueText() const;

signals:
    void seekRequested(int units);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int units(int ms) const { return ms / msPerUnit_; }
    double msOf(int units) const { return static_cast<double>(units) * msPerUnit_; }

    int msPerUnit_ = 1;
    int wheel_ = 0; // turned but not yet a whole notch
};

} // namespace player
