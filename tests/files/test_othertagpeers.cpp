// The ID3v2 and APE tags that other software writes, read through the file
// layer and compared with what mutagen itself reads back from the same file.
#include "files/othertagfile.h"
#include "files/tagfile.h"

#include "tagfixture.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace {

using namespace tagtest;

// Writes the tags with mutagen (WRITE: ID3 version 3 or 4 and its text
// encoding, or "ape"), then prints what mutagen reads back as JSON.
const char* const kMutagen = R"(
import json, sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB
from mutagen.apev2 import APEv2
path, kind = sys.argv[1], sys.argv[2]
values = {'title': ['G\U0001d11e clef \u00e9t\u00e9'], 'artist': ['One', 'Two \u65e5\u672c'],
          'album': ['Alb\u00fcm']}
if kind == 'ape':
    tags = APEv2()
    tags['Title'], tags['Artist'], tags['Album'] = (values[k] for k in ('title', 'artist', 'album'))
    tags.save(path)
elif kind != 'read':
    version, encoding = int(kind[0]), int(kind[1])
    if encoding == 0:
        values['title'], values['artist'][1] = ['Caf\u00e9 cr\u00e8me'], 'Two'
    tags = ID3()
    tags.add(TIT2(encoding=encoding, text=values['title']))
    tags.add(TPE1(encoding=encoding, text=values['artist']))
    tags.add(TALB(encoding=encoding, text=values['album']))
    tags.save(path, v2_version=version, v1=0)
out = {}
try:
    id3 = ID3(path)
    out['id3'] = {k: ' / '.join(id3[f].text) for k, f in
                  (('title', 'TIT2'), ('artist', 'TPE1'), ('album', 'TALB')) if f in id3}
except Exception:
    pass
try:
    ape = APEv2(path)
    out['ape'] = {k.lower(): ' / '.join(list(v)) for k, v in ape.items()}
except Exception:
    pass
print(json.dumps(out))
)";

class OtherTagPeers : public ::testing::Test {
protected:
    void SetUp() override {
        python_ = mutagenPython();
        if (python_.empty()) GTEST_SKIP() << "python3-mutagen is not installed";
    }

    QJsonObject mutagen(const std::string& path, const std::string& kind) {
        std::string out;
        EXPECT_EQ(run(python_ + " -c " + quoted(kMutagen) + " " + quoted(path) + " " + kind, &out),
                  0)
            << out;
        return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    }

    static void expectSame(const std::optional<tag::TagValues>& ours, const QJsonObject& theirs) {
        ASSERT_TRUE(ours.has_value());
        EXPECT_EQ(QString::fromStdString(ours->title), theirs["title"].toString());
        EXPECT_EQ(QString::fromStdString(ours->artist), theirs["artist"].toString());
        EXPECT_EQ(QString::fromStdString(ours->album), theirs["album"].toString());
    }

    std::string python_;
};

TEST_F(OtherTagPeers, ReadsMutagensTagsAsMutagenDoes) {
    // ID3v2.3 in Latin-1 and UTF-16, v2.4 in Latin-1, UTF-16BE and UTF-8,
    // and APEv2 before an ID3v1 record, each on audio-like bytes.
    for (const char* kind : {"30", "31", "40", "42", "43", "ape"}) {
        SCOPED_TRACE(kind);
        TempFolder dir;
        const std::string file = dir.path("song.mp3");
        const bool ape = std::string(kind) == "ape";
        TempFolder::write(file, audio(3000));
        QJsonObject theirs = mutagen(file, kind);
        if (ape) {
            // mutagen puts its tag at the end; our save then appends the
            // record after it, which is how a file comes to have both.
            tag::RecordBytes bytes{};
            const auto r = record(5);
            std::copy(r.begin(), r.end(), bytes.begin());
            ASSERT_TRUE(files::writeTagRecord(TempFolder::asText(file), bytes).ok);
            theirs = mutagen(file, "read");
        }
        const std::optional<tag::OtherTags> ours = files::readOtherTags(TempFolder::asText(file));
        ASSERT_TRUE(ours.has_value());
        if (ape) {
            EXPECT_FALSE(ours->id3v2.has_value());
            expectSame(ours->ape, theirs["ape"].toObject());
        } else {
            EXPECT_FALSE(ours->ape.has_value());
            expectSame(ours->id3v2, theirs["id3"].toObject());
            EXPECT_EQ(ours->id3v2Version, kind[0] - '0');
        }
    }
}

TEST_F(OtherTagPeers, ReadsId3libsTagsAsMutagenDoes) {
    if (run("command -v id3v2 >/dev/null 2>&1") != 0) GTEST_SKIP() << "id3v2 is not installed";
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    TempFolder::write(file, audio(3000));
    ASSERT_EQ(run("id3v2 --id3v2-only -t 'New Title v2' -a 'The Band' -A 'Record' " + quoted(file) +
                  " >/dev/null"),
              0);
    const QJsonObject theirs = mutagen(file, "read");
    const std::optional<tag::OtherTags> ours = files::readOtherTags(TempFolder::asText(file));
    ASSERT_TRUE(ours.has_value());
    expectSame(ours->id3v2, theirs["id3"].toObject());
    EXPECT_EQ(ours->id3v2->title, "New Title v2");
}

TEST(OtherTagFile, NothingForWhatIsNoReadableFile) {
    TempFolder dir;
    EXPECT_FALSE(files::readOtherTags(TempFolder::asText(dir.path("gone.mp3"))));
    EXPECT_FALSE(files::readOtherTags(TempFolder::asText(dir.path(""))));
}

} // namespace
