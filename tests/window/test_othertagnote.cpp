// A file that also carries an ID3v2 or APE tag: the strip says what other
// players show, and saving leaves that tag alone.
#include "testsupport.h"

#include <QFile>

namespace {

using testing_support::TempTree;

QByteArray syncsafe(int n) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[3 - i] = char((n >> (7 * i)) & 0x7F);
    return out;
}

QByteArray id3v2Title(const QByteArray& title) {
    const QByteArray data = '\3' + title; // UTF-8
    const QByteArray frame = "TIT2" + syncsafe(int(data.size())) + QByteArray(2, '\0') + data;
    return QByteArray("ID3\4\0\0", 6) + syncsafe(int(frame.size()) + 20) + frame +
           QByteArray(20, '\0');
}

QByteArray record(const QByteArray& title) {
    return "TAG" + title.leftJustified(30, ' ') + QByteArray(95, ' ');
}

class OtherTagNote : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        w->Dir1.setPath(tree.folder("Music"));
    }
    TempTree tree;
};

TEST_F(OtherTagNote, StripSaysWhatOtherPlayersShowUntilAnotherFileIsClicked) {
    const QByteArray head = id3v2Title("New Title v2");
    tree.file("Music/both.mp3", head + QByteArray(500, 'a') + record("Old Title"));
    tree.file("Music/plain.mp3", QByteArray(500, 'a') + record("Plain"));
    w->File1.Refresh();

    clickFile("both.mp3");
    EXPECT_EQ(w->txtTitle.Text(), "Old Title");
    EXPECT_EQ(w->media.statusText(), "This file also has an ID3v2 tag: other players show "
                                     "\u201CNew Title v2\u201D.");

    // The note is the clicked file's, not a leftover of the one before.
    clickFile("plain.mp3");
    EXPECT_EQ(w->media.statusText(), "");

    // Saving the ID3v1 record changes nothing of the other tag.
    clickFile("both.mp3");
    w->txtTitle.setText("Edited");
    w->cmdSaveTag.Click.raise();
    ASSERT_TRUE(messages.empty());
    const QByteArray saved = tree.read("Music/both.mp3");
    EXPECT_TRUE(saved.startsWith(head + QByteArray(500, 'a')));
    EXPECT_EQ(saved.size(), head.size() + 500 + 128);
}

} // namespace
