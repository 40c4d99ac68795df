// The narrow button that switches between tag-editing and compact mode.
#include "testsupport.h"

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <cmath>

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

TEST_F(Toggle, ControlsOutOfViewTakeNoFocus) {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    const std::vector<QWidget*> tagControls = {w->txtTitle.widget(),   w->txtArtist.widget(),
                                               w->txtAlbum.widget(),   w->txtYear.widget(),
                                               w->txtComment.widget(), w->txtGenreCode.widget(),
                                               w->cmbGenre.widget(),   w->cmdSaveTag.widget()};
    const auto inTagArea = [&](QWidget* focus) {
        for (QWidget* control : tagControls) {
            if (focus == control || control->isAncestorOf(focus)) return true;
        }
        return false;
    };
    w->txtTitle.widget()->setFocus();
    QTest::mouseClick(w->cmdResize.button(), Qt::LeftButton);
    EXPECT_FALSE(inTagArea(QApplication::focusWidget())); // typing cannot land there
    // Tab and Shift+Tab go round the whole window without entering them.
    for (Qt::KeyboardModifiers direction : {Qt::NoModifier, Qt::ShiftModifier}) {
        for (int k = 0; k < 25; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
            ASSERT_FALSE(inTagArea(QApplication::focusWidget())) << k;
        }
    }
    // Back in view, they take the focus and typing again.
    QTest::mouseClick(w->cmdResize.button(), Qt::LeftButton);
    w->txtTitle.widget()->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), "back");
    EXPECT_EQ(w->txtTitle.Text(), "back");
    int reached = 0;
    for (int k = 0; k < 25; ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached += inTagArea(QApplication::focusWidget());
    }
    EXPECT_GE(reached, 7);
}

TEST_F(Toggle, CompactModeShowsTheTimesButNoSliverOfATagLabel) {
    w->cmdResize_Click();
    const auto shotWithout = [&](std::initializer_list<controls::Label*> labels) {
        for (controls::Label* label : labels)
            label->widget()->hide();
        const QImage shot = w->grab().toImage();
        for (controls::Label* label : labels)
            label->widget()->show();
        return shot;
    };
    const QImage shown = shotWithout({});
    EXPECT_EQ(shown, shotWithout(
                         {&w->Label1, &w->Label2, &w->Label3, &w->Label4, &w->Label5, &w->Label6}));
    // The time labels run a little past the bottom edge, and still show.
    EXPECT_NE(shown, shotWithout({&w->lblElapsedTime}));
    EXPECT_NE(shown, shotWithout({&w->lblTotalTime}));
}

TEST_F(Toggle, CaptionStaysInsideTheButtonFaceAtEveryScale) {
    QPushButton* button = w->cmdResize.button();
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const QString kept = button->text();
    const auto render = [&](const QString& caption, double scale) {
        button->setText(caption);
        QImage image((QSizeF(button->size()) * scale).toSize(), QImage::Format_ARGB32);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        button->render(&image);
        return image;
    };
    for (const char* caption : {"<", ">"}) {
        for (double scale : {1.0, 1.25, 1.5, 2.0}) {
            SCOPED_TRACE(std::string(caption) + " at " + std::to_string(scale));
            const QImage face = render(QString(), scale);
            const QImage drawn = render(QString::fromLatin1(caption), scale);
            // The caption's pixels: none on the frame, some inside it. The
            // frame covers the device pixels that its logical ones touch.
            const int near = int(std::ceil(frame * scale));
            const int farX = int(std::floor((button->width() - frame) * scale));
            const int farY = int(std::floor((button->height() - frame) * scale));
            int inside = 0, onFrame = 0;
            for (int y = 0; y < face.height(); ++y) {
                for (int x = 0; x < face.width(); ++x) {
                    if (face.pixel(x, y) == drawn.pixel(x, y)) continue;
                    const bool clear = x >= near && x < farX && y >= near && y < farY;
                    (clear ? inside : onFrame) += 1;
                }
            }
            EXPECT_GT(inside, 0);
            EXPECT_EQ(onFrame, 0);
        }
    }
    button->setText(kept);
}
