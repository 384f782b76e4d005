// Writes the application icon as a hicolor icon tree, for the desktop's
// application menu and task switcher:
//
//   <out>/hicolor/<N>x<N>/apps/<app id>.png   for N = 16, 32, 48, 64, 128, 256
//
// No size is resampled with a filter, so no pixel is a blend of two art pixels:
//   32               the art itself;
//   64, 128, 256     the art enlarged 2, 4 and 8 times (each art pixel a block);
//   16               a redrawing of the art for 16 px (below): halving the
//                    32 px art pixel by pixel breaks its one-pixel outlines;
//   48               the 16 px drawing enlarged 3 times. 48 is no whole
//                    multiple of 32, and any other scaling of the 32 px art
//                    either blurs it or makes its outlines uneven.
//
// Usage: coilrunner_icons <output folder> <app id>

#include "res/Icon.h"

#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>
#include <map>

namespace {

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

QImage SmallArt()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, ColourOf(kSmallArt[y][x]));
    return image;
}

QImage Enlarge(const QImage& image, int factor)
{
    // Nearest-neighbour scaling by a whole factor: exact square blocks.
    return image.scaled(image.width() * factor, image.height() * factor, Qt::IgnoreAspectRatio,
                        Qt::FastTransformation);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> <app id>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString appId = QString::fromLocal8Bit(argv[2]);

    const QImage art = res::MainIconImage(1);
    const QImage small = SmallArt();
    const std::map<int, QImage> sizes = {
        {16, small},
        {32, art},
        {48, Enlarge(small, 3)},
        {64, res::MainIconImage(2)},
        {128, res::MainIconImage(4)},
        {256, res::MainIconImage(8)},
    };

    for (const auto& [size, image] : sizes) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, appId);
        if (image.width() != size || image.height() != size || !QDir().mkpath(folder)
            || !image.save(file, "PNG")) {
            std::fprintf(stderr, "coilrunner_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
