// The window as it stands at the first wait for the user.
#include "testsupport.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using StartUp = testing_support::WindowTest;

TEST_F(StartUp, ShowsTheEmptyTagEditingWindow) {
    for (controls::TextBox* box :
         {&w->txtTitle, &w->txtArtist, &w->txtAlbum, &w->txtYear, &w->txtComment,
          &w->txtGenreCode}) {
        EXPECT_EQ(box->Text(), "");
    }
    EXPECT_EQ(w->cmbGenre.ListCount(), 146);
    EXPECT_EQ(w->cmbGenre.List(0), "Blues");
    EXPECT_EQ(w->cmbGenre.List(14), "R&b");
    EXPECT_EQ(w->cmbGenre.List(145), "SynthPop");
    EXPECT_EQ(w->cmbGenre.ListIndex(), -1);
    EXPECT_EQ(w->cmbGenre.Text(), "");
    EXPECT_EQ(w->lblElapsedTime.Caption(), "0:00");
    EXPECT_EQ(w->lblTotalTime.Caption(), "0:00");
    EXPECT_EQ(w->cmdOpen.Caption(), "&Open");
    EXPECT_EQ(w->cmdSaveTag.Caption(), "&Save Tag");
    EXPECT_EQ(w->cmdResize.Caption(), "<");
    EXPECT_TRUE(w->cmdSaveTag.Visible());
    EXPECT_FALSE(w->Timer1.Enabled());
    EXPECT_EQ(w->Timer1.Interval(), 1000);
    EXPECT_EQ(w->ScaleWidth(), 10965);
    EXPECT_EQ(w->ScaleHeight(), 3825);
    EXPECT_EQ(w->Width(), 11055);
}

TEST_F(StartUp, PointsTheListsAtTheSystemRoot) {
    EXPECT_EQ(w->Drive1.Drive(), "/");
    EXPECT_EQ(w->Dir1.Path(), "/");
    EXPECT_EQ(w->File1.Path(), "/");
    EXPECT_EQ(w->File1.Pattern(), "*.mp3");
    EXPECT_EQ(w->File1.ListIndex(), -1);
}

TEST_F(StartUp, WindowValuesStartEmpty) {
    EXPECT_EQ(w->varGenres.toStringList().size(), 146);
    EXPECT_FALSE(w->varCurrentFile.isValid());
    EXPECT_FALSE(w->varMinutes.isValid());
    EXPECT_EQ(w->intSeconds, 0);
    EXPECT_FALSE(w->blnFileOpen);
    EXPECT_FALSE(w->strBaseCaption.isEmpty());
    EXPECT_EQ(w->strBaseCaption, w->Caption());
}

TEST_F(StartUp, ControlsStandAtTheirDesignPlaces) {
    struct Place {
        const char* name;
        controls::TwipsGeometry* control;
        int left, top, width, height, tabIndex;
    };
    const Place places[] = {
        {"cmdResize", &w->cmdResize, 10800, 120, 135, 2895, 22},
        {"Drive1", &w->Drive1, 120, 2280, 2415, 315, 11},
        {"Dir1", &w->Dir1, 120, 120, 2415, 2115, 10},
        {"cmdSaveTag", &w->cmdSaveTag, 7200, 2640, 3495, 375, 9},
        {"cmdOpen", &w->cmdOpen, 120, 2640, 2415, 375, 8},
        {"cmbGenre", &w->cmbGenre, 8040, 2280, 1935, 315, 7},
        {"txtGenreCode", &w->txtGenreCode, 10080, 2280, 615, 285, 6},
        {"txtComment", &w->txtComment, 8040, 1800, 2655, 285, 5},
        {"txtYear", &w->txtYear, 8040, 1320, 2655, 285, 4},
        {"txtAlbum", &w->txtAlbum, 8040, 960, 2655, 285, 3},
        {"txtArtist", &w->txtArtist, 8040, 480, 2655, 285, 2},
        {"txtTitle", &w->txtTitle, 8040, 120, 2655, 285, 1},
        {"File1", &w->File1, 2640, 120, 4455, 2820, 12},
        {"Label6", &w->Label6, 7080, 2280, 855, 255, 20},
        {"Label5", &w->Label5, 7080, 1800, 855, 255, 19},
        {"Label4", &w->Label4, 7080, 1320, 855, 255, 18},
        {"Label3", &w->Label3, 7080, 960, 855, 255, 17},
        {"Label2", &w->Label2, 7080, 480, 855, 255, 16},
        {"Label1", &w->Label1, 7080, 120, 855, 255, 15},
        {"lblElapsedTime", &w->lblElapsedTime, 3600, 3600, 855, 255, 14},
        {"lblTotalTime", &w->lblTotalTime, 4680, 3600, 615, 255, 13},
        {"Label7", &w->Label7, 4560, 3600, 255, 255, 21},
        {"media", &w->media, 120, 3120, 10815, 615, 0},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.control->Left(), p.left);
        EXPECT_EQ(p.control->Top(), p.top);
        EXPECT_EQ(p.control->Width(), p.width);
        EXPECT_EQ(p.control->Height(), p.height);
        if (auto* control = dynamic_cast<controls::Control*>(p.control)) {
            EXPECT_EQ(control->TabIndex(), p.tabIndex);
        }
    }
    // Pixels follow the twips: 15 to the pixel, edges rounded on their own.
    EXPECT_EQ(w->File1.widget()->geometry(), QRect(176, 8, 297, 188));
}

