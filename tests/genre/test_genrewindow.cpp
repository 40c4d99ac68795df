// The genre list and the genre code box kept in step, driven through the
// real widgets with keys, the clipboard, the popup and its wheel, so that the
// handlers nest exactly as they do for the user.
#include "testsupport.h"
#include "windowdriver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <vector>

namespace {

struct Action {
    enum Kind { Type, Paste, DeleteAll, Overtype, Append, Choose, Scroll, EditListText } kind;
    QString text;
    int position = -1;
};

Action typed(const QString& keys) {
    return {Action::Type, keys};
}
Action pasted(const QString& text) {
    return {Action::Paste, text};
}
Action deletedAll() {
    return {Action::DeleteAll, {}};
}
Action overtyped(const QString& keys) {
    return {Action::Overtype, keys};
}
Action appended(const QString& keys) {
    return {Action::Append, keys};
}
Action chosen(int position) {
    return {Action::Choose, {}, position};
}
Action scrolled() {
    return {Action::Scroll, {}};
}
Action listTextEdited(const QString& keys) {
    return {Action::EditListText, keys};
}

// What the pair shows after one action: the box's text and the selected position.
struct Step {
    Action action;
    QString box;
    int position;
};

struct CouplingCase {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const CouplingCase& c, std::ostream* os) {
    *os << c.name;
}

class GenreCoupling : public testing_support::WindowTest,
                      public ::testing::WithParamInterface<CouplingCase> {
protected:
    QLineEdit* box() const { return w->txtGenreCode.lineEdit(); }
    QComboBox* list() const { return w->cmbGenre.comboBox(); }

    void perform(const Action& a) {
        switch (a.kind) {
        case Action::Type:
            QTest::keyClicks(box(), a.text);
            break;
        case Action::Paste:
            QApplication::clipboard()->setText(a.text);
            QTest::keyClick(box(), Qt::Key_V, Qt::ControlModifier);
            break;
        case Action::DeleteAll:
            QTest::keyClick(box(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(box(), Qt::Key_Backspace);
            break;
        case Action::Overtype:
            QTest::keyClick(box(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box(), a.text);
            break;
        case Action::Append:
            QTest::keyClick(box(), Qt::Key_End);
            QTest::keyClicks(box(), a.text);
            break;
        case Action::Choose:
            tagtest::chooseGenre(*w, a.position);
            break;
        case Action::Scroll:
            wheelInPopup();
            break;
        case Action::EditListText:
            QTest::keyClicks(list()->lineEdit(), a.text);
            break;
        }
    }

    // Turns the mouse wheel over the open drop-down, then closes it unchosen.
    void wheelInPopup() {
        list()->showPopup();
        QAbstractItemView* view = list()->view();
        const int before = view->verticalScrollBar()->value();
        const QPoint at = view->viewport()->rect().center();
        QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        EXPECT_NE(view->verticalScrollBar()->value(), before) << "the drop-down did not scroll";
        QTest::keyClick(view, Qt::Key_Escape);
    }
};

TEST_P(GenreCoupling, EndStateAfterEachAction) {
    ASSERT_EQ(w->txtGenreCode.Text(), "");
    ASSERT_EQ(w->cmbGenre.ListIndex(), -1);
    int n = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE("after action " + std::to_string(++n));
        perform(step.action);
        EXPECT_EQ(w->txtGenreCode.Text(), step.box);
        EXPECT_EQ(w->cmbGenre.ListIndex(), step.position);
    }
}

INSTANTIATE_TEST_SUITE_P(
    UserActions, GenreCoupling,
    ::testing::Values(
        CouplingCase{"ChoosesPsychadelic", {{chosen(67), "68", 67}, {chosen(92), "93", 92}}},
        CouplingCase{"ChoosesFirst", {{chosen(0), "1", 0}}},
        CouplingCase{"ChoosesLast", {{chosen(145), "146", 145}}},
        CouplingCase{"Types1Then2", {{typed("1"), "1", 0}, {typed("2"), "12", 11}}},
        CouplingCase{"Types0", {{typed("0"), "", -1}}},
        CouplingCase{"Types0Then7", {{typed("0"), "", -1}, {typed("7"), "7", 6}}},
        CouplingCase{"TypesALetter", {{typed("x"), "", -1}}},
        CouplingCase{"TypesAMinusSign", {{typed("-"), "", -1}}},
        CouplingCase{"TypesAPoint", {{typed("."), "", -1}}},
        CouplingCase{"TypesABlank", {{typed(" "), "", -1}}},
        CouplingCase{"TypesABC",
                     {{typed("a"), "", -1}, {typed("b"), "", -1}, {typed("c"), "", -1}}},
        CouplingCase{"Types200",
                     {{typed("2"), "2", 1}, {typed("0"), "20", 19}, {typed("0"), "200", 19}}},
        CouplingCase{"Types147",
                     {{typed("1"), "1", 0}, {typed("4"), "14", 13}, {typed("7"), "147", 13}}},
        CouplingCase{"TypesMinusThen3", {{typed("-"), "", -1}, {typed("3"), "3", 2}}},
        CouplingCase{"PastesMinus3", {{pasted("-3"), "-3", -1}}},
        CouplingCase{"DeletesAllOf12", {{typed("12"), "12", 11}, {deletedAll(), "", -1}}},
        CouplingCase{"Pastes12AfterABlank", {{pasted(" 12"), "12", 11}}},
        CouplingCase{"Pastes12ThenLetters", {{pasted("12ab"), "12", 11}}},
        CouplingCase{"Pastes2Point9", {{pasted("2.9"), "2", 1}}},
        CouplingCase{"Pastes1e2", {{pasted("1e2"), "100", 99}}},
        CouplingCase{"PastesHex", {{pasted("&H1F"), "31", 30}}},
        CouplingCase{"PastesANumberTooLargeForADouble", {{pasted("1e999"), "1e999", -1}}},
        // The box has no length limit: a default one would stop at 32767.
        CouplingCase{"Pastes32768LineFeedsThen9", {{pasted(QString(32768, '\n') + "9"), "9", 8}}},
        CouplingCase{"Pastes100000BlanksThen42",
                     {{pasted(QString(100'000, ' ') + "42"), "42", 41}}},
        CouplingCase{"Types9FiveTimes",
                     {{typed("9"), "9", 8},
                      {typed("9"), "99", 98},
                      {typed("9"), "999", 98},
                      {typed("9"), "9999", 98},
                      {typed("9"), "99999", 98}}},
        CouplingCase{"AppendsALetterTo6", {{typed("6"), "6", 5}, {appended("x"), "6", 5}}},
        CouplingCase{"Overtypes6With0", {{typed("6"), "6", 5}, {overtyped("0"), "", -1}}},
        CouplingCase{"ScrollsWhileBoxShows200",
                     {{typed("200"), "200", 19}, {scrolled(), "20", 19}}},
        CouplingCase{"EditsListTextWhileBoxShows200",
                     {{typed("200"), "200", 19}, {listTextEdited("x"), "20", 19}}},
        CouplingCase{"EditsListTextWithNothingChosen", {{listTextEdited("x"), "", -1}}}),
    [](const ::testing::TestParamInfo<CouplingCase>& info) { return info.param.name; });

} // namespace
