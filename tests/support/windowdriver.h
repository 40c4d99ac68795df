#pragma once

// The user's hands on the tag area: real mouse and key events sent to the
// window's widgets, so that the handlers nest as they do in use.
#include "window/frmbrindlo.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace tagtest {

// Opens the genre drop-down and clicks the entry at that position.
inline void chooseGenre(frmBrindlo& w, int position) {
    QComboBox* list = w.cmbGenre.comboBox();
    list->showPopup();
    QAbstractItemView* view = list->view();
    const QModelIndex entry = list->model()->index(position, 0);
    view->scrollTo(entry);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(entry).center());
    EXPECT_FALSE(view->isVisible()) << "the click did not choose an entry";
}

// Types each character as a key press carrying it, so that characters
// outside ASCII ("é", "€") arrive the way a keyboard layout delivers them.
inline void typeText(QLineEdit* edit, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Selects the box's whole text and types over it; empty text deletes it.
inline void overtype(controls::TextBox& box, const QString& text) {
    QTest::keyClick(box.lineEdit(), Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box.lineEdit(), Qt::Key_Backspace);
    else
        typeText(box.lineEdit(), text);
}

inline void pressSave(frmBrindlo& w) {
    QTest::mouseClick(w.cmdSaveTag.button(), Qt::LeftButton);
}

} // namespace tagtest
