#pragma once

#include <QObject>

class QAbstractItemView;

namespace controls {

// Shows an entry's whole name as a tooltip where the view cuts it off, and
// no tooltip where the name is seen whole anyway.
class CutOffNameTips final : public QObject {
public:
    explicit CutOffNameTips(QAbstractItemView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* view_;
};

} // namespace controls
