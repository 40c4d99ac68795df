// Reading a tag when a file is clicked and saving it with the button, on real
// temporary files, through the real widgets.
#include "testsupport.h"
#include "windowdriver.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <optional>
#include <vector>

namespace {

using testing_support::TempTree;
using namespace tagtest;

QByteArray padded(const QByteArray& text, int width, char fill = ' ') {
    return text.left(width) + QByteArray(std::max(0, width - int(text.size())), fill);
}

// A record byte for byte as the tag rules lay it out.
struct Fields {
    QByteArray title, artist, album, year, comment;
    int genre = 0;
    char fill = ' ';
};

QByteArray record(const Fields& f, const QByteArray& marker = "TAG") {
    return marker + padded(f.title, 30, f.fill) + padded(f.artist, 30, f.fill) +
           padded(f.album, 30, f.fill) + padded(f.year, 4, f.fill) + padded(f.comment, 30, f.fill) +
           char(f.genre);
}

// Bytes that stand in for audio: varied, and never "TAG" at the record's place.
QByteArray audio(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0x80 + (i * 37) % 97);
    return bytes;
}

struct Boxes {
    QString title, artist, album, year, comment, genreCode;
    int position = -1;
};

class TagWindow : public testing_support::WindowTest {
protected:
    // Files are made first, then the folder is listed.
    void list(const QString& folder = {}) {
        w->Dir1.setPath(folder.isEmpty() ? tree.root() : tree.path(folder));
    }

    Boxes shown() const {
        return {w->txtTitle.Text(),     w->txtArtist.Text(),  w->txtAlbum.Text(),
                w->txtYear.Text(),      w->txtComment.Text(), w->txtGenreCode.Text(),
                w->cmbGenre.ListIndex()};
    }

    void expectShown(const Boxes& want) const {
        const Boxes got = shown();
        EXPECT_EQ(got.title, want.title);
        EXPECT_EQ(got.artist, want.artist);
        EXPECT_EQ(got.album, want.album);
        EXPECT_EQ(got.year, want.year);
        EXPECT_EQ(got.comment, want.comment);
        EXPECT_EQ(got.genreCode, want.genreCode);
        EXPECT_EQ(got.position, want.position);
    }

    void fillBoxes(const Boxes& b) {
        overtype(w->txtTitle, b.title);
        overtype(w->txtArtist, b.artist);
        overtype(w->txtAlbum, b.album);
        overtype(w->txtYear, b.year);
        overtype(w->txtComment, b.comment);
    }

    QByteArray lastRecord(const QString& name) const { return tree.read(name).right(128); }

    TempTree tree;
};

// --- Reading -----------------------------------------------------------------

