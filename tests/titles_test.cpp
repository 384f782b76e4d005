// Window titles are the captions alone, and where the program draws the
// caption bars itself (on a Wayland compositor that draws none) they carry
// the title, minimise on the main window, close where the template has a
// system menu, never maximise, in colours that stand out from the bar.

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/internal/Contrast.h"
#include "platform/internal/CaptionBar.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <algorithm>

using namespace testing_support;

namespace {


// The dialogs the main window's commands open, with their captions.
const struct {
    unsigned command;
    int dialog;
    const char* title;
} kDialogs[] = {
    {ID_FILE_SETTINGS, IDD_SETTINGS, "Settings"},
    {ID_FILE_HIGHSCORES, IDD_HIGHSCORES, "All times greatest"},
    {ID_HELP_ABOUT, IDD_ABOUTBOX, "Info about Quillware Coilrunner"},
};

struct Shown {
    QString title;
    QStringList buttons;
    bool frameless = false;
    QWidget* parent = nullptr;
};

// Opens a dialog through the main window (or the name entry through the
// table) and records how it looks.
class TitlesTest : public MainWindowFixture<> {
protected:
    Shown Open(unsigned command, int dialog) { return Record(dialog, [&] { dlg.SendCommand(static_cast<int>(command)); }); }
    Shown OpenNameEntry() { return Record(IDD_NEWHIGHSCORE, [&] { dlg.m_highScores.InsertScore(1000); }); }

private:
    Shown Record(int dialog, const std::function<void()>& open)
    {
        Shown shown;
        modal.onDialog = [&](platform::Dialog& d) {
            if (d.Template().id == dialog) {
                shown.title = d.Window()->windowTitle();
                shown.buttons = platform::CaptionButtons(d.Window());
                shown.frameless = d.Window()->windowFlags() & Qt::FramelessWindowHint;
                shown.parent = d.Window()->parentWidget();
            }
            d.SendCommand(IDCANCEL);
            return d.Result();
        };
        open();
        return shown;
    }
};

class OwnCaptionTest : public TitlesTest {
protected:
    void SetUp() override
    {
        platform::SetDrawsOwnCaption(true);
        TitlesTest::SetUp();
    }
    void TearDown() override
    {
        TitlesTest::TearDown();
        platform::SetDrawsOwnCaption(false);
    }
};

} // namespace

TEST_F(TitlesTest, QtIsNotToldTheApplicationsNameSoTitlesStayAsTheCaptions)
{
    // Qt appends its display name, where one is set, to every window title
    // that does not end in it; message boxes take the name from the program.
    EXPECT_EQ(platform::AppDisplayName(), QStringLiteral("Quillware Coilrunner"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());

    EXPECT_EQ(dlg.Window()->windowTitle(), QStringLiteral("Quillware Coilrunner"));
    for (const auto& c : kDialogs) {
        const Shown shown = Open(c.command, c.dialog);
        EXPECT_EQ(shown.title, QString::fromLatin1(c.title));
        // Owned by the main window: the desktop keeps it over that window.
        EXPECT_EQ(shown.parent, dlg.Window()) << c.title;
        EXPECT_FALSE(shown.frameless) << "the toolkit's own caption where it offers no maximise";
    }
    // Without a caption bar of the program's, the menu bar is the window's
    // top and the client area follows it.
    EXPECT_TRUE(platform::CaptionButtons(dlg.Window()).empty());
    EXPECT_EQ(dlg.MenuBar()->y(), 0);
    EXPECT_EQ(dlg.Client()->y(), dlg.MenuBar()->height());
    const Shown entry = OpenNameEntry();
    EXPECT_EQ(entry.title, QStringLiteral("New High Score!"));
    EXPECT_EQ(entry.parent, dlg.Window());
}

TEST_F(OwnCaptionTest, CaptionBarsOfferNoMaximise)
{
    QWidget* main = dlg.Window();
    EXPECT_TRUE(main->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(platform::CaptionButtons(main), (QStringList{QStringLiteral("minimise"), QStringLiteral("close")}));
    // The menu bar and the client area lie below the caption bar, and the
    // window keeps its fixed size.
    EXPECT_EQ(dlg.MenuBar()->y(), platform::kCaptionHeight);
    EXPECT_EQ(dlg.Client()->y(), platform::kCaptionHeight + dlg.MenuBar()->height());
    EXPECT_EQ(dlg.Client()->size(), QSize(258, 322));
    EXPECT_EQ(main->minimumSize(), main->maximumSize());
    EXPECT_EQ(main->height(), dlg.Client()->geometry().bottom() + 1);

    for (const auto& c : kDialogs) {
        const Shown shown = Open(c.command, c.dialog);
        EXPECT_EQ(shown.title, QString::fromLatin1(c.title));
        EXPECT_TRUE(shown.frameless) << c.title;
        EXPECT_EQ(shown.buttons, QStringList{QStringLiteral("close")}) << c.title;
        EXPECT_EQ(shown.parent, main) << c.title;
    }
    // The name entry has no system menu, and so no close button.
    const Shown entry = OpenNameEntry();
    EXPECT_TRUE(entry.frameless);
    EXPECT_TRUE(entry.buttons.empty());
}

TEST_F(OwnCaptionTest, CaptionButtonsMinimiseAndCloseAndARightClickOrAltSpaceOpensTheWindowMenu)
{
    QWidget* main = dlg.Window();
    main->show();
    QWidget* caption = main->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(caption, nullptr);

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 10), caption->mapToGlobal(QPoint(30, 10)));
    QApplication::sendEvent(caption, &event);
    EXPECT_TRUE(dlg.GetSystemMenu()->isVisible());
    dlg.GetSystemMenu()->hide();

    // Alt+Space too, as under a window manager's caption bar.
    // Pressed on a button, it opens the menu and leaves the button alone (a
    // button takes Space with any modifier as a click).
    QKeyEvent altSpace(QEvent::KeyPress, Qt::Key_Space, Qt::AltModifier);
    QKeyEvent altSpaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::AltModifier);
    auto* start = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(IDC_START));
    start->setFocus();
    QApplication::sendEvent(start, &altSpace);
    QApplication::sendEvent(start, &altSpaceUp);
    EXPECT_TRUE(dlg.GetSystemMenu()->isVisible());
    EXPECT_FALSE(start->isDown());
    EXPECT_EQ(dlg.m_playArea.Window(), nullptr) << "Alt+Space started a game";
    dlg.GetSystemMenu()->hide();

    caption->findChild<QToolButton*>(QStringLiteral("minimise"))->click();
    EXPECT_TRUE(main->isMinimized());
    main->showNormal();
    // Close is the window menu's Close: the window ends through Cancel.
    caption->findChild<QToolButton*>(QStringLiteral("close"))->click();
    EXPECT_EQ(dlg.Result(), IDCANCEL);
}

