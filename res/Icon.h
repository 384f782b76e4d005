#pragma once
#include <QIcon>
#include <QImage>

namespace res {

// The application icon IDR_MAINFRAME, enlarged by a whole factor.
QImage MainIconImage(int scale = 1);
// The same picture drawn for 16 x 16 pixels, enlarged by a whole factor.
QImage SmallIconImage(int scale = 1);
QIcon MainIcon();

} // namespace res
