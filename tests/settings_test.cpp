// The settings dialog: its layout, the colour and speed choices, the preview
// strip, and how "&Settings" hands the values to the game and back.

#include "app/GameDlg.h"
#include "res/resource.h"
#include "settings/SettingsDlg.h"
#include "support/MainWindowFixture.h"

#include <QAbstractButton>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace game;
using platform::MakeColor;

namespace {

constexpr int kRadios[] = {IDC_SPEED_9X, IDC_SPEED_XP, IDC_COLOR_ORANGE, IDC_COLOR_BLUE, IDC_COLOR_GREEN};

class SettingsTest : public MainWindowFixture<> {
protected:
    // Runs "&Settings"; `inside` acts on the open dialog, which then ends
    // with `closeWith` (IDOK or IDCANCEL). Other dialogs are cancelled.
    void RunSettings(const std::function<void(CSettingsDlg&)>& inside, int closeWith = IDOK)
    {
        int runs = 0;
        modal.onDialog = [&](platform::Dialog& d) {
            if (d.Template().id == IDD_SETTINGS) {
                ++runs;
                inside(static_cast<CSettingsDlg&>(d));
                d.SendCommand(closeWith);
            } else {
                d.SendCommand(IDCANCEL);
            }
            return d.Result();
        };
        dlg.SendCommand(static_cast<int>(ID_FILE_SETTINGS));
        modal.onDialog = nullptr;
        EXPECT_EQ(runs, 1);
    }

