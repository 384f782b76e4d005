// What the desktop may change and what it may not. A platform theme sets
// the application's font after the start and keeps fonts of its own for
// menus, menu bars, message boxes, labels and buttons; the windows keep the
// dialog font the layout is measured in. Scale factors from the desktop are
// rounded to whole numbers before Qt starts.
// (On a real X server with qt6ct and the GTK theme: tests/e2e/theme_test.sh.)

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Modal.h"
#include "res/resource.h"
#include "reliability/ChildProcess.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QToolButton>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <functional>
#include <gtest/gtest.h>
#include <qpa/qplatformscreen.h>
#include <string>

using namespace testing_support;

TEST(WholeScaleFactors, FactorsAreRoundedToTheNearestWholeNumberAndAtLeastOne)
{
    const struct { const char* given; const char* whole; } factors[] = {
        {"1", "1"}, {"1.25", "1"}, {"1.5", "2"}, {"1.75", "2"}, {"2", "2"}, {"2.5", "3"},
        {"0.5", "1"}, {"0.25", "1"}, {" 1.5 ", "2"}, {"3.0", "3"}, {"1000", "1000"}, {"1e3", "1000"},
        // More than any screen holds: no larger than 32767 (the screens
        // bring it further down).
        {"1e10", "32767"}, {"1e308", "32767"}, {"32767.4", "32767"},
        // What is no finite positive number is no factor: ignored.
        {"", ""}, {"abc", ""}, {"0", ""}, {"-0", ""}, {"-1", ""}, {"-2", ""}, {"inf", ""}, {"-inf", ""},
        {"nan", ""}, {"1e400", ""}, {"2x", ""}, {"1,5", ""}, {"0x2", ""},
    };
    for (const auto& f : factors)
        EXPECT_EQ(platform::WholeScaleFactor(f.given), QByteArray(f.whole)) << f.given;

    const struct { const char* given; const char* whole; } screens[] = {
        {"1.25", "1"},
        {"1.5;1.75;1", "2;2;1"},
        {"HDMI-1=1.25;eDP-1=1.5", "HDMI-1=1;eDP-1=2"},
        {"odd=name=1.75", "odd=name=2"},
        {"1e10;HDMI-1=1e308", "32767;HDMI-1=32767"},
        // An entry that is no factor is left out, as though not there.
        {"DP-2=x;1.5;", "2"},
        {"0", ""}, {"nan", ""}, {"inf;-1;garbage", ""}, {"nan;2", "2"}, {"HDMI-1=nan;eDP-1=2", "eDP-1=2"},
        {"HDMI-1=0;DP-1=inf", ""}, {";", ""},
    };
    for (const auto& s : screens)
        EXPECT_EQ(platform::WholeScreenScaleFactors(s.given), QByteArray(s.whole)) << s.given;
}

// A factor at which the main window would not fit on the screen is brought
// down to the largest whole one at which it fits, never below 1, and the
// application's own ratio (that of pictures made for no window) with it; a
// factor at which it fits stays. The offscreen screen is 800 x 800 pixels.
// In a child process: the factors are the whole application's.
TEST(WholeScaleFactors, AFactorTooLargeForTheScreenIsBroughtDownToOneThatFits)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    if (screen->handle()->geometry().size() != QSize(800, 800) || QGuiApplication::screens().size() != 1)
        GTEST_SKIP() << "the cases are for one screen of 800 x 800 pixels";
    EXPECT_EQ(reliability::RunInChildSaying([screen]() -> std::string {
        const struct { qreal factor; QSize window; qreal shown; } cases[] = {
            {1000, {258, 344}, 2}, {32767, {258, 344}, 2}, {3, {258, 344}, 2}, {2, {258, 344}, 2},
            {1, {258, 344}, 1}, {5, {100, 160}, 5}, {6, {100, 160}, 5}, {8, {100, 100}, 8},
            {50, {900, 900}, 1}, {1, {900, 900}, 1},
        };
        std::string said;
        for (const auto& c : cases) {
            // As Qt starts at the factor: the application's ratio is taken then.
            QHighDpiScaling::setScreenFactor(screen, 1);
            QHighDpiScaling::setGlobalFactor(c.factor);
            QGuiApplicationPrivate::resetCachedDevicePixelRatio();
            if (qApp->devicePixelRatio() != c.factor)
                return "the application's ratio is not the factor set: the test shows nothing";
            platform::FitScaleFactors(c.window);
            if (screen->devicePixelRatio() != c.shown || qApp->devicePixelRatio() != c.shown)
                said += "at " + std::to_string(c.factor) + " a window of " + std::to_string(c.window.width()) + " x "
                    + std::to_string(c.window.height()) + " is shown at " + std::to_string(screen->devicePixelRatio())
                    + " (the application at " + std::to_string(qApp->devicePixelRatio()) + "); ";
        }
        return said;
    }), "");
}

