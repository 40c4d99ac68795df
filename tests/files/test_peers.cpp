// Other tag software as independent judges: what we write must read back the
// same in mutagen, and what mutagen or id3v2 writes must read right in ours.
#include "files/tagfile.h"
#include "core/tagrecord.h"

#include "tagfixture.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

#include <sys/wait.h>

namespace {

using namespace tagtest;

bool haveTool(const char* name) {
    return run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

// A short valid MP3 of silence when lame is there, else plain zero bytes: the
// tag rules do not care, but mutagen can then also check the audio.
bool makeAudioFile(const std::string& path) {
    if (haveTool("lame")) {
        const std::string raw = path + ".raw";
        TempFolder::write(raw, Bytes(44100, 0));
        const int rc = run("lame --silent -r -s 44.1 --bitwidth 16 --signed --little-endian -m m " +
                           quoted(raw) + " " + quoted(path) + " 2>/dev/null");
        std::remove(raw.c_str());
        if (rc == 0) return true;
    }
    TempFolder::write(path, Bytes(4096, 0));
    return false;
}

std::u16string boxText(const tag::Field<30>& f) {
    return tag::textUpToFirstNul(tag::displayText(f));
}

class TagPeers : public ::testing::Test {
protected:
    void SetUp() override {
        python_ = mutagenPython();
        if (python_.empty()) GTEST_SKIP() << "mutagen is not installed";
    }

    // What mutagen makes of the file's last 128 bytes, as JSON: the text
    // frames by their ID3v2 names, GENRE as the raw number, FOUND the title
    // that mutagen's own search of the file finds, LENGTH of the audio.
    QJsonObject mutagenView(const std::string& path, bool isMp3) {
        const std::string script = R"(
import json, sys
from mutagen.id3 import ID3, ParseID3v1, ID3NoHeaderError
path, is_mp3 = sys.argv[1], sys.argv[2] == '1'
out = {}
frames = ParseID3v1(open(path, 'rb').read()[-128:]) or {}
for frame in frames.values():
    out[frame.FrameID] = str(frame.text[0])
if 'TCON' in out:
    out['GENRE'] = int(out.pop('TCON'))
try:
    out['FOUND'] = str(ID3(path)['TIT2'].text[0])
except (ID3NoHeaderError, KeyError):
    pass
if is_mp3:
    from mutagen.mp3 import MP3
    out['LENGTH'] = MP3(path).info.length
print(json.dumps(out))
)";
        std::string out;
        const int rc =
            run(python_ + " -c " + quoted(script) + " " + quoted(path) + " " + (isMp3 ? "1" : "0"),
                &out);
        EXPECT_EQ(rc, 0) << out;
        return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    }

    std::string python_;
};

TEST_F(TagPeers, OurRecordReadsBackInMutagen) {
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    const bool isMp3 = makeAudioFile(file);
    const Bytes audioBytes = TempFolder::read(file);
    const double lengthBefore = isMp3 ? mutagenView(file, true)["LENGTH"].toDouble() : 0;

    // First an append to the untagged file, then a replacement in place.
    const struct {
        std::u16string title, artist, album, year, comment;
        int genre;
    } saves[] = {
        {u"Caf\u00E9 \u00FCber Stra\u00DFe \u00FF 30 chars", u"Artist", u"Album", u"1987",
         u"A comment of 28 characters.", 17},
        {u"Second", u"\u00C9mile", u"Other Album", u"2024", u"x", 146},
        {u"Third", u"A", u"B", u"1970", u"c", 0}, // mutagen reads the year as a date
    };
    for (const auto& s : saves) {
        SCOPED_TRACE(QString::fromStdU16String(s.title).toStdString());
        ASSERT_LE(s.comment.size(), 28u) << "mutagen keeps the last comment bytes for a track";
        tag::TagRecord r;
        tag::assign(r.Header, u"TAG");
        tag::assign(r.Title, s.title);
        tag::assign(r.Artist, s.artist);
        tag::assign(r.Album, s.album);
        tag::assign(r.Year, s.year);
        tag::assign(r.Comment, s.comment);
        tag::setGenreCode(r, std::uint8_t(s.genre));
        tag::RecordBytes bytes{};
        const tag::RecordBytes encoded = tag::encodeRecord(r);
        std::copy(encoded.begin(), encoded.end(), bytes.begin());
        const auto result = files::writeTagRecord(TempFolder::asText(file), bytes);
        ASSERT_TRUE(result.ok) << int(result.failure);

        const QJsonObject seen = mutagenView(file, isMp3);
        EXPECT_EQ(seen["TIT2"].toString(), QString::fromStdU16String(s.title));
        EXPECT_EQ(seen["TPE1"].toString(), QString::fromStdU16String(s.artist));
        EXPECT_EQ(seen["TALB"].toString(), QString::fromStdU16String(s.album));
        EXPECT_EQ(seen["TDRC"].toString(), QString::fromStdU16String(s.year));
        EXPECT_EQ(seen["COMM"].toString(), QString::fromStdU16String(s.comment));
        EXPECT_EQ(seen["GENRE"].toInt(-1), s.genre);
        EXPECT_EQ(seen["FOUND"].toString(), QString::fromStdU16String(s.title));
        if (isMp3) {
            EXPECT_GT(lengthBefore, 0.0);
            EXPECT_DOUBLE_EQ(seen["LENGTH"].toDouble(), lengthBefore);
        }

        const Bytes now = TempFolder::read(file);
        ASSERT_EQ(now.size(), audioBytes.size() + 128);
        EXPECT_TRUE(std::equal(audioBytes.begin(), audioBytes.end(), now.begin()))
            << "audio bytes changed";
    }
}

TEST_F(TagPeers, MutagenRecordReadsRightInOurs) {
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    makeAudioFile(file);
    // mutagen pads with NULs and puts a track number in the comment's last
    // byte, behind a NUL: the box must show the text only.
    const std::string script = R"(
import sys
from mutagen.id3 import MakeID3v1, TIT2, TPE1, TALB, TDRC, COMM, TRCK, TCON
frames = {'TIT2': TIT2(text='Caf\u00e9 del Mar'), 'TPE1': TPE1(text='Art\u00fcst'),
          'TALB': TALB(text='Album'), 'TDRC': TDRC(text='2001'),
          'COMM': COMM(text='Nice one'), 'TRCK': TRCK(text='7'), 'TCON': TCON(text='Rock')}
with open(sys.argv[1], 'ab') as f:
    f.write(MakeID3v1(frames))
)";
    ASSERT_EQ(run(python_ + " -c " + quoted(script) + " " + quoted(file)), 0);

