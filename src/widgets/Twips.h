#pragma once

#include <QRect>
#include <QWidget>
#include <QtMath>
#include <algorithm>

// The layout is designed in twips: 15 to a pixel at 96 dpi.
namespace Twips {
constexpr int perPixel = 15;
inline int px(double twips) {
    return qRound(twips / perPixel);
}
constexpr int tw(int pixels) {
    return pixels * perPixel;
}
inline QRect rect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

// A window's outer size in twips (W, H) and how far it exceeds its minimum (dW, dH).
struct Outer {
    int W, H, dW, dH;
};

// Enlarges a window smaller than its minimum outer size to that size, and returns its outer size as
// if it had its designed frame. Window managers differ, so the arithmetic stays on the client.
inline Outer grownToMinimum(QWidget *window, QSize designedFrame, QSize minimum) {
    int W = tw(window->width()) + designedFrame.width();
    int H = tw(window->height()) + designedFrame.height();
    if (W < minimum.width() || H < minimum.height()) {
        W = std::max(W, minimum.width());
        H = std::max(H, minimum.height());
        window->resize(px(W - designedFrame.width()), px(H - designedFrame.height()));
    }
    return {W, H, W - minimum.width(), H - minimum.height()};
}
} // namespace Twips
