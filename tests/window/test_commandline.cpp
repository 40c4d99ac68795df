// Paths from the command line and from drops, through the real window: the
// lists go where the user's own choices would take them, and the same
// handlers run.
#include "testsupport.h"

#include "files/drives.h"
#include "files/filename.h"
#include "window/commandline.h"
#include "window/pathdrop.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTest>

#include <QUrl>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::TempTree;

QByteArray taggedFile(const char* title) {
    QByteArray record("TAG");
    record += QByteArray(title).leftJustified(30, '\0');
    record += QByteArray("Artist").leftJustified(30, '\0');
    record += QByteArray(64, '\0');
    record += char(17);
    return QByteArray(400, 'a') + record;
}

TEST(CommandLine, ReadsOptionsAndTheFirstPath) {
    const struct {
        QStringList arguments;
        bool qtOptionsLeft;
        std::optional<int> exitCode;
        const char* path;
    } rows[] = {
        {{"brindlo"}, false, {}, ""},
        {{"brindlo", "song.mp3"}, false, {}, "song.mp3"},
        {{"brindlo", "first.mp3", "second.mp3"}, false, {}, "first.mp3"},
        {{"brindlo", "--", "--help"}, false, {}, "--help"},
        {{"brindlo", "file:///tmp/a%20b.mp3"}, false, {}, "file:///tmp/a%20b.mp3"},
        // Qt's own options are still in the arguments before the display.
        {{"brindlo", "-platform", "offscreen", "x.mp3"}, true, {}, ""},
        {{"brindlo", "--no-such-option"}, false, 1, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const window::StartRequest request =
            window::readCommandLine(row.arguments, row.qtOptionsLeft);
        EXPECT_EQ(request.exitCode, row.exitCode);
        EXPECT_EQ(request.path, row.path);
    }
}

TEST(CommandLine, ArgumentBytesThatAreNotUtf8NameTheirOwnFile) {
    char program[] = "brindlo";
    char name[] = "caf\xE9.mp3";
    char* argv[] = {program, name, nullptr};
    const QStringList arguments = window::argumentsOf(2, argv);
    EXPECT_EQ(files::encodeFileName(arguments.at(1)), QByteArray("caf\xE9.mp3"));
}

class OpenPath : public testing_support::WindowTest {
protected:
    void expectStartState() {
        EXPECT_EQ(w->Drive1.Drive(), "/");
        EXPECT_EQ(w->Dir1.Path(), "/");
        EXPECT_EQ(w->File1.Path(), "/");
        EXPECT_EQ(w->File1.ListIndex(), -1);
        EXPECT_FALSE(w->varCurrentFile.isValid());
    }
    TempTree tree;
};

TEST_F(OpenPath, FileIsSelectedAndReadInItsFolder) {
    const QString song = tree.file("Music/Album/song.mp3", taggedFile("Song Title"));
    tree.file("Music/Album/other.mp3", "x");
    const QString folder = tree.path("Music/Album");
    const struct {
        const char* name;
        QString argument;
    } rows[] = {
        {"absolute path", song},
        {"file URI", QString::fromLatin1(QUrl::fromLocalFile(song).toEncoded())},
        {"path with . and .. in it", tree.path("Music/./Album/../Album/song.mp3")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        w->Dir1.setPath(QStringLiteral("/"));
        w->txtTitle.setText(QString());
        EXPECT_EQ(w->OpenPath(row.argument), "");
        EXPECT_EQ(w->Drive1.Drive(), "/");
        EXPECT_EQ(w->Dir1.Path(), folder);
        EXPECT_EQ(w->File1.Path(), folder);
        EXPECT_EQ(w->File1.FileName(), "song.mp3");
        // File1_Click ran: the path is the current file and its tag shows.
        EXPECT_EQ(w->varCurrentFile.toString(), song);
        EXPECT_EQ(w->txtTitle.Text(), "Song Title");
        EXPECT_EQ(w->txtGenreCode.Text(), "17");
    }
}

TEST_F(OpenPath, FolderIsShownWithNothingSelected) {
    tree.file("Music/a.mp3", "x");
    const QString folder = tree.folder("Music");
    EXPECT_EQ(w->OpenPath(folder + "/"), "");
    EXPECT_EQ(w->Dir1.Path(), folder);
    EXPECT_EQ(w->File1.Path(), folder);
    EXPECT_EQ(w->File1.ListCount(), 1);
    EXPECT_EQ(w->File1.ListIndex(), -1);
    EXPECT_FALSE(w->varCurrentFile.isValid());
}

TEST_F(OpenPath, RelativePathAndNameThatIsNotUtf8) {
    const QString name = files::decodeFileName("caf\xE9.mp3");
    const QString other = files::decodeFileName("caf\xE8.mp3");
    tree.folder("Music");
    const QString dir = tree.path("Music");
    for (const QString& n : {name, other}) {
        // By its bytes: QFile would take the name through the locale.
        const QByteArray bytes = n == name ? taggedFile("Right one") : taggedFile("Wrong one");
        const int fd = ::open(files::encodeFileName(dir + "/" + n).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
    }
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tree.root()));
    EXPECT_EQ(w->OpenPath("Music/" + name), "");
    QDir::setCurrent(previous);
    EXPECT_EQ(w->Dir1.Path(), dir);
    EXPECT_EQ(w->txtTitle.Text(), "Right one");

    // The same name as a URI, its bad byte percent-encoded.
    w->Dir1.setPath(QStringLiteral("/"));
    const QByteArray uri =
        "file://" + QFile::encodeName(dir).toPercentEncoding("/") + "/caf%E9.mp3";
    EXPECT_EQ(w->OpenPath(QString::fromLatin1(uri)), "");
    EXPECT_EQ(w->txtTitle.Text(), "Right one");
    // QTemporaryDir cannot name these to remove them.
    for (const QString& n : {name, other})
        ::unlink(files::encodeFileName(dir + "/" + n).constData());
}

TEST_F(OpenPath, WhatCannotBeOpenedLeavesTheStartAndSaysWhy) {
    const QString fifo = tree.path("pipe.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        const char* name;
        QString argument;
        const char* reason;
    } rows[] = {
        {"missing file", tree.path("gone.mp3"), "No such file or folder"},
        {"a file taken for a folder", tree.file("plain.mp3", "x") + "/inner.mp3",
         "No such file or folder"},
        {"a FIFO", fifo, "Not a file or a folder"},
        {"a remote URI", "https://example.org/song.mp3", "Only local files can be opened"},
        {"a URI of another host", "file://elsewhere/song.mp3", "Not a local file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(w->OpenPath(row.argument), row.reason);
        expectStartState();
    }
}

TEST_F(OpenPath, FileTheListDoesNotShowLeavesItsFolderShown) {
    const QString notes = tree.file("Music/notes.txt", "x");
    EXPECT_EQ(w->OpenPath(notes), "Not listed as an MP3 file; its folder is shown");
    EXPECT_EQ(w->Dir1.Path(), tree.path("Music"));
    EXPECT_EQ(w->File1.ListIndex(), -1);
    EXPECT_FALSE(w->varCurrentFile.isValid());
}

TEST_F(OpenPath, PathOnAVolumeChoosesThatDrive) {
    const QString song = tree.file("media/STICK/Songs/song.mp3", taggedFile("On the stick"));
    tree.file("mounts", "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " +
                            QFile::encodeName(tree.path("media/STICK")) + " vfat rw 0 0\n");
    files::setMountTable(tree.path("mounts"), {tree.path("media")});
    EXPECT_EQ(w->OpenPath(song), "");
    EXPECT_EQ(w->Drive1.Drive(), tree.path("media/STICK"));
    EXPECT_EQ(w->Dir1.Path(), tree.path("media/STICK/Songs"));
    EXPECT_EQ(w->txtTitle.Text(), "On the stick");
    files::setMountTable({}, {});
}

// A drop as a file manager makes it: a URI list, first the enter, then the
// drop, sent to the widget under the pointer.
bool drop(QWidget* target, const QList<QUrl>& urls, const QString& text = {}) {
    QMimeData mime;
    mime.setUrls(urls);
    if (!text.isEmpty()) mime.setText(text);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

TEST_F(OpenPath, DropOnTheWindowOpensAsTheCommandLineDoes) {
    window::acceptPathDrops(*w);
    const QString song = tree.file("Music/song.mp3", taggedFile("Dropped"));
    const QString folder = tree.folder("Other");

    EXPECT_TRUE(drop(w.get(), {QUrl::fromLocalFile(song), QUrl::fromLocalFile(folder)}));
    EXPECT_EQ(w->Dir1.Path(), tree.path("Music"));
    EXPECT_EQ(w->File1.FileName(), "song.mp3");
    EXPECT_EQ(w->txtTitle.Text(), "Dropped");

    // On a text box the path opens too, and the box is not written into.
    auto* box = static_cast<QLineEdit*>(w->txtComment.widget());
    EXPECT_TRUE(drop(box, {QUrl::fromLocalFile(folder)}, folder));
    EXPECT_EQ(w->Dir1.Path(), folder);
    EXPECT_EQ(box->text(), "");

    // Anything but a local file is refused.
    EXPECT_FALSE(drop(w.get(), {QUrl("https://example.org/x.mp3")}));
    EXPECT_EQ(w->Dir1.Path(), folder);
}

// The program as a user starts it.
class Program : public ::testing::Test {
protected:
    struct Result {
        int exitCode = -1;
        QString out, err;
    };
    static Result run(const QStringList& arguments) {
        QProcess p;
        p.start(QStringLiteral(BRINDLO_EXECUTABLE), arguments);
        Result r;
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
};

TEST_F(Program, HelpAndVersionPrintAndExitWithoutADisplay) {
    qunsetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const Result help = run({"--help"});
    const Result version = run({"--version"});
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Result wrong = run({"--bogus"});
    if (!display.isEmpty()) qputenv("DISPLAY", display);

    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: brindlo [OPTION]... [FILE | FOLDER]\n"))
        << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--version")) << help.out.toStdString();
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("brindlo " BRINDLO_VERSION "\n"))
        << version.out.toStdString();
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_TRUE(wrong.err.contains("--help")) << wrong.err.toStdString();
}

TEST_F(Program, MissingPathIsReportedAndTheWindowStartsAnyway) {
    TempTree tree;
    QTemporaryDir runtimeDir; // else Qt says where it puts one
    const QString missing = tree.path("gone.mp3");
    QProcess p;
    // No session bus either: that is said nowhere.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + tree.path("no-bus"));
    env.insert("XDG_RUNTIME_DIR", runtimeDir.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(BRINDLO_EXECUTABLE), {missing});
    ASSERT_TRUE(p.waitForStarted(5000));
    QByteArray err;
    for (int i = 0; i < 100 && !err.contains('\n') && p.state() == QProcess::Running; ++i) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError();
    }
    // Still running: it started as with no argument. Then ended by its PID.
    EXPECT_EQ(p.state(), QProcess::Running);
    QTest::qWait(1000); // past the first paint, when it joins the bus
    err += p.readAllStandardError();
    p.terminate();
    p.waitForFinished(5000);
    EXPECT_EQ(QString::fromUtf8(err), "brindlo: " + missing + ": No such file or folder\n");
}

} // namespace
