// A tag saved through the window into a real MP3 must read back the same in
// mutagen, and the audio around it must not change by a single byte.
#include "testsupport.h"
#include "windowdriver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

#include <cmath>
#include <optional>

namespace {

using testing_support::TempTree;

// Half a second of a 440 Hz tone, 16-bit mono, as a WAV file.
QByteArray toneWav() {
    constexpr int rate = 44100, samples = rate / 2;
    QByteArray pcm(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const auto value = qint16(8000 * std::sin(2 * M_PI * 440 * i / rate));
        qToLittleEndian(value, pcm.data() + 2 * i);
    }
    auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    return "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(rate) +
           le32(rate * 2) + le16(2) + le16(16) + "data" + le32(pcm.size()) + pcm;
}

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<QByteArray> run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// Debian's mutagen belongs to the system interpreter.
const QString python = QStringLiteral("/usr/bin/python3");

QByteArray audioHash(const QByteArray& withoutRecord) {
    return QCryptographicHash::hash(withoutRecord, QCryptographicHash::Sha256);
}

class TagWindowPeers : public testing_support::WindowTest {};

TEST_F(TagWindowPeers, TagSavedThroughTheWindowReadsBackInMutagen) {
    if (!run(python, {"-c", "import mutagen"})) GTEST_SKIP() << "mutagen is not installed";
    TempTree tree;
    tree.file("tone.wav", toneWav());
    if (!run("lame", {"--silent", tree.path("tone.wav"), tree.path("tone.mp3")}))
        GTEST_SKIP() << "lame is missing or failed";
    const QByteArray before = tree.read("tone.mp3");
    ASSERT_GT(before.size(), 1000);
    ASSERT_NE(before.right(128).left(3), "TAG") << "lame was not asked for a tag";

    w->Dir1.setPath(tree.root());
    clickFile("tone.mp3");
    // mutagen reads ID3v1 text as Latin-1, so the comparison keeps to the
    // characters that Latin-1 and Windows-1252 share.
    tagtest::overtype(w->txtTitle, QStringLiteral("Tone à 440 Hz"));
    tagtest::overtype(w->txtArtist, QStringLiteral("Générateur"));
    tagtest::overtype(w->txtAlbum, QStringLiteral("Tests"));
    tagtest::overtype(w->txtYear, QStringLiteral("2024"));
    tagtest::overtype(w->txtComment, QStringLiteral("Naïve, ½ done"));
    tagtest::chooseGenre(*w, 51); // "Techno-Industrial", code 52
    tagtest::pressSave(*w);
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();

    const QByteArray after = tree.read("tone.mp3");
    ASSERT_EQ(after.size(), before.size() + 128);
    EXPECT_EQ(audioHash(after.chopped(128)), audioHash(before));

    const char* script = R"(
import json, sys
from mutagen.id3 import ParseID3v1
from mutagen.mp3 import MP3
frames = ParseID3v1(open(sys.argv[1], 'rb').read()[-128:]) or {}
out = {f.FrameID: str(f.text[0]) for f in frames.values()}
out['LENGTH'] = MP3(sys.argv[1]).info.length
print(json.dumps(out))
)";
    const auto output = run(python, {"-c", script, tree.path("tone.mp3")});
    ASSERT_TRUE(output);
    const QJsonObject seen = QJsonDocument::fromJson(*output).object();
    EXPECT_EQ(seen["TIT2"].toString(), QStringLiteral("Tone à 440 Hz"));
    EXPECT_EQ(seen["TPE1"].toString(), QStringLiteral("Générateur"));
    EXPECT_EQ(seen["TALB"].toString(), QStringLiteral("Tests"));
    EXPECT_EQ(seen["TDRC"].toString(), QStringLiteral("2024"));
    EXPECT_EQ(seen["COMM"].toString(), QStringLiteral("Naïve, ½ done"));
    EXPECT_EQ(seen["TCON"].toString(), QStringLiteral("52"));
    EXPECT_NEAR(seen["LENGTH"].toDouble(), 0.5, 0.1) << "mutagen no longer sees the audio";
}

} // namespace
