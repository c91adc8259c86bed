#pragma once

#include <QRect>
#include <QtMath>

// The layout is designed in twips: 15 to a pixel at 96 dpi.
namespace Twips {
constexpr int perPixel = 15;
inline int px(double twips) { return qRound(twips / perPixel); }
constexpr int tw(int pixels) { return pixels * perPixel; }
inline QRect rect(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }
} // namespace Twips