    const auto bytes = files::readLastRecord(TempFolder::asText(file));
    ASSERT_TRUE(bytes);
    const tag::RecordBytes raw = *bytes;
    ASSERT_TRUE(tag::hasTagMarker(raw));
    const tag::TagRecord r = tag::decodeRecord(raw);
    EXPECT_EQ(boxText(r.Title), u"Caf\u00E9 del Mar");
    EXPECT_EQ(boxText(r.Artist), u"Art\u00FCst");
    EXPECT_EQ(boxText(r.Album), u"Album");
    EXPECT_EQ(tag::displayText(r.Year), u"2001");
    EXPECT_EQ(boxText(r.Comment), u"Nice one");
    EXPECT_EQ(r.Comment[29], u'\x07');
    EXPECT_EQ(tag::genreCode(r), 17);
    EXPECT_EQ(tag::encodeRecord(r), raw) << "a foreign record must survive a round trip";
}

TEST_F(TagPeers, Id3v2ToolRecordReadsRightInOurs) {
    if (!haveTool("id3v2")) GTEST_SKIP() << "id3v2 is not installed";
    TempFolder dir;
    const std::string file = dir.path("song.mp3");
    makeAudioFile(file);
    ASSERT_EQ(run("id3v2 -1 -t 'A Title' -a 'An Artist' -A 'An Album' -y 1999 -c 'Words' -g 80 " +
                  quoted(file) + " >/dev/null 2>&1"),
              0);

    const auto bytes = files::readLastRecord(TempFolder::asText(file));
    ASSERT_TRUE(bytes);
    ASSERT_TRUE(tag::hasTagMarker(*bytes));
    const tag::TagRecord r = tag::decodeRecord(*bytes);
    EXPECT_EQ(boxText(r.Title), u"A Title");
    EXPECT_EQ(boxText(r.Artist), u"An Artist");
    EXPECT_EQ(boxText(r.Album), u"An Album");
    EXPECT_EQ(tag::displayText(r.Year), u"1999");
    EXPECT_EQ(boxText(r.Comment), u"Words");
    EXPECT_EQ(tag::genreCode(r), 80);
}

} // namespace
