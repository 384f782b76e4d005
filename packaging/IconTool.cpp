// Writes the application icon as a hicolor icon tree, for the desktop's
// application menu and task switcher:
//
//   <out>/hicolor/<N>x<N>/apps/<app id>.png   for N = 16, 32, 48, 64, 128, 256
//   <out>/hicolor/scalable/apps/<app id>.svg
//
// Every size is the one 32 x 32 picture of res/Icon.cpp: 32 is the art
// itself; 64, 128 and 256 the art enlarged 2, 4 and 8 times (each art pixel
// a block, no pixel a blend); 16 and 48 the art resampled by area. The SVG
// draws the art's pixels as squares.
//
// Usage: coilrunner_icons <output folder> <app id>

#include "platform/FileStore.h"
#include "res/Icon.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> <app id>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString appId = QString::fromLocal8Bit(argv[2]);

    // Encoded in memory and written with every step checked: a file written
    // through the toolkit reports a late write error nowhere.
    const auto write = [](const QString& folder, const QString& file, const QByteArray& bytes) {
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "coilrunner_icons: cannot make %s\n", qPrintable(folder));
            return false;
        }
        const platform::FileResult written = platform::ReplaceFileContents(
            file.toLocal8Bit().constData(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        if (!written.ok) {
            std::fprintf(stderr, "coilrunner_icons: cannot write %s: %s\n", qPrintable(file), qPrintable(written.reason));
            return false;
        }
        return true;
    };

    for (int size : res::kInstalledIconSizes) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, appId);
        const QImage image = res::IconImage(size);
        QByteArray png;
        QBuffer buffer(&png);
        if (image.width() != size || image.height() != size || !buffer.open(QIODevice::WriteOnly)
            || !image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "coilrunner_icons: cannot make %s\n", qPrintable(file));
            return 1;
        }
        if (!write(folder, file, png))
            return 1;
    }
    const QString folder = QStringLiteral("%1/hicolor/scalable/apps").arg(out);
    if (!write(folder, QStringLiteral("%1/%2.svg").arg(folder, appId), res::IconSvg()))
        return 1;
    return 0;
}
