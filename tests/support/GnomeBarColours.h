#pragma once
// What GNOME's stylesheet gives the bar of a window without a title bar of
// its own, in each style, with the blends worked out, for the tests that
// compare the program's bar with it: the bar's grey (the window's own when
// inactive), the shade line below it, a button's round backing, the title
// and the glyphs. Inactive, the title and the buttons are drawn at half
// their opacity; where that falls below 4.5:1 the colour is darkened (or
// lightened) just enough, so only that lower bound is known of it.

#include <QRgb>
#include <optional>

namespace testing_support {

struct GnomeBarColours {
    QRgb bar, shade, backing;
    std::optional<QRgb> title, glyph;
};

inline GnomeBarColours ExpectedGnomeBar(bool dark, bool active)
{
    if (!dark)
        return active ? GnomeBarColours{0xebebeb, 0xdbdbdb, 0xd8d8d8, 0x2f2f2f, 0x2b2b2b}
                      : GnomeBarColours{0xfafafa, 0xe9e9e9, 0xf0f0f0, std::nullopt, std::nullopt};
    return active ? GnomeBarColours{0x303030, 0x1f1f1f, 0x454545, 0xffffff, 0xffffff}
                  : GnomeBarColours{0x242424, 0x171717, 0x2f2f2f, 0x929292, std::nullopt};
}

} // namespace testing_support
