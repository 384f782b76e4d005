// The contrast measure of the web's accessibility guidelines, and a text
// colour that stands out from a background. Colours only: no widgets, no
// palettes.

#include "platform/internal/Contrast.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
double Linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
} // namespace

double RelativeLuminance(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * Linear(rgb.red()) + 0.7152 * Linear(rgb.green()) + 0.0722 * Linear(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor LegibleOn(const QColor& background, const QColor& preferred)
{
    QColor opaque = preferred.toRgb();
    opaque.setAlpha(255);
    if (ContrastRatio(opaque, background) >= kLegibleContrast)
        return opaque;
    const QColor black(0, 0, 0), white(255, 255, 255);
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

} // namespace platform