namespace {

// The highest contrast to `background` among the pixels of `area`: the
// glyph's or the text's own colour where they are drawn solid.
double StrongestContrast(const QImage& image, const QRect& area, QRgb background)
{
    double best = 1.0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, platform::ContrastRatio(QColor(image.pixel(x, y)), QColor(background)));
    return best;
}

// A dark palette as desktops ship them: light text on dark grey, a
// saturated blue highlight with white text on it.
QPalette DarkPalette()
{
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// A palette whose own text colours vanish on the bar: the highlighted text
// in the highlight's colour, the light tone in the mid tone's.
QPalette InvisibleTextPalette()
{
    QPalette palette = QApplication::palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, QColor(0x77, 0x77, 0x77));
        palette.setColor(group, QPalette::HighlightedText, QColor(0x77, 0x77, 0x77));
        palette.setColor(group, QPalette::Mid, QColor(0x80, 0x80, 0x80));
        palette.setColor(group, QPalette::Light, QColor(0x90, 0x90, 0x90));
    }
    return palette;
}

} // namespace

TEST(Contrast, RatiosAreTheGuidelinesOnes)
{
    // Reference values of the relative-luminance rule.
    const struct {
        QColor a, b;
        double ratio;
    } cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::white, 1.0},
        {QColor(0x76, 0x76, 0x76), Qt::white, 4.54},   // the lightest grey that passes on white
        {QColor(0x77, 0x77, 0x77), Qt::white, 4.48},   // and the next, which fails
        {QColor(0xff, 0x00, 0x00), Qt::white, 4.00},
        {QColor(0x00, 0x00, 0xff), Qt::black, 2.44},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(platform::ContrastRatio(c.a, c.b), c.ratio, 0.005) << c.a.name().toStdString();
        EXPECT_DOUBLE_EQ(platform::ContrastRatio(c.a, c.b), platform::ContrastRatio(c.b, c.a));
    }
}

TEST(Contrast, EveryBackgroundGetsALegibleColour)
{
    // Every colour of a 4-bit-per-channel grid, with the worst wish of all:
    // the background's own colour. A legible wish is kept.
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17) {
                const QColor background(r, g, b);
                const QColor chosen = platform::LegibleOn(background, background);
                ASSERT_GE(platform::ContrastRatio(chosen, background), platform::kLegibleContrast)
                    << background.name().toStdString();
            }
    EXPECT_EQ(platform::LegibleOn(Qt::black, QColor(0xee, 0xee, 0x00)), QColor(0xee, 0xee, 0x00));
    EXPECT_EQ(platform::LegibleOn(QColor(0x30, 0x8c, 0xc6), Qt::white), QColor(Qt::black));
}

TEST_F(OwnCaptionTest, TitleAndGlyphsStandOutFromTheBarOnEveryPalette)
{
    QWidget* main = dlg.Window();
    main->show();
    QWidget* caption = main->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(caption, nullptr);
    ASSERT_EQ(caption->width(), main->width());

    const struct {
        const char* name;
        QPalette palette;
    } palettes[] = {
        {"default", QApplication::palette()},
        {"dark", DarkPalette()},
        {"invisible text", InvisibleTextPalette()},
    };
    for (const auto& p : palettes) {
        main->setPalette(p.palette);
        for (const bool active : {true, false}) {
            QApplication::setActiveWindow(active ? main : nullptr);
            ASSERT_EQ(main->isActiveWindow(), active);
            const std::string what = std::string(p.name) + (active ? ", active" : ", inactive");

            const QImage bar = caption->grab().toImage().convertToFormat(QImage::Format_RGB32);
            // The bar's own colour: the palette's highlight, or its mid tone.
            const QRgb background = bar.pixel(bar.width() - 1, 0);
            const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
            EXPECT_EQ(background, p.palette.color(group, active ? QPalette::Highlight : QPalette::Mid).rgb())
                << what;

            for (const QString& name : platform::CaptionButtons(main)) {
                const QRect button = caption->findChild<QToolButton*>(name)->geometry();
                EXPECT_GE(StrongestContrast(bar, button, background), platform::kLegibleContrast)
                    << what << ": " << name.toStdString();
            }
            // The title, between the icon and the buttons.
            const QRect title(24, 0, 100, bar.height());
            EXPECT_GE(StrongestContrast(bar, title, background), platform::kLegibleContrast) << what << ": title";
        }
    }
    QApplication::setActiveWindow(nullptr);
}
