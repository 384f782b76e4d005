#include "res/Icon.h"

#include <QImage>
#include <QPixmap>

namespace res {

namespace {

// IDR_MAINFRAME: a coiled snake next to a food block, 32 x 32 pixels in
// the 16 colours of the classic palette. Each character is one pixel.
constexpr const char* kArt[32] = {
    ".........................rr.....",
    "............kkkkkkkkkkk.r..wwww.",
    "..........kkggggggggGGGk...wwww.",
    "........kkgggGGGGGGGGkGGk..wwww.",
    ".......kggGGGGGGGGGGGGkGk..wwww.",
    "......kggGGGGGgggggGGGGGk.......",
    ".....kgGGGGgggkkkkkkGGGk........",
    "....kgGGGGggkk......kkk.........",
    "...kggGGggkk..kkkkkkk...........",
    "...kgGGGgk..kkgggggggk..........",
    "..kgGGGgk..kggGGGGGGggkk........",
    "..kgGGgk..kgGGGGGGGGGGggk.......",
    ".kgGGGgk.kgGGGGgggggGGGggk......",
    ".kgGGggk.kgGGggkkkkggGGGgk......",
    ".kgGGgk.kgGGgkk....kkgGGGgk.....",
    ".kgGGgk.kgGGgk......kggGGgk.....",
    ".kgGGgk.kgGGgk...kk..kgGGggk....",
    ".kgGGgk.kgGGgk..kggk.kgGGGgk....",
    ".kgGGgk.kgGGgk..kGGk.kggGGgk....",
    ".kgGGgk..kgGGgkkgGGk.kggGGgk....",
    ".kgGGGgk.kgGGGggGGgk.kgGGGgk....",
    ".kggGGgk..kgGGGGGgk..kgGGggk....",
    "..kgGGGgk..kkggggk...kgGGgk.....",
    "..kggGGggk...kkkk...kgGGGgk.....",
    "...kgGGGggkk......kkgGGGgk......",
    "....kgGGGgggkkkkkkggGGGggk......",
    "....kggGGGGggggggggGGGggk.......",
    ".....kkgGGGGGGGGGGGGGggk........",
    ".......kggGGGGGGGGGgggk.........",
    "........kkggggggggggkk..........",
    "..........kkkkggkkkk............",
    "..............kk................",
};

// The coiled snake and its food block redrawn at 16 x 16 pixels, in the
// colours of the 32 x 32 art: a square spiral of two-pixel bands.
constexpr const char* kSmallArt[16] = {
    ".kkkkkkkkkkkk.ww",
    "kGGGGGGGGGGkgkww",
    "kGGggggggggggkr.",
    "kGgkkkkkkkkkkkk.",
    "kGgkGGGGGGGGGGgk",
    "kGgkGGgggggggGgk",
    "kGgkGgkkkkkkkGgk",
    "kGgkGgkGGGGgkGgk",
    "kGgkGgkgggGgkGgk",
    "kGgkGgkkkkGgkGgk",
    "kGgkGGGGGGGgkGgk",
    "kGgkggggggggkGgk",
    "kGgkkkkkkkkkkGgk",
    "kGGGGGGGGGGGGGgk",
    "kggggggggggggggk",
    ".kkkkkkkkkkkkkk.",
};

QRgb ColourOf(char c)
{
    switch (c) {
    case 'k': return qRgb(0x00, 0x00, 0x00);   // black
    case 'g': return qRgb(0x00, 0x80, 0x00);   // green
    case 'G': return qRgb(0x00, 0xFF, 0x00);   // bright green
    case 'r': return qRgb(0xFF, 0x00, 0x00);   // bright red
    case 'w': return qRgb(0xFF, 0xFF, 0xFF);   // white
    default: return qRgba(0, 0, 0, 0);         // transparent
    }
}

// Each art pixel becomes a scale x scale block: no pixel is a blend.
template <std::size_t N>
QImage ArtImage(const char* const (&art)[N], int scale)
{
    const int size = static_cast<int>(N);
    QImage image(size * scale, size * scale, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, ColourOf(art[y / scale][x / scale]));
    return image;
}

} // namespace

QImage MainIconImage(int scale)
{
    return ArtImage(kArt, scale);
}

QImage SmallIconImage(int scale)
{
    return ArtImage(kSmallArt, scale);
}

QIcon MainIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(SmallIconImage(1)));
    icon.addPixmap(QPixmap::fromImage(SmallIconImage(3)));
    for (int scale : {1, 2, 4, 8})
        icon.addPixmap(QPixmap::fromImage(MainIconImage(scale)));
    return icon;
}

} // namespace res
