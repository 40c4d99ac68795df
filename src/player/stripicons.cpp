#include "player/stripicons.h"

#include "controls/shapeicon.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>

namespace player {
namespace {

using controls::ShapeEngine;

class StripEngine final : public ShapeEngine {
public:
    explicit StripEngine(StripGlyph glyph) : glyph_(glyph) {}
    QIconEngine* clone() const override { return new StripEngine(glyph_); }

private:
    void draw(QPainter* painter, QIcon::Mode mode) const override {
        const QColor colour = QGuiApplication::palette().color(
            mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText);
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
    return QIcon(new StripEngine(glyph));
}

} // namespace player
