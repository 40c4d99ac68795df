// The player on a session bus of the test's own, as a desktop's media keys
// and sound menu see it: names, properties and signals read with QtDBus,
// and, where playerctl is installed, commands given the way desktops give
// them.
#include "testsupport.h"

#include "player/mprisservice.h"
#include "window/desktop.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <csignal>

#include <unistd.h>

namespace {

using testing_support::TempTree;

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.brindlo");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// What the bus said: PropertiesChanged and Seeked, in order.
class SignalLog final : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changed; // the changed properties of the player interface
    QList<qlonglong> seeked;

    // The last value announced for a property, or an invalid one.
    QVariant last(const QString& property) const {
        for (auto it = changed.crbegin(); it != changed.crend(); ++it) {
            if (it->contains(property)) return it->value(property);
        }
        return {};
    }

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& values,
                           const QStringList&) {
        if (interface == kPlayer) changed.append(values);
    }
    void onSeeked(qlonglong position) { seeked.append(position); }
};

// A QDBusArgument holding a{sv}, as a variant of a signal or reply brings it.
QVariantMap asMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        return map;
    }
    return value.toMap();
}

class Mpris : public testing_support::WindowTest {
protected:
    static void SetUpTestSuite() {
        busDir_ = new QTemporaryDir;
        bus_ = new QProcess;
        bus_->start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1",
                                                    "--address=unix:dir=" + busDir_->path()});
        if (bus_->waitForStarted(5000) && bus_->waitForReadyRead(5000))
            address_ = QString::fromUtf8(bus_->readLine()).trimmed();
        // Before anything asks for the session bus: the program's own.
        if (!address_.isEmpty()) qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    }
    static void TearDownTestSuite() {
        // Ended by its PID, which QProcess holds.
        if (bus_->state() != QProcess::NotRunning) {
            ::kill(pid_t(bus_->processId()), SIGTERM);
            bus_->waitForFinished(5000);
        }
        delete bus_;
        delete busDir_;
    }

    void SetUp() override {
        if (address_.isEmpty()) GTEST_SKIP() << "dbus-daemon did not start";
        WindowTest::SetUp();
        client_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, QStringLiteral("client")));
        ASSERT_TRUE(client_->isConnected());
    }
    void TearDown() override {
        WindowTest::TearDown();
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    void listen(SignalLog& log, const QString& service) {
        ASSERT_TRUE(client_->connect(service, kPath, kProperties, "PropertiesChanged", &log,
                                     SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(
            client_->connect(service, kPath, kPlayer, "Seeked", &log, SLOT(onSeeked(qlonglong))));
    }

    // A call from another connection of this process: the window's thread
    // must keep running to answer it, so the wait runs its event loop.
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}, const QString& service = kName) {
        QDBusMessage m = QDBusMessage::createMethodCall(service, kPath, interface, method);
        m.setArguments(arguments);
        return client_->call(m, QDBus::BlockWithGui, 5000);
    }
    QVariant get(const QString& interface, const QString& property) {
        const QDBusMessage reply = call(kProperties, "Get", {interface, property});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().isEmpty()
                   ? QVariant()
                   : reply.arguments().constFirst().value<QDBusVariant>().variant();
    }
    void set(const QString& property, const QVariant& value) {
        const QDBusMessage reply =
            call(kProperties, "Set", {kPlayer, property, QVariant::fromValue(QDBusVariant(value))});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    template <class Condition> bool waitFor(Condition condition, int ms = 5000) {
        for (int waited = 0; !condition() && waited < ms; waited += 20)
            QTest::qWait(20);
        return condition();
    }

    // Five copies of the two-second fixture: long enough to seek in.
    QString longTaggedFile() {
        QFile in(QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/cbr.mp3"));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        const QByteArray frames = in.readAll();
        QByteArray record = "TAG" + QByteArray("Tag Title").leftJustified(30, ' ') +
                            QByteArray("Tag Artist").leftJustified(30, ' ') +
                            QByteArray("Tag Album").leftJustified(30, ' ') + QByteArray(35, ' ');
        return tree.file("Music/long song.mp3", frames.repeated(5) + record);
    }

    bool runPlayerctl(const QStringList& arguments, QString* out = nullptr) {
        QProcess p;
        p.start(QStringLiteral("playerctl"), QStringList{"--player=brindlo"} + arguments);
        // The service answers from this thread: keep its loop running.
        if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 10000)) {
            p.kill();
            p.waitForFinished();
            return false;
        }
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    TempTree tree;
    std::unique_ptr<QDBusConnection> client_;
    static inline QTemporaryDir* busDir_ = nullptr;
    static inline QProcess* bus_ = nullptr;
    static inline QString address_;
};

TEST_F(Mpris, NamesItselfAndDescribesTheProgram) {
    player::MprisService* service = window::joinSessionBus(*w);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->busName(), kName);
    EXPECT_TRUE(client_->interface()->isServiceRegistered(kName).value());

    const QDBusMessage all = call(kProperties, "GetAll", {kRoot});
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
    const QVariantMap root = asMap(all.arguments().constFirst());
    EXPECT_EQ(root.value("Identity").toString(), "Brindlo");
    EXPECT_EQ(root.value("DesktopEntry").toString(), "io.github.brindlo.Brindlo");
    EXPECT_EQ(root.value("CanQuit").toBool(), false);
    EXPECT_EQ(root.value("CanRaise").toBool(), true);
    EXPECT_EQ(root.value("HasTrackList").toBool(), false);
    EXPECT_EQ(root.value("SupportedMimeTypes").toStringList(), QStringList{"audio/mpeg"});

    // Nothing open: stopped, nothing to play or seek, no track.
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_EQ(get(kPlayer, "CanPlay").toBool(), false);
    EXPECT_EQ(get(kPlayer, "CanSeek").toBool(), false);
    EXPECT_EQ(get(kPlayer, "CanControl").toBool(), true);
    EXPECT_EQ(get(kPlayer, "CanGoNext").toBool(), false);

    // A second Brindlo on the same bus takes the name with its instance.
    QDBusConnection other =
        QDBusConnection::connectToBus(address_, QStringLiteral("second brindlo"));
    player::MprisService second(w->media, {});
    ASSERT_TRUE(second.registerOn(other));
    EXPECT_EQ(second.busName(), kName + ".instance" + QString::number(::getpid()));
    EXPECT_TRUE(client_->interface()->isServiceRegistered(second.busName()).value());
    QDBusConnection::disconnectFromBus(QStringLiteral("second brindlo"));

    // Raise brings the window up.
    w->showMinimized();
    EXPECT_EQ(call(kRoot, "Raise").type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(w->isMinimized());
}

TEST_F(Mpris, ReportsAndControlsWhatTheStripPlays) {
    ASSERT_NE(window::joinSessionBus(*w), nullptr);
    SignalLog log;
    listen(log, kName);
    const QString song = longTaggedFile();
    w->Dir1.setPath(tree.path("Music"));
    doubleClickFile("long song.mp3");
    ASSERT_TRUE(waitFor([&] { return log.last("PlaybackStatus") == "Playing"; }));

    const QVariantMap meta = asMap(get(kPlayer, "Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), "Tag Title");
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"Tag Artist"});
    EXPECT_EQ(meta.value("xesam:album").toString(), "Tag Album");
    EXPECT_EQ(meta.value("xesam:url").toString(),
              QString::fromLatin1(QUrl::fromLocalFile(song).toEncoded()));
    EXPECT_NEAR(meta.value("mpris:length").toLongLong() / 1e6, w->media.Duration(), 0.001);
    EXPECT_GT(w->media.Duration(), 9.0);
    const QString track = meta.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_TRUE(track.startsWith("/io/github/brindlo/")) << track.toStdString();
    EXPECT_EQ(asMap(log.last("Metadata")).value("xesam:title").toString(), "Tag Title");

    // Each command is a press of the strip's own controls.
    EXPECT_EQ(call(kPlayer, "Pause").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitFor([&] { return w->media.state() == player::PlayerEngine::State::Paused; }));
    EXPECT_TRUE(waitFor([&] { return log.last("PlaybackStatus") == "Paused"; }));

    EXPECT_EQ(call(kPlayer, "SetPosition",
                   {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(4'000'000)})
                  .type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitFor([&] { return !log.seeked.isEmpty(); }));
    EXPECT_EQ(log.seeked.value(0), 4'000'000);
    EXPECT_TRUE(waitFor([&] { return std::abs(w->media.CurrentPosition() - 4.0) < 0.1; }));
    // A stale track id moves nothing.
    call(kPlayer, "SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/io/github/old")), qlonglong(1'000'000)});
    call(kPlayer, "Seek", {qlonglong(2'000'000)});
    EXPECT_TRUE(waitFor([&] { return log.seeked.size() == 2; }));
    EXPECT_NEAR(log.seeked.value(1) / 1e6, 6.0, 0.1);
    EXPECT_NEAR(get(kPlayer, "Position").toLongLong() / 1e6, 6.0, 0.2);

    set("Volume", 0.25);
    EXPECT_TRUE(waitFor([&] { return w->media.volume() == 0.25; }));
    EXPECT_TRUE(waitFor([&] { return log.last("Volume").toDouble() == 0.25; }));

    EXPECT_EQ(call(kPlayer, "PlayPause").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitFor([&] { return w->media.isPlaying(); }));
    EXPECT_EQ(call(kPlayer, "Stop").type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitFor([&] { return log.last("PlaybackStatus") == "Stopped"; }));
    EXPECT_TRUE(w->media.isOpen()) << "stop keeps the file, as the strip's button does";

    // OpenUri goes where the command line would.
    const QString other = tree.folder("Elsewhere");
    call(kPlayer, "OpenUri", {QUrl::fromLocalFile(other).toString()});
    EXPECT_EQ(w->Dir1.Path(), other);

    // Closing the file clears the track.
    w->cmdOpen.Click.raise();
    EXPECT_TRUE(waitFor([&] {
        return asMap(log.last("Metadata")).value("mpris:trackid").value<QDBusObjectPath>().path() ==
               "/org/mpris/MediaPlayer2/TrackList/NoTrack";
    }));
}

