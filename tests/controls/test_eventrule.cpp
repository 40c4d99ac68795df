// The event rule of the control layer, on bare controls.
#include "controls/combobox.h"
#include "controls/textbox.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

using testing_support::ensureApplication;

class EventRule : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        form = std::make_unique<QWidget>();
        a = std::make_unique<controls::TextBox>(form.get());
        b = std::make_unique<controls::TextBox>(form.get());
        list = std::make_unique<controls::ComboBox>(form.get());
        for (const char* entry : {"one", "two", "three"})
            list->AddItem(QString::fromLatin1(entry));
        form->show();
    }
    std::unique_ptr<QWidget> form;
    std::unique_ptr<controls::TextBox> a, b;
    std::unique_ptr<controls::ComboBox> list;
    QStringList log;
};

TEST_F(EventRule, NewValueRunsTheHandlerNestedInsideTheWrite) {
    a->Change.connect([&] {
        log << "a begins";
        b->setText(a->Text() + "!");
        log << "a ends, b holds " + b->Text();
    });
    b->Change.connect([&] { log << "b runs"; });
    a->setText("x");
    EXPECT_EQ(log, QStringList({"a begins", "b runs", "a ends, b holds x!"}));
}

TEST_F(EventRule, CurrentValueRunsNothing) {
    int changes = 0, clicks = 0;
    a->Change.connect([&] { ++changes; });
    list->Click.connect([&] { ++clicks; });
    a->setText("");
    list->setListIndex(-1);
    a->setText("x");
    a->setText("x");
    list->setListIndex(1);
    list->setListIndex(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(clicks, 1);
}

TEST_F(EventRule, HandlerThatWritesItsOwnControlSettles) {
    // Each run writes the box; only the write of the value it holds ends it.
    int runs = 0;
    a->Change.connect([&] {
        ++runs;
        a->setText(a->Text().left(1));
    });
    a->setText("abc");
    EXPECT_EQ(a->Text(), "a");
    EXPECT_EQ(runs, 2);
}

TEST_F(EventRule, RefusedListPositionChangesNothing) {
    int clicks = 0;
    list->Click.connect([&] { ++clicks; });
    list->setListIndex(2);
    for (int bad : {3, -2, 32767}) {
        EXPECT_THROW(list->setListIndex(bad), controls::Refused) << bad;
    }
    EXPECT_EQ(list->ListIndex(), 2);
    EXPECT_EQ(clicks, 1);
}

TEST_F(EventRule, SkipOnFailureGoesOnAfterAFailingStatement) {
    controls::SkipOnFailure step;
    QStringList done;
    EXPECT_TRUE(step([&] { done << "first"; }));
    EXPECT_FALSE(step([&] {
        list->setListIndex(99);
        done << "never";
    }));
    EXPECT_TRUE(step([&] { done << "third"; }));
    EXPECT_EQ(done, QStringList({"first", "third"}));
}

TEST_F(EventRule, UserActionsRaiseTheEventOnceEach) {
    int changes = 0, clicks = 0;
    a->Change.connect([&] { ++changes; });
    list->Click.connect([&] { ++clicks; });
    QTest::keyClicks(a->lineEdit(), "abc");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(a->Text(), "abc");

    // Choosing an entry with the keyboard in the closed list.
    list->comboBox()->setFocus();
    QTest::keyClick(list->comboBox(), Qt::Key_Down);
    EXPECT_EQ(list->ListIndex(), 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(EventRule, FailureOfAUserRaisedHandlerIsReportedNotThrown) {
    QString reported;
    controls::setFailureReporter([&](const QString& what) { reported = what; });
    a->Change.connect([&] { list->setListIndex(7); });
    QTest::keyClicks(a->lineEdit(), "z");
    EXPECT_TRUE(reported.contains("7")) << reported.toStdString();
    controls::setFailureReporter({});
}

TEST_F(EventRule, AppendingSelectsNothingAndRaisesNothing) {
    int events = 0;
    list->Click.connect([&] { ++events; });
    list->Change.connect([&] { ++events; });
    controls::ComboBox fresh(form.get());
    fresh.Click.connect([&] { ++events; });
    fresh.AddItem("first");
    fresh.AddItem("second");
    EXPECT_EQ(fresh.ListIndex(), -1);
    EXPECT_EQ(fresh.Text(), "");
    EXPECT_EQ(events, 0);
}
