// The playfield on a HiDPI screen. Its pixels live in an off-screen image laid
// over the client area; at a whole scale factor every one of them must come out
// as a solid block of device pixels in exactly its colour, with nothing
// smoothed into its neighbours. ctest runs these tests again with QT_SCALE_FACTOR
// at 2, 1.25, 1.5 and 1.75 (HiDpi.AtScaleFactor2, ...), which the program rounds
// to the whole factor it gives in HIDPI_EXPECTED_RATIO.

#include "app/AboutDlg.h"
#include "app/GameDlg.h"
#include "game/GameCore.h"
#include "res/Icon.h"
#include "res/resource.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
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
    if (qEnvironmentVariableIsSet("HIDPI_EXPECTED_RATIO")) {
        EXPECT_DOUBLE_EQ(ratio, qEnvironmentVariable("HIDPI_EXPECTED_RATIO").toDouble());
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

// The icon of the title screen and of the About box: the 32 x 32 art, each
// pixel a block of exactly the device pixel ratio (never the art drawn for
// another size, never a smoothed enlargement).
TEST(HiDpi, IconControlsShowThe32PixelArtEnlargedByTheWholeRatio)
{
    testing_support::ScratchFolder folder;
    testing_support::ScriptedModal modal;
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    ASSERT_TRUE(dlg.Create());

    const auto expectArt = [](QWidget* client, const char* where) {
        SCOPED_TRACE(where);
        QLabel* icon = nullptr;
        for (QLabel* label : client->findChildren<QLabel*>())
            if (label->text().isEmpty() && !label->pixmap().isNull())
                icon = label;
        ASSERT_NE(icon, nullptr);
        const int scale = static_cast<int>(std::lround(icon->devicePixelRatioF()));
        const QImage art = res::MainIconImage(scale);
        const QImage shot = icon->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(shot.size(), icon->size() * scale);
        int wrong = 0;
        for (int y = 0; y < std::min(shot.height(), art.height()); ++y)
            for (int x = 0; x < std::min(shot.width(), art.width()); ++x)
                if (qAlpha(art.pixel(x, y)) == 255 && shot.pixel(x, y) != art.pixel(x, y))
                    ++wrong;
        EXPECT_EQ(wrong, 0) << "device pixels that differ from the art at scale " << scale;
    };
    expectArt(dlg.Client(), "title screen");
    modal.onDialog = [&](platform::Dialog& d) {
        if (d.Template().id == IDD_ABOUTBOX)
            expectArt(d.Client(), "About box");
        d.SendCommand(platform::IDOK);
        return d.Result();
    };
    CAboutDlg about;
    about.DoModal();
    EXPECT_EQ(modal.dialogs, std::vector<int>{IDD_ABOUTBOX});

    dlg.DestroyWindow();
    platform::SetMainDialog(nullptr);
}
