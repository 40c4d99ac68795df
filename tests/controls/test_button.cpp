// The narrow toggle button's caption, the only sign of the window's mode:
// drawn as the glyph it is, as large as the face inside the frame allows.
#include "testsupport.h"

#include <QImage>
#include <QPushButton>
#include <QStyle>

#include <cmath>

namespace {

struct Ink {
    int left = 0, right = -1, top = 0, bottom = -1; // device pixels, inclusive
    int onFrame = 0;                                 // pixels changed on the frame
    int darkest = 255;                               // lowest grey among the ink
    std::vector<int> leftmost, rightmost;            // per row of the ink
    int width() const { return right - left + 1; }
};

// The pixels that the caption changes against the bare face, at a scale.
Ink inkOf(QPushButton* button, const QString& caption, double scale, int frame) {
    const QString kept = button->text();
    const auto render = [&](const QString& text) {
        button->setText(text);
        QImage image((QSizeF(button->size()) * scale).toSize(), QImage::Format_ARGB32);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        button->render(&image);
        return image;
    };
    const QImage face = render(QString());
    const QImage drawn = render(caption);
    button->setText(kept);
    const int inset = int(std::ceil(frame * scale));
    Ink ink;
    ink.left = drawn.width();
    ink.top = drawn.height();
    std::vector<std::pair<int, int>> rows(drawn.height(), {drawn.width(), -1});
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            if (face.pixel(x, y) == drawn.pixel(x, y)) continue;
            if (x < inset || y < inset || x >= drawn.width() - inset ||
                y >= drawn.height() - inset) {
                ++ink.onFrame;
                continue;
            }
            ink.darkest = std::min(ink.darkest, qGray(drawn.pixel(x, y)));
            // Faint fringes of the antialiasing do not make the shape.
            if (qGray(face.pixel(x, y)) - qGray(drawn.pixel(x, y)) < 96) continue;
            ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
            rows[y].first = std::min(rows[y].first, x);
            rows[y].second = std::max(rows[y].second, x);
        }
    }
    for (int y = ink.top; y <= ink.bottom; ++y) {
        ink.leftmost.push_back(rows[y].first);
        ink.rightmost.push_back(rows[y].second);
    }
    return ink;
}

} // namespace

using ToggleCaption = testing_support::WindowTest;

TEST_F(ToggleCaption, ReadsAsItsArrowAtEveryScaleFillingTheFace) {
    QPushButton* button = w->cmdResize.button();
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    for (double scale : {1.0, 1.25, 1.5, 2.0}) {
        const int faceWidth =
            int(std::floor(button->width() * scale)) - 2 * int(std::ceil(frame * scale));
        for (const char* caption : {"<", ">"}) {
            SCOPED_TRACE(std::string(caption) + " at " + std::to_string(scale));
            const Ink ink = inkOf(button, QString::fromLatin1(caption), scale, frame);
            EXPECT_EQ(ink.onFrame, 0);
            ASSERT_GT(ink.width(), 0);
            // As wide as the face, give or take the antialiased edge pixels,
            // and about as tall as wide, as the glyph is: not a smudge.
            EXPECT_GE(ink.width(), faceWidth - 2) << "face " << faceWidth;
            const int height = ink.bottom - ink.top + 1;
            EXPECT_GE(height, ink.width() * 2 / 3);
            EXPECT_LT(ink.darkest, 96); // drawn in the text's colour, not grey
            // The point is at mid-height, on the side the arrow points to;
            // the two arms end at the other side, at the top and the bottom.
            const bool left = caption[0] == '<';
            const std::size_t mid = ink.leftmost.size() / 2;
            const int tip = left ? ink.leftmost[mid] : ink.rightmost[mid];
            const int pointSide = left ? ink.left : ink.right;
            const int armSide = left ? ink.right : ink.left;
            EXPECT_LE(std::abs(tip - pointSide), 1);
            for (int end : {left ? ink.rightmost.front() : ink.leftmost.front(),
                            left ? ink.rightmost.back() : ink.leftmost.back()})
                EXPECT_LE(std::abs(end - armSide), 1);
            // Away from the point, the middle row holds nothing on the arms' side.
            EXPECT_GT(std::abs((left ? ink.rightmost[mid] : ink.leftmost[mid]) - armSide),
                      ink.width() / 3);
        }
    }
}
