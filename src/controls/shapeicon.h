#pragma once

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace controls {

// An icon drawn as shapes laid out on a 16 by 16 grid, centred in the square
// it is given, at whatever size and scale it is shown. Drawn icons need no
// icon theme: looking one up reads the theme's index from disk, which cost
// the first window a quarter of its start.
class ShapeEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        draw(painter, mode);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

protected:
    virtual void draw(QPainter* painter, QIcon::Mode mode) const = 0;
};

} // namespace controls
