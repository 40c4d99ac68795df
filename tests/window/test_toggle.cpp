// The narrow button that switches between tag-editing and compact mode.
#include "testsupport.h"

#include <QPushButton>
#include <QTest>
#include <QApplication>

using Toggle = testing_support::WindowTest;

namespace {
struct Mode {
    const char* caption;
    int mediaWidth, buttonLeft, windowWidth, clientWidth;
    bool saveVisible;
};
constexpr Mode kTagEditing{"<", 10815, 10800, 11055, 10965, true};
constexpr Mode kCompact{">", 7215, 7200, 7440, 7350, false};

void expectMode(frmBrindlo& w, const Mode& m) {
    EXPECT_EQ(w.cmdResize.Caption(), m.caption);
    EXPECT_EQ(w.media.Width(), m.mediaWidth);
    EXPECT_EQ(w.cmdResize.Left(), m.buttonLeft);
    EXPECT_EQ(w.Width(), m.windowWidth);
    EXPECT_EQ(w.ScaleWidth(), m.clientWidth);
    EXPECT_EQ(w.cmdSaveTag.Visible(), m.saveVisible);
    // The player's right edge meets the toggle button's in both modes.
    EXPECT_EQ(w.media.Left() + w.media.Width(), w.cmdResize.Left() + w.cmdResize.Width());
    EXPECT_EQ(w.ScaleHeight(), 3825);
}
} // namespace

TEST_F(Toggle, SwitchesTheFiveSettingsBothWaysAndBack) {
    QPushButton* button = w->cmdResize.button();
    expectMode(*w, kTagEditing);
    QTest::mouseClick(button, Qt::LeftButton);
    expectMode(*w, kCompact);
    QTest::mouseClick(button, Qt::LeftButton);
    expectMode(*w, kTagEditing);
    QTest::mouseClick(button, Qt::LeftButton);
    expectMode(*w, kCompact);
}

TEST_F(Toggle, AnyOtherCaptionWidens) {
    w->cmdResize.setCaption("?");
    w->cmdResize_Click();
    expectMode(*w, kTagEditing);
}

TEST_F(Toggle, LeavesTagFieldsSelectionAndTimesAlone) {
    testing_support::TempTree tree;
    tree.file("one.mp3", "x");
    w->Dir1.setPath(tree.root());
    clickFile("one.mp3");
    w->txtTitle.setText("kept");
    w->cmbGenre.setListIndex(4);
    const QRect titleBox = w->txtTitle.widget()->geometry();
    w->cmdResize_Click();
    w->cmdResize_Click();
    EXPECT_EQ(w->txtTitle.Text(), "kept");
    EXPECT_EQ(w->txtTitle.widget()->geometry(), titleBox);
    EXPECT_EQ(w->cmbGenre.ListIndex(), 4);
    EXPECT_EQ(w->File1.FileName(), "one.mp3");
    EXPECT_EQ(w->lblElapsedTime.Caption(), "0:00");
}

TEST_F(Toggle, HiddenSaveButtonCannotBePressed) {
    int saves = 0;
    w->cmdSaveTag.Click.connect([&] { ++saves; });
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // An access key presses its button with a short animation, so wait.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    for (int waited = 0; saves == 0 && waited < 2000; waited += 20)
        QTest::qWait(20);
    EXPECT_EQ(saves, 1); // the access key works while the button shows
    w->cmdResize_Click();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QTest::qWait(300);
    // Nor by mouse: nothing of it is left on the window to hit.
    EXPECT_NE(w->childAt(w->cmdSaveTag.button()->geometry().center()), w->cmdSaveTag.button());
    EXPECT_EQ(saves, 1);
}

TEST_F(Toggle, StaysClickableOverTheLabelsInCompactMode) {
    w->cmdResize_Click();
    // In compact mode the button stands where the tag labels are; labels
    // never take the mouse, so the whole button answers.
    QWidget* hit = w->childAt(w->cmdResize.button()->geometry().center());
    EXPECT_EQ(hit, w->cmdResize.button());
}