    // Ticks until the running game ends; false if it never does.
    bool PlayUntilGameOver()
    {
        for (int i = 0; i < 5000; ++i) {
            dlg.OnTimer(1);
            if (dlg.m_nFieldReady == 0)
                return true;
        }
        return false;
    }
};

void Click(platform::Dialog& d, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(d.GetDlgItem(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

bool IsChecked(platform::Dialog& d, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(d.GetDlgItem(id));
    return button && button->isChecked();
}

// The strip as the colour rule paints it: green follows the pixel column.
void ExpectStrip(const CSettingsDlg& d, unsigned r, unsigned gBase, unsigned b)
{
    const platform::PixelSurface& surface = *d.Surface();
    for (int y = 128; y <= 137; ++y)
        for (int x = 150; x <= 239; ++x)
            ASSERT_EQ(surface.GetPixel(x, y), MakeColor(r, gBase + static_cast<unsigned>(x), b)) << x << "," << y;
    // Nothing around it.
    for (const QPoint p : {QPoint(149, 128), QPoint(240, 137), QPoint(150, 127), QPoint(239, 138)})
        EXPECT_EQ(surface.GetPixel(p.x(), p.y()), -1) << p.x() << "," << p.y();
}

} // namespace

TEST_F(SettingsTest, ControlsSitAtTheirPlacesWithTheirTexts)
{
    RunSettings([](CSettingsDlg& d) {
        EXPECT_EQ(d.Window()->windowTitle(), QStringLiteral("Settings"));
        EXPECT_EQ(d.Client()->size(), QSize(279, 232));

        // Template order; pixels are dialog units x 1.5 and x 1.625, edges rounded.
        const struct { const char* kind; QString text; QRect px; } expected[] = {
            {"QPushButton", QStringLiteral("OK"), QRect(194, 198, 75, 23)},
            {"QPushButton", QStringLiteral("Cancel"), QRect(110, 198, 75, 23)},
            {"QGroupBox", QStringLiteral("Speed optimized for ..."), QRect(11, 11, 258, 54)},
            {"QRadioButton", QStringLiteral("Windows\u00AE 95/98/Me"), QRect(26, 37, 127, 15)},
            {"QRadioButton", QStringLiteral("Windows\u00AE XP"), QRect(171, 37, 93, 15)},
            {"QGroupBox", QStringLiteral("Snake color "), QRect(11, 81, 258, 96)},
            {"QFrame", QString(), QRect(132, 106, 126, 55)},
            {"QRadioButton", QStringLiteral("&Orange"), QRect(26, 102, 90, 18)},
            {"QRadioButton", QStringLiteral("&Blue"), QRect(26, 124, 90, 17)},
            {"QRadioButton", QStringLiteral("&Green"), QRect(26, 145, 90, 18)},
        };
        const QList<QWidget*> widgets = d.Client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        ASSERT_GE(widgets.size(), static_cast<qsizetype>(std::size(expected)));
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            QWidget* w = widgets[static_cast<qsizetype>(i)];
            SCOPED_TRACE(expected[i].text.toStdString());
            EXPECT_TRUE(w->inherits(expected[i].kind)) << w->metaObject()->className();
            EXPECT_EQ(w->geometry(), expected[i].px);
            if (auto* box = qobject_cast<QGroupBox*>(w)) {
                EXPECT_EQ(box->title(), expected[i].text);
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                EXPECT_EQ(button->text(), expected[i].text);
            }
            // OK and Cancel are the only tab stops.
            EXPECT_EQ(static_cast<bool>(w->focusPolicy() & Qt::TabFocus), i < 2);
        }
        EXPECT_TRUE(qobject_cast<QPushButton*>(d.GetDlgItem(IDOK))->isDefault());
        EXPECT_FALSE(qobject_cast<QPushButton*>(d.GetDlgItem(IDCANCEL))->isDefault());
    });
}

TEST_F(SettingsTest, OpensWithNoChoiceCheckedAndNoStrip)
{
    // Whatever is in force, nothing is checked when the dialog opens.
    dlg.m_nColorR = 10;
    dlg.m_nColorG = 5;
    dlg.m_nColorB = 250;
    dlg.m_nInterval = 15;
    RunSettings([](CSettingsDlg& d) {
        for (int id : kRadios)
            EXPECT_FALSE(IsChecked(d, id)) << id;
        EXPECT_EQ(d.Surface()->GetPixel(150, 128), -1);
        EXPECT_EQ(d.Client()->grab().toImage().pixel(150, 128), qRgb(0, 0, 0));
    });
}

TEST_F(SettingsTest, ClosingAtOnceLeavesTheValues)
{
    for (int closeWith : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(closeWith);
        dlg.m_nColorR = 1;
        dlg.m_nColorG = 2;
        dlg.m_nColorB = 3;
        dlg.m_nInterval = 17;
        RunSettings([](CSettingsDlg&) {}, closeWith);
        EXPECT_EQ(dlg.m_nColorR, 1);
        EXPECT_EQ(dlg.m_nColorG, 2);
        EXPECT_EQ(dlg.m_nColorB, 3);
        EXPECT_EQ(dlg.m_nInterval, 17);
    }
}

TEST_F(SettingsTest, TheCaptionsCloseButtonEndsTheDialogLikeCancel)
{
    dlg.m_nInterval = 30;
    modal.onDialog = [](platform::Dialog& d) {
        Click(d, IDC_SPEED_9X);
        d.Window()->show();
        d.Window()->close();
        return d.Result();
    };
    dlg.SendCommand(static_cast<int>(ID_FILE_SETTINGS));
    EXPECT_EQ(dlg.m_nInterval, 15);
}

TEST_F(SettingsTest, BlueThenCancelMakesTheSnakeBlue)
{
    RunSettings([](CSettingsDlg& d) { Click(d, IDC_COLOR_BLUE); }, IDCANCEL);
    EXPECT_EQ(dlg.m_nColorR, 10);
    EXPECT_EQ(dlg.m_nColorG, 5);
    EXPECT_EQ(dlg.m_nColorB, 250);
    EXPECT_EQ(dlg.m_nInterval, 30);

    // The head line drawn from the second tick on takes the new colours.
    dlg.OnStart();
    dlg.OnTimer(1);
    dlg.OnTimer(1);
    const int x = dlg.m_nHeadX;
    for (int y = dlg.m_nHeadY; y < dlg.m_nHeadY + 10; ++y)
        EXPECT_EQ(dlg.Surface()->GetPixel(x, y), MakeColor(10, 5 + static_cast<unsigned>(x), 250)) << y;

    // Colours hold past a game over.
    ASSERT_TRUE(PlayUntilGameOver());
    EXPECT_EQ(dlg.m_nColorB, 250);
    EXPECT_EQ(dlg.m_nColorR, 10);
}

TEST_F(SettingsTest, FastSpeedBetweenGamesHoldsForOneGame)
{
    RunSettings([](CSettingsDlg& d) { Click(d, IDC_SPEED_9X); });
    EXPECT_EQ(dlg.m_nInterval, 15);

    dlg.SendCommand(IDC_START);
    EXPECT_EQ(dlg.TimerPeriod(1), 15);
    dlg.OnTimer(1);
    EatOnNextTick(dlg);
    EXPECT_EQ(dlg.TimerPeriod(1), 14);

    ASSERT_TRUE(PlayUntilGameOver());
    EXPECT_EQ(dlg.m_nInterval, 30);
    dlg.SendCommand(IDC_START);
    EXPECT_EQ(dlg.TimerPeriod(1), 30);
}

TEST_F(SettingsTest, EachClickChangesTheDialogsCopyAtOnce)
{
    RunSettings([](CSettingsDlg& d) {
        const struct { int id; int r, g, b, interval; } steps[] = {
            {IDC_COLOR_GREEN, 50, 5, 50, 30},
            {IDC_SPEED_9X, 50, 5, 50, 15},
            {IDC_COLOR_ORANGE, 250, 5, 10, 15},
            {IDC_COLOR_BLUE, 10, 5, 250, 15},
            {IDC_SPEED_XP, 10, 5, 250, 30},
        };
        for (const auto& s : steps) {
            SCOPED_TRACE(s.id);
            Click(d, s.id);
            EXPECT_EQ(d.GetColorR(), s.r);
            EXPECT_EQ(d.GetColorG(), s.g);
            EXPECT_EQ(d.GetColorB(), s.b);
            EXPECT_EQ(d.GetInterval(), s.interval);
        }
    });
    EXPECT_EQ(dlg.m_nColorR, 10);
    EXPECT_EQ(dlg.m_nColorG, 5);
    EXPECT_EQ(dlg.m_nColorB, 250);
    EXPECT_EQ(dlg.m_nInterval, 30);
}

TEST_F(SettingsTest, TheTwoSetsOfChoicesAreIndependent)
{
    RunSettings([](CSettingsDlg& d) {
        Click(d, IDC_COLOR_GREEN);
        Click(d, IDC_SPEED_9X);
        EXPECT_TRUE(IsChecked(d, IDC_COLOR_GREEN));
        EXPECT_TRUE(IsChecked(d, IDC_SPEED_9X));

        // Within a set, a click clears the others.
        Click(d, IDC_COLOR_BLUE);
        Click(d, IDC_SPEED_XP);
        EXPECT_FALSE(IsChecked(d, IDC_COLOR_GREEN));
        EXPECT_TRUE(IsChecked(d, IDC_COLOR_BLUE));
        EXPECT_FALSE(IsChecked(d, IDC_SPEED_9X));
        EXPECT_TRUE(IsChecked(d, IDC_SPEED_XP));
        EXPECT_FALSE(IsChecked(d, IDC_COLOR_ORANGE));
    });
}

TEST_F(SettingsTest, AClickOnTheCheckedButtonReachesItsHandler)
{
    RunSettings([](CSettingsDlg& d) {
        Click(d, IDC_COLOR_BLUE);
        Click(d, IDC_SPEED_9X);
        d.m_nColorR = 0;
        d.m_nInterval = 99;
        Click(d, IDC_COLOR_BLUE);
        Click(d, IDC_SPEED_9X);
        EXPECT_TRUE(IsChecked(d, IDC_COLOR_BLUE));
        EXPECT_EQ(d.GetColorR(), 10);
        EXPECT_EQ(d.GetInterval(), 15);
    });
}

TEST_F(SettingsTest, AColourClickDrawsTheStripAndAnotherRedrawsIt)
{
    RunSettings([](CSettingsDlg& d) {
        Click(d, IDC_COLOR_GREEN);
        ExpectStrip(d, 50, 5, 50);
        EXPECT_EQ(d.Surface()->GetPixel(150, 128), MakeColor(50, 155, 50));
        EXPECT_EQ(d.Surface()->GetPixel(239, 137), MakeColor(50, 244, 50));

        Click(d, IDC_COLOR_ORANGE);
        ExpectStrip(d, 250, 5, 10);

        // A speed click draws nothing.
        Click(d, IDC_SPEED_9X);
        ExpectStrip(d, 250, 5, 10);

        Click(d, IDC_COLOR_BLUE);
        ExpectStrip(d, 10, 5, 250);
    });
}

TEST_F(SettingsTest, TheStripOutlivesARepaint)
{
    RunSettings([](CSettingsDlg& d) {
        Click(d, IDC_COLOR_BLUE);
        d.Client()->repaint();
        // Painted afresh, the client area shows the strip over the black
        // rectangle and the rectangle around it.
        const QImage shown = d.Client()->grab().toImage();
        EXPECT_EQ(shown.pixel(150, 128), qRgb(10, 155, 250));
        EXPECT_EQ(shown.pixel(239, 137), qRgb(10, 244, 250));
        EXPECT_EQ(shown.pixel(140, 110), qRgb(0, 0, 0));
        EXPECT_EQ(shown.pixel(245, 150), qRgb(0, 0, 0));
    });
}

TEST_F(SettingsTest, TheDialogsPeriodReplacesTheResetOfAGameThatEndsMeanwhile)
{
    dlg.SendCommand(IDC_START);
    dlg.OnTimer(1);
    RunSettings([this](CSettingsDlg& d) {
        Click(d, IDC_SPEED_9X);
        Click(d, IDC_COLOR_GREEN);
        // The game goes on with the window's own values and ends.
        ASSERT_TRUE(PlayUntilGameOver());
        EXPECT_EQ(dlg.m_nInterval, 30);
        EXPECT_EQ(dlg.m_nColorR, 250);
    });
    EXPECT_EQ(dlg.m_nInterval, 15);
    EXPECT_EQ(dlg.m_nColorR, 50);
    EXPECT_EQ(dlg.m_nColorB, 50);
    EXPECT_EQ(modal.messages.front().left(10), QStringLiteral("Game over!"));

    dlg.SendCommand(IDC_START);
    EXPECT_EQ(dlg.TimerPeriod(1), 15);
}

TEST_F(SettingsTest, APeriodShortenedMeanwhileGoesBackToTheOneHandedIn)
{
    dlg.SendCommand(IDC_START);
    dlg.OnTimer(1);
    RunSettings([this](CSettingsDlg&) {
        EatOnNextTick(dlg);
        EXPECT_EQ(dlg.m_nInterval, 29);
    });
    EXPECT_EQ(dlg.m_nInterval, 30);
    // It takes effect, one shorter, when the snake next eats.
    EatOnNextTick(dlg);
    EXPECT_EQ(dlg.TimerPeriod(1), 29);
}
