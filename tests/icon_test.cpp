// The application icon at the sizes the desktop and the windows ask for: one
// picture, the 32 x 32 art, enlarged by a whole factor wherever the size is a
// multiple of 32, whatever the screen's scale.

#include "res/Icon.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

QImage Argb(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

// The art with each pixel repeated `scale` times across and down, made here
// pixel by pixel from the 32 x 32 picture.
QImage Blocks(int scale)
{
    const QImage art = Argb(res::MainIconImage(1));
    QImage expected(32 * scale, 32 * scale, QImage::Format_ARGB32);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            expected.setPixel(x, y, art.pixel(x / scale, y / scale));
    return expected;
}

} // namespace

TEST(Icon, EveryMultipleOf32IsTheArtInWholeBlocks)
{
    const QImage art = Argb(res::MainIconImage(1));
    ASSERT_EQ(art.size(), QSize(32, 32));
    // The art has its outline, its greens, the food and transparency.
    EXPECT_EQ(art.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(art.pixel(28, 2), qRgb(0xFF, 0xFF, 0xFF));

    const QIcon icon = res::MainIcon();
    for (int scale : {1, 2, 3, 4, 5, 8}) {
        SCOPED_TRACE(scale);
        const int size = 32 * scale;
        const QImage expected = Blocks(scale);
        EXPECT_EQ(Argb(res::MainIconImage(scale)), expected);
        EXPECT_EQ(Argb(res::IconImage(size)), expected);
        // Asked for by device pixels, and by the 32 x 32 logical size at a
        // whole device pixel ratio, as a control on a scaled screen asks.
        EXPECT_EQ(Argb(icon.pixmap(QSize(size, size), 1.0).toImage()), expected);
        const QPixmap scaled = icon.pixmap(QSize(32, 32), scale);
        EXPECT_EQ(scaled.devicePixelRatio(), scale);
        EXPECT_EQ(Argb(scaled.toImage()), expected);
        // Asked again: the same picture.
        EXPECT_EQ(Argb(icon.pixmap(QSize(size, size), 1.0).toImage()), expected);
    }
}

TEST(Icon, PaintedOnAScaledSurfaceUsesItsDevicePixels)
{
    // A 16 x 16 caption icon on a surface of ratio 2 is the 32 px art itself.
    QImage surface(40, 40, QImage::Format_ARGB32);
    surface.setDevicePixelRatio(2);
    surface.fill(Qt::transparent);
    {
        QPainter painter(&surface);
        res::MainIcon().paint(&painter, QRect(2, 2, 16, 16));
    }
    EXPECT_EQ(Argb(surface.copy(4, 4, 32, 32)).convertToFormat(QImage::Format_ARGB32), Blocks(1));
}

TEST(Icon, OtherSizesAreTheSamePictureResampled)
{
    // 16 px: each pixel the average of a 2 x 2 square of the art.
    const QImage art = Argb(res::MainIconImage(1));
    const QImage small = Argb(res::IconImage(16));
    ASSERT_EQ(small.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int alpha = 0, green = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const QRgb c = art.pixel(2 * x + dx, 2 * y + dy);
                    alpha += qAlpha(c);
                    green += qGreen(c) * qAlpha(c) / 255;
                }
            const QRgb got = small.pixel(x, y);
            EXPECT_NEAR(qAlpha(got), alpha / 4.0, 1.0) << x << ", " << y;
            if (qAlpha(got) != 0) {
                EXPECT_NEAR(qGreen(got) * qAlpha(got) / 255.0, green / 4.0, 2.0) << x << ", " << y;
            }
        }

    // Any size is square and as large as asked; none is empty.
    for (int size : {1, 16, 20, 24, 48, 100}) {
        const QImage image = res::IconImage(size);
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(res::MainIcon().pixmap(QSize(size, size), 1.0).size(), QSize(size, size));
    }
    EXPECT_TRUE(res::IconImage(0).isNull());
    EXPECT_TRUE(res::MainIcon().pixmap(QSize(0, 0), 1.0).isNull());
}

// A setting that scales the windows far beyond every screen has Qt ask for
// icons tens of thousands of pixels wide, at ever other sizes: none is made
// larger than the largest screen shows, still the art in whole blocks, and
// of all the sizes made only a few megabytes' worth are kept.
TEST(Icon, SizesAreBoundedByTheScreensAndFewAreKept)
{
    int largest = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QSize size = screen->geometry().size() * screen->devicePixelRatio();
        largest = std::max({largest, size.width(), size.height()});
    }
    ASSERT_GT(largest, 32);
    const QIcon icon = res::MainIcon();
    for (const int asked : {largest + 1, 100000, 1 << 30}) {
        SCOPED_TRACE(asked);
        const QPixmap huge = icon.pixmap(QSize(asked, asked), 1.0);
        ASSERT_FALSE(huge.isNull());
        EXPECT_LE(huge.width(), largest);
        EXPECT_GT(huge.width(), largest - 32);
        EXPECT_EQ(huge.width() % 32, 0) << "not a whole enlargement of the art";
        EXPECT_EQ(huge.height(), huge.width());
        EXPECT_EQ(icon.actualSize(QSize(asked, asked)), huge.size());
    }
    // Painted 64 px wide on a surface of the device pixel ratio 1000: made
    // at most as large as a screen shows, and enlarged. The surface holds
    // the 64 device pixels from 35,000 on, inside the art's pixel (17, 17),
    // which is green.
    QImage surface(64, 64, QImage::Format_ARGB32);
    surface.setDevicePixelRatio(1000);
    surface.fill(Qt::transparent);
    {
        QPainter painter(&surface);
        icon.paint(&painter, QRect(-35, -35, 64, 64));
    }
    EXPECT_EQ(surface.pixel(0, 0), qRgb(0, 0x80, 0)) << "not painted as the art";
    EXPECT_EQ(surface.pixel(63, 63), qRgb(0, 0x80, 0)) << "not painted as the art";

    for (int size = 16; size <= 600; ++size)
        EXPECT_EQ(icon.pixmap(QSize(size, size), 1.0).width(), std::min(size, largest));
    EXPECT_LE(res::KeptIconBytes(), 8 << 20) << "the sizes made are kept";
}