namespace {

// What qt6ct does with a 12-point serif face set, and what the GTK theme
// does with its font setting: the application's font, and fonts for the
// classes Qt keeps them for.
void ApplyThemeFont()
{
    const QFont serif(QStringLiteral("DejaVu Serif"), 12);
    QApplication::setFont(serif);
    for (const char* className : {"QMenu", "QMenuBar", "QMessageBox", "QLabel", "QPushButton", "QRadioButton",
                                  "QGroupBox", "QLineEdit", "QWidget", "QDialog"})
        QApplication::setFont(serif, className);
}

class ThemeFontTest : public MainWindowFixture<> {
protected:
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        // The next tests start with the application's font as the game sets it.
        QApplication::setFont(platform::DialogFont());
    }

    // Every widget of the window, the window too, that is not in the dialog font.
    static QStringList NotInDialogFont(QWidget* window)
    {
        QStringList wrong;
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* widget : widgets)
            if (widget->font() != platform::DialogFont())
                wrong << QStringLiteral("%1 in %2").arg(QString::fromLatin1(widget->metaObject()->className()),
                                                        widget->font().toString());
        return wrong;
    }

    // Opens the window a command shows and checks its fonts.
    void ExpectDialogInDialogFont(unsigned command, int dialogId)
    {
        bool shown = false;
        modal.onDialog = [&](platform::Dialog& d) {
            if (d.Template().id == dialogId) {
                shown = true;
                ApplyThemeFont();   // while it is open, too
                EXPECT_EQ(NotInDialogFont(d.Window()), QStringList()) << d.Window()->windowTitle().toStdString();
            }
            d.SendCommand(platform::IDCANCEL);
            return d.Result();
        };
        if (command)
            dlg.SendCommand(static_cast<int>(command));
        else
            dlg.m_highScores.InsertScore(1000);
        EXPECT_TRUE(shown) << dialogId;
    }
};

} // namespace

TEST_F(ThemeFontTest, TheMainWindowItsMenusAndTheWindowMenuKeepTheDialogFont)
{
    // Once the window exists, as qt6ct does it a moment after the start.
    ApplyThemeFont();
    QCoreApplication::processEvents();

    EXPECT_EQ(NotInDialogFont(dlg.Window()), QStringList());
    for (QAction* popup : dlg.MenuBar()->actions())
        EXPECT_EQ(NotInDialogFont(popup->menu()), QStringList()) << popup->text().toStdString();
    EXPECT_EQ(NotInDialogFont(dlg.GetSystemMenu()), QStringList());

    // File and Help stand in the bar, neither folded into its "»" button.
    QMenuBar* bar = dlg.MenuBar();
    for (QAction* popup : bar->actions()) {
        const QRect at = bar->actionGeometry(popup);
        EXPECT_FALSE(at.isEmpty()) << popup->text().toStdString();
        EXPECT_TRUE(bar->rect().contains(at)) << popup->text().toStdString();
    }
    auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"));
    EXPECT_TRUE(!more || more->isHidden());
}

TEST_F(ThemeFontTest, EveryDialogKeepsTheDialogFont)
{
    const struct { unsigned command; int dialog; } dialogs[] = {
        {ID_HELP_ABOUT, IDD_ABOUTBOX},
        {ID_FILE_SETTINGS, IDD_SETTINGS},
        {ID_FILE_HIGHSCORES, IDD_HIGHSCORES},
        {0, IDD_NEWHIGHSCORE},   // the name entry, from an admitted score
    };
    ApplyThemeFont();
    for (const auto& d : dialogs)
        ExpectDialogInDialogFont(d.command, d.dialog);
}

TEST_F(ThemeFontTest, MessageBoxesKeepTheDialogFontAndTheirOwnButtonText)
{
    ApplyThemeFont();
    for (unsigned type : {unsigned{platform::MB_OK}, unsigned{platform::MB_ICONEXCLAMATION}}) {
        const std::unique_ptr<QMessageBox> box =
            platform::MakeMessageBox(dlg.Window(), QStringLiteral("Game over!   Score: 0"), type);
        EXPECT_EQ(NotInDialogFont(box.get()), QStringList()) << type;
        EXPECT_EQ(box->button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
        if (type != platform::MB_OK) {
            EXPECT_EQ(box->iconPixmap().deviceIndependentSize(), QSizeF(32, 32));
        }
    }
}

TEST_F(ThemeFontTest, TheApplicationsFontIsPutBackForWhatQtMakesByItself)
{
    // An edit box's context menu, a tooltip: Qt makes these windows with
    // the application's font, which a theme has just replaced.
    ApplyThemeFont();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::font(), platform::DialogFont());
    QMenu contextMenu;
    EXPECT_EQ(contextMenu.font(), platform::DialogFont());
}
