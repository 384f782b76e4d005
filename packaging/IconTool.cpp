// Writes the application icon as a hicolor icon tree, for the desktop's
// application menu and task switcher:
//
//   <out>/hicolor/<N>x<N>/apps/<app id>.png   for N = 16, 32, 48, 64, 128, 256
//
// No size is resampled with a filter, so no pixel is a blend of two art pixels:
//   32               the art itself;
//   64, 128, 256     the art enlarged 2, 4 and 8 times (each art pixel a block);
//   16               the redrawing of the art for 16 px in res/: halving the
//                    32 px art pixel by pixel breaks its one-pixel outlines;
//   48               the 16 px drawing enlarged 3 times. 48 is no whole
//                    multiple of 32, and any other scaling of the 32 px art
//                    either blurs it or makes its outlines uneven.
//
// Usage: coilrunner_icons <output folder> <app id>

#include "platform/FileStore.h"
#include "res/Icon.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>
#include <map>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> <app id>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString appId = QString::fromLocal8Bit(argv[2]);

    const std::map<int, QImage> sizes = {
        {16, res::SmallIconImage(1)},
        {32, res::MainIconImage(1)},
        {48, res::SmallIconImage(3)},
        {64, res::MainIconImage(2)},
        {128, res::MainIconImage(4)},
        {256, res::MainIconImage(8)},
    };

    for (const auto& [size, image] : sizes) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, appId);
        // Encoded in memory and written with every step checked: a file
        // written through the toolkit reports a late write error nowhere.
        QByteArray png;
        QBuffer buffer(&png);
        if (image.width() != size || image.height() != size || !QDir().mkpath(folder)
            || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "coilrunner_icons: cannot make %s\n", qPrintable(file));
            return 1;
        }
        const platform::FileResult written =
            platform::ReplaceFileContents(file.toLocal8Bit().constData(), std::string_view(png.constData(), png.size()));
        if (!written.ok) {
            std::fprintf(stderr, "coilrunner_icons: cannot write %s: %s\n", qPrintable(file), qPrintable(written.reason));
            return 1;
        }
    }
    return 0;
}
