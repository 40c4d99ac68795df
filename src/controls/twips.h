#pragma once

#include <QRect>
#include <QWidget>
#include <cmath>

namespace controls {

// The window's design is in twips; Qt works in device-independent pixels of
// 1/96 inch, 15 twips each, and scales for the screen itself.
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

// Each edge is rounded on its own, so that neighbours share their edges
// instead of opening one-pixel gaps.
inline QRect twipsToRect(int left, int top, int width, int height) {
    const int x0 = twipsToPixels(left);
    const int y0 = twipsToPixels(top);
    return QRect(x0, y0, twipsToPixels(left + width) - x0, twipsToPixels(top + height) - y0);
}

// Placement of one control, kept in twips so that a read gives back exactly
// what was written, and applied to its widget in pixels.
class TwipsGeometry {
public:
    virtual ~TwipsGeometry() = default;
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

protected:
    void place(QWidget* widget, int left, int top, int width, int height) {
        left_ = left, top_ = top, width_ = width, height_ = height;
        widget->setGeometry(twipsToRect(left, top, width, height));
    }
    void setLeftTwips(QWidget* widget, int left) { place(widget, left, top_, width_, height_); }
    void setWidthTwips(QWidget* widget, int width) { place(widget, left_, top_, width, height_); }

private:
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

} // namespace controls
