// The playfield on a HiDPI screen. Its pixels live in an off-screen image laid
// over the client area; at a whole scale factor every one of them must come out
// as a solid block of device pixels in exactly its colour, with nothing
// smoothed into its neighbours. ctest runs these tests a second time with
// QT_SCALE_FACTOR=2 (HiDpi.AtScaleFactor2); set before the application starts,
// it doubles every window.

#include "app/GameDlg.h"
#include "game/GameCore.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>

TEST(HiDpi, PlayfieldPixelsAreWholeUnsmoothedBlocks)
{
    testing_support::ScratchFolder folder;
    testing_support::ScriptedModal modal;
    testing_support::RecordingSound sound;
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    ASSERT_TRUE(dlg.Create());

    // Grey field, white food block and a coloured snake: edges everywhere a
    // smoothing scaler would blend.
    dlg.OnStart();
    dlg.OnUp();
    for (int tick = 0; tick < 40; ++tick)
        dlg.OnTimer(1);
    ASSERT_NE(dlg.m_nFieldReady, 0);

    QWidget* client = dlg.Client();
    const qreal ratio = client->devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        EXPECT_DOUBLE_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    }
    const int scale = static_cast<int>(std::lround(ratio));
    ASSERT_DOUBLE_EQ(ratio, scale) << "only whole scale factors keep pixels square";

    const QImage shot = client->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage& surface = dlg.Surface()->Image();
    ASSERT_EQ(shot.size(), surface.size() * scale);

    int wrong = 0;
    QString first;
    for (int y = game::kFieldTop; y <= game::kFieldBottom; ++y)
        for (int x = game::kFieldLeft; x <= game::kFieldRight; ++x) {
            const QRgb expected = surface.pixel(x, y) | 0xFF000000u;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx) {
                    const QRgb got = shot.pixel(x * scale + dx, y * scale + dy) | 0xFF000000u;
                    if (got != expected && wrong++ == 0)
                        first = QStringLiteral("pixel (%1, %2), device pixel (%3, %4): %5 instead of %6")
                                    .arg(x).arg(y).arg(dx).arg(dy)
                                    .arg(got, 8, 16, QLatin1Char('0'))
                                    .arg(expected, 8, 16, QLatin1Char('0'));
                }
        }
    EXPECT_EQ(wrong, 0) << "first: " << first.toStdString();

    dlg.m_playArea.DestroyWindow();
    dlg.DestroyWindow();
    platform::SetMainDialog(nullptr);
}
