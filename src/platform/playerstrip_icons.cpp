#include "platform/playerstrip_icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

namespace platform {
namespace {

class GlyphEngine final : public QIconEngine {
public:
    explicit GlyphEngine(StripGlyph glyph) : glyph_(glyph) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QPalette palette = QGuiApplication::palette();
        const QColor colour = palette.color(
            mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // Shapes are laid out on a 16 by 16 grid, centred in the square.
        const qreal side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        draw(painter, colour);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new GlyphEngine(glyph_); }

private:
    void draw(QPainter* painter, const QColor& colour) const {
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        switch (glyph_) {
        case StripGlyph::Play: {
            QPainterPath triangle;
            triangle.moveTo(4, 2.5);
            triangle.lineTo(13.5, 8);
            triangle.lineTo(4, 13.5);
            triangle.closeSubpath();
            painter->drawPath(triangle);
            break;
        }
        case StripGlyph::Pause:
            painter->drawRect(QRectF(3.5, 3, 3.5, 10));
            painter->drawRect(QRectF(9, 3, 3.5, 10));
            break;
        case StripGlyph::Stop:
            painter->drawRect(QRectF(3.5, 3.5, 9, 9));
            break;
        case StripGlyph::Speaker:
        case StripGlyph::SpeakerMuted:
            drawSpeaker(painter, colour);
            break;
        }
    }

    void drawSpeaker(QPainter* painter, const QColor& colour) const {
        QPainterPath body;
        body.moveTo(1.5, 5.5);
        body.lineTo(4.5, 5.5);
        body.lineTo(8.5, 2);
        body.lineTo(8.5, 14);
        body.lineTo(4.5, 10.5);
        body.lineTo(1.5, 10.5);
        body.closeSubpath();
        painter->drawPath(body);
        QPen pen(colour, 1.5, Qt::SolidLine, Qt::RoundCap);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        if (glyph_ == StripGlyph::SpeakerMuted) {
            painter->drawLine(QPointF(10.5, 5.5), QPointF(15, 10.5));
            painter->drawLine(QPointF(15, 5.5), QPointF(10.5, 10.5));
            return;
        }
        // Two sound waves: arcs of circles around the speaker's mouth.
        painter->drawArc(QRectF(6, 4.5, 5.5, 7), -50 * 16, 100 * 16);
        painter->drawArc(QRectF(5, 2, 9.5, 12), -55 * 16, 110 * 16);
    }

    StripGlyph glyph_;
};

} // namespace

QIcon stripIcon(StripGlyph glyph) {
    return QIcon(new GlyphEngine(glyph));
}

} // namespace platform
