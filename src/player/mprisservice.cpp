#include "player/mprisservice.h"

#include "files/filename.h"
#include "player/mediaplayer.h"
#include "player/mprisadaptors.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace player {
namespace {

constexpr const char* kBusName = "org.mpris.MediaPlayer2.brindlo";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr double kMicroseconds = 1e6;

// The file name stands in for a title the tag leaves empty, as the file
// list shows it.
QString titleFor(const TrackText& text, const QString& path) {
    if (!text.title.isEmpty()) return text.title;
    return files::displayFileName(QFileInfo(path).fileName());
}

} // namespace

MprisService::MprisService(MediaPlayer& media, Window window, QObject* parent)
    : QObject(parent), media_(media), window_(std::move(window)), bus_(QString()),
      trackId_(QString::fromLatin1(kNoTrack)) {
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    connect(&media_, &MediaPlayer::stateChanged, this, &MprisService::playerChanged);
    playerChanged();
}

MprisService::~MprisService() {
    if (!busName_.isEmpty()) {
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
        bus_.unregisterService(busName_);
    }
}

bool MprisService::registerOn(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString path = QString::fromLatin1(kObjectPath);
    if (!bus.registerObject(path, this, QDBusConnection::ExportAdaptors)) return false;
    for (const QString& name :
         {QString::fromLatin1(kBusName),
          QStringLiteral("%1.instance%2").arg(QLatin1String(kBusName)).arg(::getpid())}) {
        if (bus.registerService(name)) {
            bus_ = bus;
            busName_ = name;
            return true;
        }
    }
    bus.unregisterObject(path);
    return false;
}

QString MprisService::playbackStatus() const {
    switch (media_.state()) {
    case PlayerEngine::State::Playing:
        return QStringLiteral("Playing");
    case PlayerEngine::State::Paused:
        return QStringLiteral("Paused");
    case PlayerEngine::State::Stopped:
    case PlayerEngine::State::Closed:
        break;
    }
    return QStringLiteral("Stopped");
}

qlonglong MprisService::position() const {
    return std::llround(media_.CurrentPosition() * kMicroseconds);
}

double MprisService::volume() const {
    return media_.volume();
}

void MprisService::setVolume(double level) {
    if (!std::isfinite(level)) return;
    level = std::clamp(level, 0.0, 1.0);
    // A level above nothing means wanting to hear it, as on the strip.
    if (level > 0.0 && media_.isMuted()) media_.setMuted(false);
    media_.setVolume(level);
}

bool MprisService::canPlay() const {
    return media_.isOpen();
}

bool MprisService::canSeek() const {
    return media_.isOpen() && media_.Duration() > 0.0;
}

void MprisService::raiseWindow() const {
    if (window_.raise) window_.raise();
}

void MprisService::play() {
    if (canPlay() && !media_.isPlaying()) media_.play();
}

void MprisService::pause() {
    if (media_.isPlaying()) media_.pause();
}

void MprisService::playPause() {
    if (media_.isPlaying())
        media_.pause();
    else
        play();
}

void MprisService::stop() {
    if (media_.isOpen()) media_.stop();
}

void MprisService::seek(qlonglong offsetUs) {
    if (!canSeek()) return;
    const qlonglong target = std::max<qlonglong>(0, position() + offsetUs);
    // Past the end is the next track, and there is none.
    if (target > std::llround(media_.Duration() * kMicroseconds)) return;
    media_.seek(target / kMicroseconds);
    emit seeked(target);
}

void MprisService::setPosition(const QString& trackId, qlonglong positionUs) {
    // A stale track id is a request about a file no longer open.
    if (!canSeek() || trackId != trackId_) return;
    if (positionUs < 0 || positionUs > std::llround(media_.Duration() * kMicroseconds)) return;
    media_.seek(positionUs / kMicroseconds);
    emit seeked(positionUs);
}

void MprisService::openUri(const QString& uri) {
    if (window_.openUri) window_.openUri(uri);
}

void MprisService::playerChanged() {
    const QString path = media_.FileName();
    if (path != trackPath_) {
        trackPath_ = path;
        text_ = path.isEmpty() || !window_.trackText ? TrackText{} : window_.trackText(path);
        trackId_ = path.isEmpty()
                       ? QString::fromLatin1(kNoTrack)
                       : QStringLiteral("/io/github/brindlo/Brindlo/track/%1").arg(++tracks_);
    }
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(trackId_)));
    if (!path.isEmpty()) {
        metadata.insert(QStringLiteral("mpris:length"),
                        qlonglong(std::llround(media_.Duration() * kMicroseconds)));
        metadata.insert(QStringLiteral("xesam:url"),
                        QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()));
        metadata.insert(QStringLiteral("xesam:title"), titleFor(text_, path));
        if (!text_.artist.isEmpty())
            metadata.insert(QStringLiteral("xesam:artist"), QStringList{text_.artist});
        if (!text_.album.isEmpty()) metadata.insert(QStringLiteral("xesam:album"), text_.album);
    }
    metadata_ = metadata;

    // Only what changed is announced; the position never is (Seeked is).
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (reported_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    }
    reported_ = now;
    if (!changed.isEmpty()) sendPropertiesChanged(kPlayerInterface, changed);
}

QVariantMap MprisService::playerProperties() const {
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), metadata_},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanPlay"), canPlay()},
        {QStringLiteral("CanPause"), canPlay()},
        {QStringLiteral("CanSeek"), canSeek()},
    };
}

void MprisService::sendPropertiesChanged(const char* interface, const QVariantMap& changed) {
    if (busName_.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(interface) << changed << QStringList();
    bus_.send(signal);
}

} // namespace player
