#include "res/Icon.h"

#include <QColor>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
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

// The largest picture worth making: as many device pixels as the largest
// screen has across or down (rounded down to a whole multiple of the art),
// since no screen shows more of it. A setting that scales the windows far
// beyond every screen (a resolution of 100000 DPI) would otherwise have
// pictures made tens of thousands of pixels wide. Without screens to ask,
// a side no desktop's icon comes near.
int LargestShownSide()
{
    constexpr int kWithoutScreens = 1024;
    qint64 side = 0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QSize size = screen->geometry().size();
            const double ratio = screen->devicePixelRatio();
            side = std::max({side, std::llround(size.width() * ratio), std::llround(size.height() * ratio)});
        }
    if (side <= 0)
        side = kWithoutScreens;
    side = std::min<qint64>(side, 1 << 15);
    return static_cast<int>(std::max<qint64>(kArtSize, side - side % kArtSize));
}

// Pictures already made, the most recently asked for first: a few sizes
// only, and few bytes, since every size Qt asks for would otherwise be kept
// for good (each scale, each control). A picture larger than all of it
// together is made each time it is asked for and not kept.
constexpr std::size_t kMostKeptSizes = 8;
constexpr qsizetype kMostKeptBytes = 8 << 20;

std::mutex g_keptMutex;
std::list<QImage> g_kept;

qsizetype BytesOf(const std::list<QImage>& images)
{
    qsizetype bytes = 0;
    for (const QImage& image : images)
        bytes += image.sizeInBytes();
    return bytes;
}

QImage CachedIconImage(int size)
{
    {
        std::lock_guard lock(g_keptMutex);
        const auto it = std::find_if(g_kept.begin(), g_kept.end(),
                                     [size](const QImage& image) { return image.width() == size; });
        if (it != g_kept.end()) {
            g_kept.splice(g_kept.begin(), g_kept, it);
            return g_kept.front();
        }
    }
    // Made outside the lock: another thread asking for another size need
    // not wait for it.
    QImage image = IconImage(size);
    if (image.isNull() || image.sizeInBytes() > kMostKeptBytes)
        return image;
    std::lock_guard lock(g_keptMutex);
    if (std::none_of(g_kept.begin(), g_kept.end(), [size](const QImage& kept) { return kept.width() == size; }))
        g_kept.push_front(image);
    while (g_kept.size() > kMostKeptSizes || BytesOf(g_kept) > kMostKeptBytes)
        g_kept.pop_back();
    return image;
}

// The application icon at any size, from the 32 x 32 art: a whole-factor
// enlargement at 32, 64, 96..., the area-weighted resampling elsewhere.
class ArtIconEngine final : public QIconEngine {
public:
    // Painted at the device pixels the rectangle covers, up to the largest
    // picture worth making, which the painter then enlarges.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const double pixels = std::min<double>(side * ratio, LargestShownSide());
        if (!(pixels >= 0.5))
            return;
        const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(target, CachedIconImage(static_cast<int>(std::lround(pixels))));
    }

    // As large as asked, up to the largest picture worth making: a pixmap
    // may come smaller than asked, never larger.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = actualSize(size, mode, state).width();
        return side > 0 ? QPixmap::fromImage(CachedIconImage(side)) : QPixmap();
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::clamp(std::min(size.width(), size.height()), 0, LargestShownSide());
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

qsizetype KeptIconBytes()
{
    std::lock_guard lock(g_keptMutex);
    return BytesOf(g_kept);
}

} // namespace res