struct ReadCase {
    const char* name;
    QByteArray bytes;
    Boxes want;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class TagReading : public TagWindow, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(TagReading, ClickShowsTheRecordOrNothing) {
    // Another tag is showing first, so that nothing of it may remain.
    tree.file("before.mp3", audio(300) + record({"Old", "Old", "Old", "1900", "Old", 9}));
    tree.file("song.mp3", GetParam().bytes);
    list();
    clickFile("before.mp3");
    ASSERT_EQ(w->txtTitle.Text(), "Old");

    clickFile("song.mp3");
    expectShown(GetParam().want);
    EXPECT_EQ(w->varCurrentFile.toString(), tree.path("song.mp3"));
    EXPECT_EQ(tree.read("song.mp3"), GetParam().bytes) << "reading wrote to the file";
    const tag::RecordBytes held = tag::encodeRecord(w->TagRecord);
    const QByteArray heldBytes(reinterpret_cast<const char*>(held.data()), 128);
    if (GetParam().want.title.isEmpty() && GetParam().want.genreCode.isEmpty())
        EXPECT_EQ(heldBytes, lastRecord("before.mp3")) << "no record read, none replaced";
    else
        EXPECT_EQ(heldBytes, lastRecord("song.mp3")) << "the record is kept whole as read";
}

const QByteArray thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";
const Fields plain{"Song", "Band", "Disc", "1999", "Fine", 18};
const Boxes plainShown{"Song", "Band", "Disc", "1999", "Fine", "18", 17};
const QString none;

Fields withGenre(int code) {
    Fields f = plain;
    f.genre = code;
    return f;
}

Boxes shownWith(const QString& code, int position) {
    Boxes b = plainShown;
    b.genreCode = code;
    b.position = position;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TagReading,
    ::testing::Values(
        ReadCase{"NoTag", audio(1000), {}},
        ReadCase{"Exactly128BytesBeginningTAG", record(plain), plainShown},
        ReadCase{"Only127BytesBeginningTAG", record(plain).left(127), {}},
        ReadCase{"LowerCaseMarker", audio(500) + record(plain, "tag"), {}},
        ReadCase{"SpacesFilledOutLeadingSpacesKept",
                 audio(500) + record({"  Lead", " Band", "Disc", "99", "Fine", 18}),
                 {"  Lead", " Band", "Disc", "99", "Fine", "18", 17}},
        ReadCase{"NulsFilledOut",
                 audio(500) + record({"Song", "Band", "Disc", "99", "Fine", 18, '\0'}),
                 {"Song", "Band", "Disc", "99", "Fine", "18", 17}},
        ReadCase{"LettersSpacesThenNuls",
                 audio(500) + record({"abc   ", "Band", "Disc", "1999", "Fine", 18, '\0'}),
                 {"abc   ", "Band", "Disc", "1999", "Fine", "18", 17}},
        ReadCase{"ThirtyCharacterFields",
                 audio(500) + record({thirty, thirty, thirty, "2024", thirty, 18}),
                 {thirty, thirty, thirty, "2024", thirty, "18", 17}},
        ReadCase{"CommentWithNulThenTrack",
                 audio(500) + record({"Song", "Band", "Disc", "1999",
                                      padded("Fine", 29, '\0') + '\x07', 18}),
                 plainShown},
        ReadCase{"Genre0", audio(500) + record(withGenre(0)), shownWith(none, -1)},
        ReadCase{"Genre1", audio(500) + record(withGenre(1)), shownWith("1", 0)},
        ReadCase{"Genre32", audio(500) + record(withGenre(32)), shownWith("32", 31)},
        ReadCase{"Genre146", audio(500) + record(withGenre(146)), shownWith("146", 145)},
        ReadCase{"Genre147", audio(500) + record(withGenre(147)), shownWith("147", -1)},
        ReadCase{"Genre255", audio(500) + record(withGenre(255)), shownWith("255", -1)}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST_F(TagWindow, FileGoneSinceListingShowsNothingAndCreatesNothing) {
    tree.file("a.mp3", audio(300) + record(plain));
    tree.file("gone.mp3", audio(300) + record({"Gone", "", "", "", "", 3}));
    list();
    QFile::remove(tree.path("gone.mp3"));
    clickFile("a.mp3");
    clickFile("gone.mp3");
    expectShown({});
    EXPECT_EQ(w->varCurrentFile.toString(), tree.path("gone.mp3"));
    EXPECT_FALSE(QFile::exists(tree.path("gone.mp3")));
}

TEST_F(TagWindow, ReadOnlyFileIsReadLikeAnyOther) {
    tree.file("locked.mp3", audio(300) + record(plain));
    ASSERT_TRUE(QFile::setPermissions(tree.path("locked.mp3"),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    list();
    clickFile("locked.mp3");
    expectShown(plainShown);
}

// --- Saving ------------------------------------------------------------------

const Boxes edited{"New Title", "New Artist", "New Album", "2024", "New Comment", {}, -1};

TEST_F(TagWindow, SavesInPlaceAndReadsBackTheSavedValues) {
    const QByteArray sound = audio(1000);
    tree.file("song.mp3",
              sound + record({"Old", "Old", "Old", "1900", padded("Old", 29, '\0') + '\x05', 3}));
    tree.file("other.mp3", audio(200));
    list();
    clickFile("song.mp3");
    fillBoxes(edited);
    chooseGenre(*w, 19);
    w->varCurrentFile = QStringLiteral("/somewhere/else.mp3");

    pressSave(*w);
    EXPECT_TRUE(messages.empty());
    const QByteArray now = tree.read("song.mp3");
    ASSERT_EQ(now.size(), sound.size() + 128) << "the record is replaced, not appended";
    EXPECT_EQ(now.left(sound.size()), sound);
    EXPECT_EQ(now.right(128),
              record({"New Title", "New Artist", "New Album", "2024", "New Comment", 20}))
        << "nothing of the old record, not even the bytes behind its NUL, is carried over";
    EXPECT_EQ(w->varCurrentFile.toString(), tree.path("song.mp3"));
    Boxes saved = edited;
    saved.genreCode = "20";
    saved.position = 19;
    expectShown(saved); // a save leaves the boxes as they are

    clickFile("other.mp3");
    clickFile("song.mp3");
    expectShown(saved);
}

TEST_F(TagWindow, UntaggedAndShortFilesGetTheRecordAppended) {
    const int sizes[] = {1000, 60, 0};
    for (const int size : sizes)
        tree.file(QString("f%1.mp3").arg(size), audio(size));
    list();
    for (const int size : sizes) {
        SCOPED_TRACE(size);
        const QString name = QString("f%1.mp3").arg(size);
        clickFile(name);
        fillBoxes(edited);
        pressSave(*w);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(tree.read(name), audio(size) + record({"New Title", "New Artist", "New Album",
                                                         "2024", "New Comment", 0}));
    }
}

TEST_F(TagWindow, EmptyBoxesAndNoGenreSaveSpacesAndAZeroByte) {
    tree.file("song.mp3", audio(300) + record(plain));
    list();
    clickFile("song.mp3");
    fillBoxes({});
    overtype(w->txtGenreCode, {});
    ASSERT_EQ(w->cmbGenre.ListIndex(), -1);
    pressSave(*w);
    EXPECT_EQ(lastRecord("song.mp3"), "TAG" + QByteArray(124, ' ') + '\0');
}

TEST_F(TagWindow, TextIsFilledOutOrCutToTheFieldWidth) {
    tree.file("song.mp3", audio(300));
    list();
    clickFile("song.mp3");
    const QString thirtyOne = QString::fromLatin1(thirty) + u'e';
    overtype(w->txtTitle, thirtyOne); // typing stops at the box's limit
    EXPECT_EQ(w->txtTitle.Text(), QString::fromLatin1(thirty));
    overtype(w->txtYear, "123456");
    w->txtArtist.setMaxLength(0); // only code can put more in a box than its field holds
    w->txtArtist.setText(thirtyOne);
    pressSave(*w);
    EXPECT_EQ(lastRecord("song.mp3"), record({thirty, thirty, "", "1234", "", 0}));
}

TEST_F(TagWindow, GenreByteComesFromTheList) {
    tree.file("song.mp3", audio(300));
    list();
    clickFile("song.mp3");
    const struct {
        std::optional<int> chosen;
        QString typedCode;
        int byte;
    } cases[] = {
        {std::nullopt, {}, 0},
        {0, {}, 1},
        {145, {}, 146},
        {std::nullopt, "200", 20}, // after typing 2, 0, 0 the list stays at 19
        {std::nullopt, "147", 14},
        {std::nullopt, "0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.byte);
        overtype(w->txtGenreCode, {});
        if (c.chosen) chooseGenre(*w, *c.chosen);
        QTest::keyClicks(w->txtGenreCode.lineEdit(), c.typedCode);
        pressSave(*w);
        EXPECT_EQ(int(quint8(lastRecord("song.mp3").back())), c.byte);
    }
}

TEST_F(TagWindow, Windows1252CharactersRoundTrip) {
    tree.file("song.mp3", audio(300));
    tree.file("other.mp3", audio(300));
    list();
    clickFile("song.mp3");
    const Boxes accented{QStringLiteral("Café € 5"),
                         QStringLiteral("Ærø Œuvre"),
                         QStringLiteral("Straße"),
                         "2024",
                         QStringLiteral("naïve “quotes”"),
                         {},
                         -1};
    fillBoxes(accented);
    pressSave(*w);
    EXPECT_EQ(lastRecord("song.mp3"), record({"Caf\xE9 \x80 5", "\xC6r\xF8 \x8Cuvre",
                                              "Stra\xDF"
                                              "e",
                                              "2024", "na\xEFve \x93quotes\x94", 0}));
    clickFile("other.mp3");
    clickFile("song.mp3");
    expectShown(accented);
}

// Accents typed or pasted as a letter and a combining mark (as many file
// names hold them) are composed before encoding, so they get their own
// Windows-1252 byte; a mark with no composed form still becomes "?". The
// width is counted after composing.
TEST_F(TagWindow, DecomposedAccentsAreSavedComposed) {
    tree.file("song.mp3", audio(300));
    list();
    clickFile("song.mp3");
    const QString acute(QChar(0x0301)), tilde(QChar(0x0303)), ring(QChar(0x030A));
    overtype(w->txtTitle, "Cafe" + acute);
    overtype(w->txtArtist, "Espan" + tilde + "a A" + ring);
    overtype(w->txtAlbum, "q" + acute);
    w->txtComment.setMaxLength(0); // only code can put more in a box than its field holds
    w->txtComment.setText(QString(29, 'x') + "e" + acute + "z");
    pressSave(*w);
    EXPECT_EQ(lastRecord("song.mp3"), record({"Caf\xE9",
                                              "Espa\xF1"
                                              "a \xC5",
                                              "q?", "", QByteArray(29, 'x') + "\xE9", 0}));
}

TEST_F(TagWindow, RefusedWhileAFileIsOpenAndNothingChanges) {
    tree.file("song.mp3", audio(300) + record(plain));
    tree.file("other.mp3", audio(300));
    list();
    clickFile("song.mp3");
    fillBoxes(edited);
    const QByteArray before = tree.read("song.mp3");
    const tag::RecordBytes heldBefore = tag::encodeRecord(w->TagRecord);
    w->varCurrentFile = QStringLiteral("/the/playing/file.mp3");
    w->blnFileOpen = true;

    pressSave(*w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot save to an open file");
    EXPECT_EQ(messages[0].title, "Mp3 Tag Save Error");
    EXPECT_EQ(messages[0].icon, controls::MessageIcon::Critical);
    EXPECT_EQ(tree.read("song.mp3"), before);
    EXPECT_EQ(tree.read("other.mp3"), audio(300));
    EXPECT_EQ(w->varCurrentFile.toString(), "/the/playing/file.mp3");
    EXPECT_EQ(tag::encodeRecord(w->TagRecord), heldBefore);
    EXPECT_EQ(w->txtTitle.Text(), edited.title);
}

const QString noFileSelected =
    QStringLiteral("No file is selected. Choose a file in the list, then save its tag.");

TEST_F(TagWindow, NothingSelectedIsRefusedWithAMessage) {
    tree.file("song.mp3", audio(300) + record(plain));
    list();
    fillBoxes(edited);
    pressSave(*w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, noFileSelected);
    EXPECT_EQ(messages[0].title, "Mp3 Tag Save Error");
    EXPECT_EQ(messages[0].icon, controls::MessageIcon::Critical);
    EXPECT_EQ(QDir(tree.root()).entryList(QDir::Files), QStringList{"song.mp3"});
    EXPECT_EQ(tree.read("song.mp3"), audio(300) + record(plain));
}

TEST_F(TagWindow, FolderChangedSinceTheClickSavesToTheNewFolder) {
    tree.file("A/song.mp3", audio(300) + record(plain));
    tree.file("B/other.mp3", audio(300));
    list("A");
    clickFile("song.mp3");
    fillBoxes(edited);
    w->Dir1.setPath(tree.path("B"));

    pressSave(*w);
    EXPECT_EQ(w->varCurrentFile.toString(), tree.path("B") + "/");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, noFileSelected);
    EXPECT_EQ(tree.read("A/song.mp3"), audio(300) + record(plain));
    EXPECT_EQ(tree.read("B/other.mp3"), audio(300));
}

TEST_F(TagWindow, FileGoneBeforeSavingIsReportedAndNotCreated) {
    tree.file("song.mp3", audio(300));
    list();
    clickFile("song.mp3");
    QFile::remove(tree.path("song.mp3"));
    pressSave(*w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("The tag of \"song.mp3\" could not be saved."))
        << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].title, "Mp3 Tag Save Error");
    EXPECT_FALSE(QFile::exists(tree.path("song.mp3")));
}

// The messages name what the user meant to save: never an empty name.
TEST_F(TagWindow, FailuresNameTheFileOrSayNoneIsSelected) {
    // The file became a folder between the click and the save.
    tree.file("A/song.mp3", audio(300) + record(plain));
    list("A");
    clickFile("song.mp3");
    QFile::remove(tree.path("A/song.mp3"));
    tree.folder("A/song.mp3");
    pressSave(*w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The tag of \"song.mp3\" could not be saved. It is a folder, not a file.");

    // The folder shown went away, and the list with it: nothing is selected.
    messages.clear();
    tree.file("B/other.mp3", audio(300));
    list("B");
    clickFile("other.mp3");
    QDir(tree.path("B")).removeRecursively();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->File1.ListCount() == 0; }, 5000));
    pressSave(*w);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, noFileSelected);
    EXPECT_FALSE(QFile::exists(tree.path("B")));
}

} // namespace
