#include "controls/filelistwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <utility>

namespace controls {

FileListWidget::FileListWidget(QWidget* parent, std::function<void()> clickedAgain)
    : QListWidget(parent), clickedAgain_(std::move(clickedAgain)) {}

QItemSelectionModel::SelectionFlags FileListWidget::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        command = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return command;
}

void FileListWidget::keyPressEvent(QKeyEvent* event) {
    if (selectFirstFromKey(event)) return;
    QListWidget::keyPressEvent(event);
}

// With nothing selected, the list's cursor already stands on the first
// entry once the list has the focus, so Qt's own handling of Down moves
// nowhere and selects nothing. A desktop list selects on the first key.
bool FileListWidget::selectFirstFromKey(const QKeyEvent* event) {
    if (count() == 0 || !selectionModel()->selectedIndexes().isEmpty() ||
        (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)))
        return false;
    QModelIndex target;
    switch (event->key()) {
    case Qt::Key_Down:
    case Qt::Key_Up:
    case Qt::Key_Home:
        target = model()->index(0, 0);
        break;
    case Qt::Key_End:
        target = model()->index(count() - 1, 0);
        break;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        target = moveCursor(event->key() == Qt::Key_PageDown ? MovePageDown : MovePageUp,
                            event->modifiers());
        if (!target.isValid()) target = model()->index(0, 0);
        break;
    default:
        return false;
    }
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
    scrollTo(target);
    return true;
}

// The click on the selected entry is taken on release, so that the second
// press of a double-click, which lands on the entry the first press
// selected, is not heard as one more click.
void FileListWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    againOn_ = index.isValid() && selectionModel()->isSelected(index)
                   ? QPersistentModelIndex(index)
                   : QPersistentModelIndex();
    QListWidget::mousePressEvent(event);
}

// Dragging with another button held would select as it goes.
void FileListWidget::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton && !(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void FileListWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QPersistentModelIndex again = std::exchange(againOn_, QPersistentModelIndex());
    QListWidget::mouseReleaseEvent(event);
    if (again.isValid() && indexAt(event->position().toPoint()) == again &&
        selectionModel()->isSelected(again))
        clickedAgain_();
}

// A double-click of the right button would otherwise play the file.
void FileListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    againOn_ = QPersistentModelIndex();
    QListWidget::mouseDoubleClickEvent(event);
}

} // namespace controls
