// The text boxes' length limits, typed and pasted into the window's boxes:
// they count characters as the tag's fields do, after composition.
#include "testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Types text one character at a time, as a keyboard with dead keys or a
// compose key delivers it: "e" + U+0301 arrives as two key presses.
void typeText(QWidget* box, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &release);
    }
}

QString repeated(const QString& text, int times) {
    QString out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

const QString kDecomposedE = QStringLiteral("e\u0301");
const QString kComposedE = QStringLiteral("\u00e9");

} // namespace

using TextBoxLimit = testing_support::WindowTest;

TEST_F(TextBoxLimit, CountsComposedCharactersAndRaisesOnlyForWhatItTakes) {
    int changes = 0;
    w->txtTitle.Change.connect([&] { ++changes; });
    QLineEdit* box = w->txtTitle.lineEdit();
    typeText(box, repeated(kDecomposedE, 30));
    EXPECT_EQ(w->txtTitle.Text(), repeated(kDecomposedE, 30)); // all thirty stay
    EXPECT_EQ(changes, 60);
    // Full: a further letter, and a mark that composes with nothing, are refused
    // and raise nothing; one that composes with the last letter still fits.
    typeText(box, QStringLiteral("x\u0302"));
    EXPECT_EQ(w->txtTitle.Text(), repeated(kDecomposedE, 30));
    EXPECT_EQ(changes, 60);
    box->backspace();
    box->backspace();
    typeText(box, QStringLiteral("a\u0300"));
    EXPECT_EQ(w->txtTitle.Text(), repeated(kDecomposedE, 29) + QStringLiteral("a\u0300"));
    EXPECT_EQ(w->txtTitle.MaxLength(), 30);
}

TEST_F(TextBoxLimit, PasteKeepsWhatFitsAtTheCursor) {
    struct Case {
        const char* name;
        controls::TextBox* box;
        QString before;
        int cursor;
        QString pasted, after;
    };
    const Case cases[] = {
        {"decomposed into an empty title", &w->txtTitle, {}, 0,
         repeated(kDecomposedE, 40), repeated(kDecomposedE, 30)},
        {"into the middle, the end stays", &w->txtArtist, QStringLiteral("ab"), 1,
         repeated(QStringLiteral("x"), 40),
         QStringLiteral("a") + repeated(QStringLiteral("x"), 28) + QStringLiteral("b")},
        {"year of four", &w->txtYear, {}, 0, repeated(kComposedE, 3) + kDecomposedE + "99",
         repeated(kComposedE, 3) + kDecomposedE},
        {"genre code without a limit", &w->txtGenreCode, {}, 0, repeated("7", 300),
         repeated("7", 300)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.box->setText(c.before);
        int changes = 0;
        c.box->Change.connect([&] { ++changes; });
        c.box->lineEdit()->setCursorPosition(c.cursor);
        QApplication::clipboard()->setText(c.pasted);
        c.box->lineEdit()->paste();
        EXPECT_EQ(c.box->Text(), c.after);
        EXPECT_EQ(changes, 1);
    }
}
