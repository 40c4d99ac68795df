#include "controls/listicons.h"

#include "controls/shapeicon.h"

#include <QPainterPath>

namespace controls {
namespace {

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

QIcon placeIcon(PlaceGlyph glyph) {
    return QIcon(new PlaceEngine(glyph));
}

} // namespace controls
