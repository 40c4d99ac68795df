#pragma once

#include "platform/event.h"
#include "platform/geometry.h"

#include <QString>
#include <QWidget>
#include <cstdint>

namespace platform {

// The media player control in the window's player strip.
class MediaPlayer final : public QWidget, public TwipsGeometry {
    Q_OBJECT
public:
    enum class AudioOutput { System, Silent };
    explicit MediaPlayer(QWidget* parent = nullptr, AudioOutput output = AudioOutput::System);
    ~MediaPlayer() override;

    // The file name: a path loads the file and starts playing it; "" closes
    // it. OpenStateNotify is raised before this returns.
    void setFileName(const QString& path);
    QString FileName() const; // as it was put, "" when nothing is loaded

    void setAutoRewind(bool on);     // at the end, back to the start, file kept open
    void setShowStatusText(bool on); // the strip's short status line

    double Duration() const;        // seconds
    double CurrentPosition() const; // seconds

    void move(int left, int top, int width, int height) { place(this, left, top, width, height); }
    void setWidth(int twips) { setWidthTwips(this, twips); }

    // (firstValue, openState): openState non-zero once a file is open and
    // its duration known, zero once it is closed or could not be opened.
    Event<std::int32_t, std::int32_t> OpenStateNotify;

private:
    QString fileName_;
};

} // namespace platform
