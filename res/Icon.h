#pragma once
#include <QIcon>
#include <QImage>

namespace res {

// The application icon IDR_MAINFRAME, enlarged by a whole factor.
QImage MainIconImage(int scale = 1);
QIcon MainIcon();

} // namespace res
