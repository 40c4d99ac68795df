#include "files/filename.h"

#include <QStringList>

#include <gtest/gtest.h>

using files::decodeFileName;
using files::encodeFileName;

TEST(FileNameText, EveryByteStringRoundTrips) {
    const QByteArray cases[] = {
        "plain.mp3",
        "caf\xc3\xa9 \xe2\x99\xab.mp3",   // valid UTF-8
        "\xff\xfe raw.mp3",                // not UTF-8 at all
        "half \xc3",                       // truncated sequence
        "\xed\xa0\x80 surrogate",          // UTF-8 of a surrogate is invalid
        "\xc0\xaf overlong",
        "\xf0\x9f\x8e\xb5 astral.mp3",
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_EQ(encodeFileName(decodeFileName(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

TEST(FileNameText, RawBytesNeverEncodeAsAnotherName) {
    // A name with an invalid byte must not turn into the name that holds
    // the replacement character itself.
    const QByteArray raw = "a\xff.mp3";
    const QByteArray replacement = "a\xef\xbf\xbd.mp3";
    EXPECT_NE(decodeFileName(raw), decodeFileName(replacement));
    EXPECT_EQ(encodeFileName(decodeFileName(replacement)), replacement);
    EXPECT_EQ(decodeFileName("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_TRUE(encodeFileName(QString(QChar(0xD800))).isEmpty());
}

TEST(FileNameText, ShownNamesNeverLookAlike) {
    using files::displayFileName;
    const QByteArray names[] = {
        "caf\xe9.mp3",         // Latin-1, not UTF-8
        "caf\xe8.mp3",         // another bad byte at the same place
        "caf\xef\xbf\xbd.mp3", // a real U+FFFD
        "caf\xef\xbf\xbd"
        "E9.mp3",          // U+FFFD followed by what looks like a byte
        "caf\xc3\xa9.mp3", // the valid spelling
        "caf\\xE9.mp3",    // the escape written out as text
    };
    QStringList shown;
    for (const QByteArray& bytes : names) {
        const QString text = displayFileName(decodeFileName(bytes));
        for (QChar c : text)
            EXPECT_FALSE(c.isSurrogate()) << bytes.toHex().toStdString();
        EXPECT_FALSE(shown.contains(text)) << text.toStdString();
        shown << text;
    }
    EXPECT_EQ(shown[0], QString::fromUtf8("caf\xef\xbf\xbd"
                                          "E9.mp3"));
    // Names that are whole text are shown as they are, emoji included.
    const QString plain = decodeFileName("\xf0\x9f\x8e\xb5 caf\xc3\xa9\\x.mp3");
    EXPECT_EQ(displayFileName(plain), plain);
}

// The one wording of a name for the list, the strip, the title and the
// messages: the last part of a path; a folder, as the full path with no
// file selected names one, keeps its separator so that it never shows empty.
TEST(FileNameText, ShownNameOfAPath) {
    using files::shownFileName;
    const struct {
        QString path, shown;
    } cases[] = {
        {"/music/song.mp3", "song.mp3"},
        {decodeFileName("/m\xe9/caf\xe9.mp3"), QString::fromUtf8("caf\xef\xbf\xbd" "E9.mp3")},
        {"song.mp3", "song.mp3"},
        {"/music/Album/", "Album/"},
        {decodeFileName("/caf\xe9//"), QString::fromUtf8("caf\xef\xbf\xbd" "E9/")},
        {"/", "/"},
        {"//", "/"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownFileName(c.path), c.shown) << c.path.toStdString();
}
