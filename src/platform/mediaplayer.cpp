#include "platform/mediaplayer.h"

namespace platform {

// Placeholder until the playback engine arrives: it holds the name only.
MediaPlayer::MediaPlayer(QWidget* parent, AudioOutput) : QWidget(parent) {}
MediaPlayer::~MediaPlayer() = default;

void MediaPlayer::setFileName(const QString& path) { fileName_ = path; }
QString MediaPlayer::FileName() const { return fileName_; }
void MediaPlayer::setAutoRewind(bool) {}
void MediaPlayer::setShowStatusText(bool) {}
double MediaPlayer::Duration() const { return 0.0; }
double MediaPlayer::CurrentPosition() const { return 0.0; }

} // namespace platform
