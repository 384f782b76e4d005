#pragma once
#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace res {

// The sizes of the application icon that the desktop's icon theme holds.
inline constexpr int kInstalledIconSizes[] = {16, 32, 48, 64, 128, 256};

// The application icon IDR_MAINFRAME, 32 x 32 pixels, enlarged by a whole factor.
QImage MainIconImage(int scale = 1);
// The same picture at `size` x `size` pixels: the art enlarged by a whole
// factor where the size is a multiple of 32, else resampled by area (each
// pixel the average of the art it covers).
QImage IconImage(int size);
// The same picture as a scalable SVG drawing.
QByteArray IconSvg();
// The application icon: the picture at whatever size is asked for, up to
// as many device pixels as the largest screen has across; the last few
// sizes made are kept.
QIcon MainIcon();
// The bytes the kept pictures of MainIcon take (for tests).
qsizetype KeptIconBytes();

} // namespace res
