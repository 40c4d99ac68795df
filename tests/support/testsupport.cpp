#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <QTreeWidget>

namespace testing_support {

void ensureApplication() {
    // Widget tests link qtmain.cpp, which makes the application.
    ASSERT_NE(QApplication::instance(), nullptr);
}

TempTree::TempTree() { EXPECT_TRUE(dir_.isValid()); }
QString TempTree::root() const { return QDir::cleanPath(dir_.path()); }
QString TempTree::path(const QString& relative) const { return root() + u'/' + relative; }

QString TempTree::file(const QString& relative, const QByteArray& bytes) const {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << p.toStdString();
    f.write(bytes);
    return p;
}

QString TempTree::folder(const QString& relative) const {
    const QString p = path(relative);
    EXPECT_TRUE(QDir().mkpath(p));
    return p;
}

QByteArray TempTree::read(const QString& relative) const {
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WindowTest::SetUp() {
    ensureApplication();
    controls::setMessageBoxHook(
        [this](const QString& text, const QString& title, controls::MessageIcon icon) {
            messages.push_back({text, title, icon});
        });
    w = std::make_unique<frmBrindlo>(player::MediaPlayer::AudioOutput::Silent);
    w->show();
}

void WindowTest::TearDown() {
    w.reset();
    controls::setMessageBoxHook({});
}

QStringList WindowTest::listedFiles() const {
    QStringList names;
    for (int i = 0; i < w->File1.ListCount(); ++i)
        names.append(w->File1.List(i));
    return names;
}

QStringList WindowTest::listedFolders() const {
    QTreeWidgetItem* current = w->Dir1.treeWidget()->currentItem();
    QStringList names;
    for (int i = 0; current && i < current->childCount(); ++i)
        names.append(current->child(i)->text(0));
    return names;
}

QListWidgetItem* WindowTest::fileItem(const QString& name) const {
    for (int row = 0; row < w->File1.ListCount(); ++row) {
        if (w->File1.List(row) == name) return w->File1.listWidget()->item(row);
    }
    ADD_FAILURE() << "not listed: " << name.toStdString();
    return nullptr;
}

QPoint WindowTest::centreOfFile(const QString& name) const {
    QListWidgetItem* item = fileItem(name);
    if (!item) return {};
    w->File1.listWidget()->scrollToItem(item);
    return w->File1.listWidget()->visualItemRect(item).center();
}

void WindowTest::clickFile(const QString& name, Qt::KeyboardModifiers modifiers) {
    QListWidget* list = w->File1.listWidget();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, centreOfFile(name));
}

void WindowTest::doubleClickFile(const QString& name) {
    QWidget* viewport = w->File1.listWidget()->viewport();
    const QPoint at = centreOfFile(name);
    // What the platform delivers for a double-click: press, release, then a
    // second press followed by the double-click and the last release.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

} // namespace testing_support
