#include "controls/cutoffnametips.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace controls {
namespace {

// Whether a view shows less than the whole of an entry's text.
bool isCutOff(const QAbstractItemView* view, const QModelIndex& index) {
    const QRect shown = view->visualRect(index);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.font = view->font();
    option.decorationSize = view->iconSize().isValid()
                                ? view->iconSize()
                                : QSize(view->style()->pixelMetric(QStyle::PM_SmallIconSize),
                                        view->style()->pixelMetric(QStyle::PM_SmallIconSize));
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    const int needed = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
    const int room = std::min(shown.right() + 1, view->viewport()->width()) - shown.left();
    return shown.left() < 0 || needed > room;
}

} // namespace

CutOffNameTips::CutOffNameTips(QAbstractItemView* view) : QObject(view), view_(view) {
    view->viewport()->installEventFilter(this);
}

bool CutOffNameTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || watched != view_->viewport())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = view_->indexAt(help->pos());
    if (index.isValid() && isCutOff(view_, index))
        QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(),
                           view_->viewport(), view_->visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

} // namespace controls
