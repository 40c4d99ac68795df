#include "platform/glyphs.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

namespace platform {
namespace {

// Draws a shape laid out on a 16 by 16 grid, centred in the square it is
// given, at any size and scale.
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

const QColor kFolderBack(0xd9, 0xa4, 0x2b);
const QColor kFolderFront(0xf5, 0xc8, 0x4c);
const QColor kFolderEdge(0x9a, 0x6b, 0x0c);
const QColor kDriveBody(0xd4, 0xd4, 0xd0);
const QColor kDriveFace(0xa8, 0xa8, 0xa4);
const QColor kDriveEdge(0x5a, 0x5a, 0x58);
const QColor kDriveLight(0x3c, 0xb4, 0x3c);

// Edges lie on half units so that they fall on whole pixels at 16 pixels.
class PlaceEngine final : public ShapeEngine {
public:
    explicit PlaceEngine(PlaceGlyph glyph) : glyph_(glyph) {}
    QIconEngine* clone() const override { return new PlaceEngine(glyph_); }

private:
    void draw(QPainter* painter, QIcon::Mode mode) const override {
        // Coloured icons fade when disabled, as pixmap icons do.
        if (mode == QIcon::Disabled) painter->setOpacity(0.45);
        if (glyph_ == PlaceGlyph::Drive)
            drawDrive(painter);
        else
            drawFolder(painter);
    }

    void drawFolder(QPainter* painter) const {
        painter->setPen(QPen(kFolderEdge, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        // The back, with its tab.
        QPainterPath back;
        back.moveTo(1.5, 13.5);
        back.lineTo(1.5, 3.5);
        back.lineTo(6, 3.5);
        back.lineTo(7.5, 5);
        back.lineTo(14.5, 5);
        back.lineTo(14.5, 13.5);
        back.closeSubpath();
        painter->setBrush(kFolderBack);
        painter->drawPath(back);
        painter->setBrush(kFolderFront);
        if (glyph_ == PlaceGlyph::FolderClosed) {
            painter->drawRect(QRectF(1.5, 6.5, 13, 7));
            return;
        }
        // Open: the front leans forward and shows the inside of the back.
        QPainterPath front;
        front.moveTo(4, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.5, 13.5);
        front.lineTo(1.5, 13.5);
        front.closeSubpath();
        painter->drawPath(front);
    }

    void drawDrive(QPainter* painter) const {
        painter->setPen(QPen(kDriveEdge, 1.0));
        painter->setBrush(kDriveBody);
        painter->drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1.5, 1.5);
        // The front panel, with a slot and the activity light.
        painter->setPen(Qt::NoPen);
        painter->setBrush(kDriveFace);
        painter->drawRect(QRectF(2, 8.5, 12, 3.5));
        painter->setPen(QPen(kDriveEdge, 1.0, Qt::SolidLine, Qt::FlatCap));
        painter->drawLine(QPointF(3.5, 10.5), QPointF(8.5, 10.5));
        painter->setPen(Qt::NoPen);
        painter->setBrush(kDriveLight);
        painter->drawEllipse(QPointF(12, 10.25), 1, 1);
    }

    PlaceGlyph glyph_;
};

} // namespace

QIcon stripIcon(StripGlyph glyph) {
    return QIcon(new StripEngine(glyph));
}

QIcon placeIcon(PlaceGlyph glyph) {
    return QIcon(new PlaceEngine(glyph));
}

} // namespace platform