TEST_F(StartUp, LabelsAndBoxesAreSetUpAsDesigned) {
    const std::pair<controls::Label*, const char*> captions[] = {
        {&w->Label1, "Title:"},   {&w->Label2, "Artist:"}, {&w->Label3, "Album:"},
        {&w->Label4, "Year:"},    {&w->Label5, "Comment:"}, {&w->Label6, "Genre:"},
        {&w->Label7, "/"}};
    for (const auto& [label, caption] : captions) {
        EXPECT_EQ(label->Caption(), caption);
        EXPECT_EQ(static_cast<QLabel*>(label->widget())->text(), caption);
    }
    const auto alignment = [](controls::Label& l) {
        return static_cast<QLabel*>(l.widget())->alignment() & Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(w->Label1), Qt::AlignRight);
    EXPECT_EQ(alignment(w->lblElapsedTime), Qt::AlignRight);
    EXPECT_EQ(alignment(w->lblTotalTime), Qt::AlignLeft);
    EXPECT_EQ(w->cmdResize.widget()->toolTip(), "Toggle Tag Editing Mode");

    // Typing stops at the field widths; the code box takes any length.
    const std::pair<controls::TextBox*, int> limits[] = {
        {&w->txtTitle, 30}, {&w->txtArtist, 30}, {&w->txtAlbum, 30},
        {&w->txtComment, 30}, {&w->txtYear, 4}};
    const QString typed(40, u'x');
    for (const auto& [box, limit] : limits) {
        QTest::keyClicks(box->lineEdit(), typed);
        EXPECT_EQ(box->Text().size(), limit);
    }
    EXPECT_EQ(w->txtGenreCode.MaxLength(), 0);
}

TEST_F(StartUp, EveryControlHasANameForScreenReaders) {
    EXPECT_EQ(w->txtTitle.widget()->accessibleName(), "Title");
    EXPECT_EQ(w->txtComment.widget()->accessibleName(), "Comment");
    EXPECT_EQ(w->cmbGenre.widget()->accessibleName(), "Genre");
    EXPECT_EQ(w->txtGenreCode.widget()->accessibleName(), "Genre code");
    EXPECT_EQ(w->File1.widget()->accessibleName(), "Files");
    EXPECT_EQ(w->Dir1.widget()->accessibleName(), "Folders");
    EXPECT_EQ(w->Drive1.widget()->accessibleName(), "Drive");
    // Labels keep their visible text as what a reader says.
    EXPECT_TRUE(w->Label1.widget()->accessibleName().isEmpty());
}

TEST_F(StartUp, KeyboardFocusFollowsTheTabIndexes) {
    const std::vector<QWidget*> expected = {
        w->txtTitle.widget(), w->txtArtist.widget(),  w->txtAlbum.widget(),
        w->txtYear.widget(),  w->txtComment.widget(), w->txtGenreCode.widget(),
        w->cmbGenre.widget(), w->cmdOpen.widget(),    w->cmdSaveTag.widget(),
        w->Dir1.widget(),     w->Drive1.widget(),     w->File1.widget(),
        w->cmdResize.widget()};
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next && (!(next->focusPolicy() & Qt::TabFocus) || expected[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
}

// The first key a user presses lands where it does no harm: not on the
// player's Mute or Play, though the player keeps the start of Tab order.
TEST_F(StartUp, FocusStartsOnTheFolderListWhereAFirstKeyDoesNoHarm) {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    ASSERT_EQ(QApplication::focusWidget(), w->Dir1.widget());
    const QString folder = w->Dir1.Path();
    int handlers = 0;
    w->Dir1.Change.connect([&] { ++handlers; });
    w->File1.Click.connect([&] { ++handlers; });
    w->cmdOpen.Click.connect([&] { ++handlers; });
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_M})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(w->Dir1.Path(), folder);
    EXPECT_EQ(handlers, 0);
    EXPECT_FALSE(w->media.isMuted());
    EXPECT_FALSE(w->media.isOpen());
    // Backwards from the first tag box, Tab leads into the player.
    w->txtTitle.widget()->setFocus();
    QTest::keyClick(w->txtTitle.widget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(w->media.isAncestorOf(QApplication::focusWidget()));
}

TEST_F(StartUp, WindowIconIsTheDiscAtBothSizes) {
    // It is set just after the first paint.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->windowIcon().isNull(); }, 5000));
    const QIcon icon = w->windowIcon();
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)); // missing resources give a null image
        EXPECT_EQ(image.pixelColor(size / 2, size / 2), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0); // corners lie outside the disc
        EXPECT_EQ(image.pixelColor(size - 1, size - 1).alpha(), 0);
        // The outline crosses the middle row near the left edge.
        int darkest = 255;
        for (int x = 0; x < size / 4; ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, size / 2)));
        EXPECT_LT(darkest, 96);
    }
}
