#pragma once
#include <QColor>

namespace platform {

// The relative luminance of an sRGB colour, from 0 (black) to 1 (white), and
// the contrast of two colours, (lighter + 0.05) / (darker + 0.05), from 1 to
// 21: the measures of the web's accessibility guidelines (WCAG 2). Alpha is
// left out: the colours are taken as opaque.
double RelativeLuminance(const QColor& color);
double ContrastRatio(const QColor& a, const QColor& b);

// The least contrast those guidelines ask of text and of the symbols that
// stand for text, such as a button's glyph.
constexpr double kLegibleContrast = 4.5;

// `preferred` where it stands out from `background` by kLegibleContrast or
// more; else black or white, whichever stands out more. One of them always
// does: against any colour the better of the two reaches at least 4.58.
QColor LegibleOn(const QColor& background, const QColor& preferred);

// `preferred` where it stands out from `background` by kLegibleContrast or
// more; else the colour nearest to it on its way to black or to white
// (whichever stands out more) that does: a greyed text stays as grey as it
// may.
QColor NearestLegible(const QColor& background, const QColor& preferred);

} // namespace platform
