// Draws the program's icon, a white disc with a black outline on a
// transparent background, at the sizes the desktop asks for:
// make-icons OUTDIR writes brindlo-16.png and brindlo-32.png. The PNGs in
// data/icons/ come from here; data/icons/brindlo.svg is the same drawing.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

QImage disc(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Thinner at 16 px, where a 2 px outline would swallow the disc.
    const qreal line = size >= 32 ? 2.0 : 1.0;
    painter.setPen(QPen(Qt::black, line));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(line, line, size - 2 * line, size - 2 * line));
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32}) {
        const QString path = out.filePath(QStringLiteral("brindlo-%1.png").arg(size));
        if (!disc(size).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
