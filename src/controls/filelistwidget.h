#pragma once

#include <QListWidget>
#include <QPersistentModelIndex>

#include <functional>

namespace controls {

// The file list's list box, of single selection as desktop users know it:
// no click takes the selection away (a click on the blank part, a
// Ctrl+click on the selected entry), a click on the selected entry is heard
// as a click, the first movement key with nothing selected selects an entry,
// and only the left button selects: a right or middle click changes nothing.
class FileListWidget final : public QListWidget {
public:
    FileListWidget(QWidget* parent, std::function<void()> clickedAgain);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool selectFirstFromKey(const QKeyEvent* event);

    std::function<void()> clickedAgain_;
    QPersistentModelIndex againOn_;
};

} // namespace controls