TEST_F(Mpris, UntaggedFileIsTitledByItsName) {
    ASSERT_NE(window::joinSessionBus(*w), nullptr);
    QFile in(QStringLiteral(BRINDLO_PLAYBACK_FIXTURES "/cbr.mp3"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    tree.file("Music/no tag.mp3", in.readAll());
    w->Dir1.setPath(tree.path("Music"));
    doubleClickFile("no tag.mp3");
    ASSERT_TRUE(waitFor([&] { return w->media.isOpen(); }));
    const QVariantMap meta = asMap(get(kPlayer, "Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), "no tag.mp3");
    EXPECT_FALSE(meta.contains("xesam:artist"));
}

TEST_F(Mpris, PlayerctlDrivesTheStrip) {
    if (QStandardPaths::findExecutable("playerctl").isEmpty())
        GTEST_SKIP() << "playerctl is not installed";
    ASSERT_NE(window::joinSessionBus(*w), nullptr);
    longTaggedFile();
    w->Dir1.setPath(tree.path("Music"));
    doubleClickFile("long song.mp3");
    ASSERT_TRUE(waitFor([&] { return w->media.isPlaying(); }));

    QString out;
    EXPECT_TRUE(runPlayerctl({"status"}, &out));
    EXPECT_EQ(out, "Playing");
    EXPECT_TRUE(runPlayerctl({"metadata", "title"}, &out));
    EXPECT_EQ(out, "Tag Title");
    EXPECT_TRUE(runPlayerctl({"pause"}));
    EXPECT_TRUE(waitFor([&] { return w->media.state() == player::PlayerEngine::State::Paused; }));
    EXPECT_TRUE(runPlayerctl({"position", "5"}));
    EXPECT_TRUE(waitFor([&] { return std::abs(w->media.CurrentPosition() - 5.0) < 0.1; }));
    EXPECT_TRUE(runPlayerctl({"volume", "0.5"}));
    EXPECT_TRUE(waitFor([&] { return w->media.volume() == 0.5; }));
    EXPECT_TRUE(runPlayerctl({"play-pause"}));
    EXPECT_TRUE(waitFor([&] { return w->media.isPlaying(); }));
}

} // namespace

#include "test_mpris.moc"
