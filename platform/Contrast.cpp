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

QColor Opaque(const QColor& color)
{
    QColor opaque = color.toRgb();
    opaque.setAlpha(255);
    return opaque;
}

// Black or white, whichever stands out more from `background`.
QColor StrongerExtreme(const QColor& background)
{
    const QColor black(Qt::black), white(Qt::white);
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
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
    const QColor opaque = Opaque(preferred);
    return ContrastRatio(opaque, background) >= kLegibleContrast ? opaque : StrongerExtreme(background);
}

QColor NearestLegible(const QColor& background, const QColor& preferred)
{
    const QColor from = Opaque(preferred);
    if (ContrastRatio(from, background) >= kLegibleContrast)
        return from;
    const QColor to = StrongerExtreme(background);
    const bool darker = to == QColor(Qt::black);
    const double backgroundLuminance = RelativeLuminance(background);
    auto at = [&](double t) {
        auto channel = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
        return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
    };
    // On the far side of the background's luminance the contrast only grows
    // on the way to the end, so the first point that passes is found by
    // halving; the end itself always passes.
    auto passes = [&](const QColor& color) {
        const double luminance = RelativeLuminance(color);
        return (darker ? luminance < backgroundLuminance : luminance > backgroundLuminance)
            && ContrastRatio(color, background) >= kLegibleContrast;
    };
    double low = 0.0, high = 1.0;
    for (int step = 0; step < 20; ++step) {
        const double middle = (low + high) / 2;
        (passes(at(middle)) ? high : low) = middle;
    }
    return at(high);
}

} // namespace platform
