// The window as a screen reader sees it: Qt's accessibility tree of the
// shown window, not the widgets' own properties.
#include "testsupport.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <functional>

namespace {

using testing_support::TempTree;

QAccessibleInterface* accessible(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

// What a reader says for the control: its name, or on Linux, where Qt names
// a drop-down list after its current entry, the label it is labelled by.
QString spokenName(QAccessibleInterface* iface) {
    const auto labels = iface->relations(QAccessible::Label);
    if (iface->role() == QAccessible::ComboBox && !labels.isEmpty())
        return labels.first().first->text(QAccessible::Name);
    return iface->text(QAccessible::Name);
}

void walk(QAccessibleInterface* iface, const std::function<void(QAccessibleInterface*)>& visit) {
    if (!iface || iface->state().invisible) return;
    visit(iface);
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), visit);
}

class Accessibility : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        tree.file("Night Drive/01 Harbour Lights.mp3", "data");
        tree.file("Night Drive/02 Overpass.mp3", "data");
        w->Dir1.setPath(tree.path("Night Drive"));
    }
    TempTree tree;
};

TEST_F(Accessibility, EveryControlHasItsRoleAndAName) {
    struct Expected {
        const char* control;
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
    };
    const Expected table[] = {
        {"txtTitle", w->txtTitle.widget(), QAccessible::EditableText, "Title"},
        {"txtArtist", w->txtArtist.widget(), QAccessible::EditableText, "Artist"},
        {"txtAlbum", w->txtAlbum.widget(), QAccessible::EditableText, "Album"},
        {"txtYear", w->txtYear.widget(), QAccessible::EditableText, "Year"},
        {"txtComment", w->txtComment.widget(), QAccessible::EditableText, "Comment"},
        {"txtGenreCode", w->txtGenreCode.widget(), QAccessible::EditableText, "Genre code"},
        {"cmbGenre", w->cmbGenre.widget(), QAccessible::ComboBox, "Genre:"},
        {"Drive1", w->Drive1.widget(), QAccessible::ComboBox, "Drive"},
        {"Dir1", w->Dir1.widget(), QAccessible::Tree, "Folders"},
        {"File1", w->File1.widget(), QAccessible::List, "Files"},
        {"cmdOpen", w->cmdOpen.widget(), QAccessible::Button, "Open"},
        {"cmdSaveTag", w->cmdSaveTag.widget(), QAccessible::Button, "Save Tag"},
        {"cmdResize", w->cmdResize.widget(), QAccessible::Button, "Tag editing mode: on"},
    };
    // A chosen genre must not take the list's name away.
    w->cmbGenre.setListIndex(3);
    for (const Expected& e : table) {
        SCOPED_TRACE(e.control);
        QAccessibleInterface* iface = accessible(e.widget);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), e.role);
        EXPECT_EQ(spokenName(iface), QString::fromLatin1(e.name));
        EXPECT_TRUE(iface->state().focusable);
        // Reachable from the window, so a reader walking it finds the control.
        EXPECT_GE(iface->parent()->indexOfChild(iface), 0);
        EXPECT_EQ(iface->parent()->object(), w.get());
    }
}

TEST_F(Accessibility, EverythingAReaderCanReachIsNamed) {
    int seen = 0;
    walk(accessible(w.get()), [&](QAccessibleInterface* iface) {
        const auto* widget = qobject_cast<const QWidget*>(iface->object());
        // A widget that hands its focus on (the genre list's text portion)
        // is spoken as the one it hands it to.
        if (widget && widget->focusProxy()) return;
        if (!iface->state().focusable && iface->role() != QAccessible::StaticText) return;
        ++seen;
        EXPECT_FALSE(spokenName(iface).trimmed().isEmpty())
            << "role 0x" << std::hex << iface->role() << " "
            << (widget ? widget->metaObject()->className() : "entry of a list");
    });
    // The window's 13 controls, 9 labels, the player's 5 parts and the entries.
    EXPECT_GT(seen, 13 + 9 + 5);
}

