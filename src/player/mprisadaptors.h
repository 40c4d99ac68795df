#pragma once

#include "player/mprisservice.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>

namespace player {

// The two MPRIS interfaces as QtDBus exports them: each property and method
// hands over to the service, which alone knows the strip.

// org.mpris.MediaPlayer2: the program itself.
class RootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool CanSetFullscreen READ canSetFullscreen)
    Q_PROPERTY(bool Fullscreen READ fullscreen)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit RootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    // Closing is the user's: the window ends the program, nothing else does.
    bool canQuit() const { return false; }
    bool canRaise() const { return true; }
    bool canSetFullscreen() const { return false; }
    bool fullscreen() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Brindlo"); }
    QString desktopEntry() const { return QStringLiteral("io.github.brindlo.Brindlo"); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const { return {QStringLiteral("audio/mpeg")}; }

public slots:
    void Raise() { service_->raiseWindow(); }
    void Quit() {}

private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the strip.
class PlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    // Written out so that Position and CanControl say they announce no
    // change: a client is to read the position, and watch Seeked for jumps.
    Q_CLASSINFO(
        "D-Bus Introspection",
        "<interface name=\"org.mpris.MediaPlayer2.Player\">"
        "<method name=\"Next\"/><method name=\"Previous\"/><method name=\"Pause\"/>"
        "<method name=\"PlayPause\"/><method name=\"Stop\"/><method name=\"Play\"/>"
        "<method name=\"Seek\"><arg direction=\"in\" type=\"x\" name=\"Offset\"/></method>"
        "<method name=\"SetPosition\"><arg direction=\"in\" type=\"o\" name=\"TrackId\"/>"
        "<arg direction=\"in\" type=\"x\" name=\"Position\"/></method>"
        "<method name=\"OpenUri\"><arg direction=\"in\" type=\"s\" name=\"Uri\"/></method>"
        "<signal name=\"Seeked\"><arg type=\"x\" name=\"Position\"/></signal>"
        "<property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>"
        "<property name=\"Rate\" type=\"d\" access=\"readwrite\"/>"
        "<property name=\"Metadata\" type=\"a{sv}\" access=\"read\">"
        "<annotation name=\"org.qtproject.QtDBus.QtTypeName\" value=\"QVariantMap\"/></property>"
        "<property name=\"Volume\" type=\"d\" access=\"readwrite\"/>"
        "<property name=\"Position\" type=\"x\" access=\"read\">"
        "<annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>"
        "</property>"
        "<property name=\"MinimumRate\" type=\"d\" access=\"read\"/>"
        "<property name=\"MaximumRate\" type=\"d\" access=\"read\"/>"
        "<property name=\"CanGoNext\" type=\"b\" access=\"read\"/>"
        "<property name=\"CanGoPrevious\" type=\"b\" access=\"read\"/>"
        "<property name=\"CanPlay\" type=\"b\" access=\"read\"/>"
        "<property name=\"CanPause\" type=\"b\" access=\"read\"/>"
        "<property name=\"CanSeek\" type=\"b\" access=\"read\"/>"
        "<property name=\"CanControl\" type=\"b\" access=\"read\">"
        "<annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>"
        "</property>"
        "</interface>")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit PlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {
        connect(service, &MprisService::seeked, this, &PlayerAdaptor::Seeked);
    }

    QString playbackStatus() const { return service_->playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {} // one speed only
    QVariantMap metadata() const { return service_->metadata(); }
    double volume() const { return service_->volume(); }
    void setVolume(double level) { service_->setVolume(level); }
    qlonglong position() const { return service_->position(); }
    bool no() const { return false; }
    bool yes() const { return true; }
    bool canPlay() const { return service_->canPlay(); }
    bool canSeek() const { return service_->canSeek(); }

public slots:
    void Next() {}
    void Previous() {}
    void Pause() { service_->pause(); }
    void PlayPause() { service_->playPause(); }
    void Stop() { service_->stop(); }
    void Play() { service_->play(); }
    void Seek(qlonglong Offset) { service_->seek(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        service_->setPosition(TrackId.path(), Position);
    }
    void OpenUri(const QString& Uri) { service_->openUri(Uri); }

signals:
    void Seeked(qlonglong Position);

private:
    MprisService* service_;
};

} // namespace player
