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
    platform::setMessageBoxHook(
        [this](const QString& text, const QString& title, platform::MessageIcon icon) {
            messages.push_back({text, title, icon});
        });
    w = std::make_unique<frmBrindlo>(platform::MediaPlayer::AudioOutput::Silent);
    w->show();
}

void WindowTest::TearDown() {
    w.reset();
    platform::setMessageBoxHook({});
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

static QPoint centreOf(QListWidget* list, const QString& name) {
    const auto found = list->findItems(name, Qt::MatchExactly);
    EXPECT_FALSE(found.isEmpty()) << name.toStdString();
    if (found.isEmpty())
        return {};
    list->scrollToItem(found.first());
    return list->visualItemRect(found.first()).center();
}

void WindowTest::clickFile(const QString& name) {
    QListWidget* list = w->File1.listWidget();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(list, name));
}

void WindowTest::doubleClickFile(const QString& name) {
    QListWidget* list = w->File1.listWidget();
    const QPoint at = centreOf(list, name);
    // A real double-click: press, release, then the second press that
    // Qt turns into the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace testing_support