TEST_F(Accessibility, ListEntriesAreSpokenByTheirNames) {
    QAccessibleInterface* files = accessible(w->File1.widget());
    QStringList entries;
    for (int i = 0; i < files->childCount(); ++i) {
        EXPECT_EQ(files->child(i)->role(), QAccessible::ListItem);
        entries << files->child(i)->text(QAccessible::Name);
    }
    EXPECT_EQ(entries, QStringList({"01 Harbour Lights.mp3", "02 Overpass.mp3"}));

    tree.folder("Night Drive/Live");
    w->Dir1.setPath(tree.root());
    w->Dir1.setPath(tree.path("Night Drive"));
    QAccessibleInterface* folders = accessible(w->Dir1.widget());
    QStringList names;
    for (int i = 0; i < folders->childCount(); ++i) {
        QAccessibleInterface* entry = folders->child(i);
        if (entry->role() == QAccessible::TreeItem) names << entry->text(QAccessible::Name);
    }
    EXPECT_TRUE(names.contains("Night Drive"));
    EXPECT_TRUE(names.contains("Live"));
}

TEST_F(Accessibility, WindowIsAFrameNamedByItsTitle) {
    QAccessibleInterface* window = accessible(w.get());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), w->Caption());
    EXPECT_GE(window->childCount(), 13);
}

TEST_F(Accessibility, ToggleTellsItsModeAndWhatAPressDoes) {
    QAccessibleInterface* toggle = accessible(w->cmdResize.widget());
    const std::pair<const char*, const char*> modes[] = {
        {"Tag editing mode: on", "Press to switch to the compact player"},
        {"Tag editing mode: off", "Press to switch to tag editing"},
        {"Tag editing mode: on", "Press to switch to the compact player"},
    };
    for (const auto& [name, description] : modes) {
        EXPECT_EQ(toggle->text(QAccessible::Name), name);
        EXPECT_EQ(toggle->text(QAccessible::Description), description);
        EXPECT_EQ(w->cmdResize.widget()->toolTip(), "Toggle Tag Editing Mode");
        w->cmdResize_Click();
    }
}

TEST_F(Accessibility, DriveListSpeaksItsCurrentDrive) {
    tree.folder("Stick");
    w->Drive1.setDrives({"/", tree.path("Stick")});
    QAccessibleInterface* drive = accessible(w->Drive1.widget());
    EXPECT_EQ(spokenName(drive), "Drive");
    EXPECT_EQ(drive->text(QAccessible::Value), "/");
    EXPECT_EQ(drive->text(QAccessible::Description), "Drive /");
    w->Drive1.setDrive(tree.path("Stick"));
    EXPECT_EQ(drive->text(QAccessible::Value), tree.path("Stick"));
    EXPECT_EQ(drive->text(QAccessible::Description), "Drive " + tree.path("Stick"));
}

TEST_F(Accessibility, LabelsSpeakTheirTextAndNameTheirBoxes) {
    const std::pair<controls::Label*, QWidget*> labelled[] = {
        {&w->Label1, w->txtTitle.widget()},   {&w->Label2, w->txtArtist.widget()},
        {&w->Label3, w->txtAlbum.widget()},   {&w->Label4, w->txtYear.widget()},
        {&w->Label5, w->txtComment.widget()}, {&w->Label6, w->cmbGenre.widget()},
    };
    for (const auto& [label, box] : labelled) {
        SCOPED_TRACE(label->Caption().toStdString());
        QAccessibleInterface* iface = accessible(label->widget());
        EXPECT_EQ(iface->role(), QAccessible::StaticText);
        EXPECT_EQ(iface->text(QAccessible::Name), label->Caption());
        const auto targets = iface->relations(QAccessible::Labelled);
        ASSERT_EQ(targets.size(), 1);
        EXPECT_EQ(targets.first().first->object(), box);
    }
    // The time labels are read as they change, not as they were made.
    w->lblElapsedTime.setCaption(QStringLiteral("1:05"));
    w->lblTotalTime.setCaption(QStringLiteral("3:59"));
    for (const auto& [label, text] :
         {std::pair{&w->lblElapsedTime, "1:05"}, std::pair{&w->lblTotalTime, "3:59"},
          std::pair{&w->Label7, "/"}}) {
        QAccessibleInterface* iface = accessible(label->widget());
        EXPECT_EQ(iface->role(), QAccessible::StaticText);
        EXPECT_EQ(iface->text(QAccessible::Name), text);
    }
}

} // namespace
