#include "res/Icon.h"

#include <QColor>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

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


constexpr int kArtSize = 32;

// The art enlarged by a whole factor: each art pixel becomes a scale x scale
// block, so no pixel is a blend. Written row by row: one row of the picture
// is made per art row and copied down the block.
QImage Enlarged(int scale)
{
    const int size = kArtSize * scale;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    for (int artY = 0; artY < kArtSize; ++artY) {
        auto* first = reinterpret_cast<QRgb*>(image.scanLine(artY * scale));
        for (int x = 0; x < size; ++x)
            first[x] = ColourOf(kArt[artY][x / scale]);
        for (int dy = 1; dy < scale; ++dy)
            std::memcpy(image.scanLine(artY * scale + dy), first, static_cast<std::size_t>(size) * sizeof(QRgb));
    }
    return image;
}

// The art at a size that is no whole multiple of it: every pixel the average
// of the art pixels it covers, weighted by the area it covers of each. On a
// grid of 32 x size units an art pixel is size units wide and a picture pixel
// 32, so every overlap is a whole number of units.
QImage Resampled(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    const auto overlap = [size](int pixel, int artPixel) {
        const int begin = std::max(pixel * kArtSize, artPixel * size);
        const int end = std::min((pixel + 1) * kArtSize, (artPixel + 1) * size);
        return std::max(0, end - begin);
    };
    constexpr int kArea = kArtSize * kArtSize;
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int artTop = y * kArtSize / size;
        const int artBottom = std::min(kArtSize - 1, ((y + 1) * kArtSize - 1) / size);
        for (int x = 0; x < size; ++x) {
            const int artLeft = x * kArtSize / size;
            const int artRight = std::min(kArtSize - 1, ((x + 1) * kArtSize - 1) / size);
            int a = 0, r = 0, g = 0, b = 0;   // premultiplied sums
            for (int artY = artTop; artY <= artBottom; ++artY)
                for (int artX = artLeft; artX <= artRight; ++artX) {
                    const int weight = overlap(x, artX) * overlap(y, artY);
                    const QRgb c = ColourOf(kArt[artY][artX]);
                    const int alpha = qAlpha(c);
                    a += weight * alpha;
                    r += weight * qRed(c) * alpha / 255;
                    g += weight * qGreen(c) * alpha / 255;
                    b += weight * qBlue(c) * alpha / 255;
                }
            const auto mean = [](int sum) { return (sum + kArea / 2) / kArea; };
            row[x] = qRgba(mean(r), mean(g), mean(b), mean(a));
        }
    }
    return image;
}

// Pictures already made, by size: each is made once, when first asked for.
const QImage& CachedIconImage(int size)
{
    static std::mutex mutex;
    static std::map<int, QImage> made;
    std::lock_guard lock(mutex);
    auto it = made.find(size);
    if (it == made.end())
        it = made.emplace(size, IconImage(size)).first;
    return it->second;
}

// The application icon at any size, from the 32 x 32 art: a whole-factor
// enlargement at 32, 64, 96..., the area-weighted resampling elsewhere.
class ArtIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int pixels = qRound(side * ratio);
        if (pixels <= 0)
            return;
        const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(target, CachedIconImage(pixels));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return side > 0 ? QPixmap::fromImage(CachedIconImage(side)) : QPixmap();
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::max(0, std::min(size.width(), size.height()));
        return QSize(side, side);
    }

    // The sizes the window system is handed: an X window carries each of
    // them in a property, which every start writes. Task bars and window
    // switchers show a window's icon at 16 to 64 px; larger ones come from
    // the icon theme, found through the menu entry.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    }

    QString key() const override { return QStringLiteral("coilrunner-art"); }
    QIconEngine* clone() const override { return new ArtIconEngine; }
};

} // namespace

QImage MainIconImage(int scale)
{
    return Enlarged(std::max(1, scale));
}

QImage IconImage(int size)
{
    if (size <= 0)
        return {};
    return size % kArtSize == 0 ? Enlarged(size / kArtSize) : Resampled(size);
}

QByteArray IconSvg()
{
    // One path per colour, one rectangle per run of equal pixels in a row:
    // every edge lies on the art's pixel grid, so at 32 px and its multiples
    // the picture is the art exactly.
    std::map<char, QByteArray> paths;
    for (int y = 0; y < kArtSize; ++y)
        for (int x = 0; x < kArtSize;) {
            const char c = kArt[y][x];
            int end = x + 1;
            while (end < kArtSize && kArt[y][end] == c)
                ++end;
            if (qAlpha(ColourOf(c)) != 0)
                paths[c] += QStringLiteral("M%1 %2h%3v1h-%3z").arg(x).arg(y).arg(end - x).toLatin1();
            x = end;
        }
    QByteArray svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
        "  <title>Quillware Coilrunner</title>\n";
    for (const auto& [c, d] : paths)
        svg += "  <path fill=\"" + QColor(ColourOf(c)).name().toLatin1() + "\" d=\"" + d + "\"/>\n";
    svg += "</svg>\n";
    return svg;
}

QIcon MainIcon()
{
    return QIcon(new ArtIconEngine);
}

} // namespace res
