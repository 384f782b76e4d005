#pragma once
#include <QRect>
#include <cmath>

namespace platform {

// Dialog units become pixels by one rule: the 8-point dialog font has a
// 6 x 13 pixel character cell, a horizontal unit is a quarter of its width
// (1.5 px) and a vertical unit an eighth of its height (1.625 px).
constexpr double kPxPerDluX = 1.5;
constexpr double kPxPerDluY = 1.625;

inline int DluToPxX(int dlu) { return static_cast<int>(std::lround(dlu * kPxPerDluX)); }
inline int DluToPxY(int dlu) { return static_cast<int>(std::lround(dlu * kPxPerDluY)); }

// Both edges are converted, so that neighbouring controls keep meeting
// where they met in dialog units.
inline QRect DluRectToPx(int x, int y, int cx, int cy)
{
    const int left = DluToPxX(x), top = DluToPxY(y);
    return QRect(left, top, DluToPxX(x + cx) - left, DluToPxY(y + cy) - top);
}

} // namespace platform
