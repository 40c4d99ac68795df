#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace player {

class MediaPlayer;

// What the window shows of a file: its tag boxes' text.
struct TrackText {
    QString title;
    QString artist;
    QString album;
};

// The player as the desktop's media keys and sound menu see it: MPRIS 2 on
// the session bus. Commands go to the strip's own methods, which return at
// once; what is reported is the strip's last known state, so nothing here
// waits on the player.
class MprisService final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

    // What the service needs of the window around the player.
    struct Window {
        std::function<void()> raise;
        std::function<void(const QString& uri)> openUri;
        std::function<TrackText(const QString& path)> trackText;
    };

    MprisService(MediaPlayer& media, Window window, QObject* parent = nullptr);
    ~MprisService() override;

    // Takes org.mpris.MediaPlayer2.brindlo, or that name with
    // ".instance<pid>" when another Brindlo holds it. False, with nothing
    // said, when there is no bus to take it on.
    bool registerOn(QDBusConnection bus);
    QString busName() const { return busName_; }

    // The two interfaces' state, as the adaptors report it.
    QString playbackStatus() const;
    QVariantMap metadata() const { return metadata_; }
    qlonglong position() const;
    double volume() const;
    void setVolume(double level);
    bool canPlay() const;
    bool canSeek() const;
    void raiseWindow() const;

    // The commands, each one press of the strip's controls.
    void play();
    void pause();
    void playPause();
    void stop();
    void seek(qlonglong offsetUs);
    void setPosition(const QString& trackId, qlonglong positionUs);
    void openUri(const QString& uri);

signals:
    void seeked(qlonglong positionUs);

private:
    void playerChanged();
    QVariantMap playerProperties() const;
    void sendPropertiesChanged(const char* interface, const QVariantMap& changed);

    MediaPlayer& media_;
    Window window_;
    QDBusConnection bus_;
    QString busName_;
    QString trackPath_;
    QString trackId_;
    quint64 tracks_ = 0;
    TrackText text_;
    QVariantMap metadata_;
    QVariantMap reported_;
};

} // namespace player
