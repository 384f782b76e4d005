// The caption bars the program draws where the compositor draws none: the
// program's own bar, which stays as it always was, and, in a GNOME session,
// the bar drawn as GNOME draws its windows' bars, compared with what the
// desktop's settings say: its height, the title bold in the middle, the
// colours of the light and the dark style, active and inactive, and the
// buttons of the button layout in its order, never maximise. Then the
// reading of those settings from a settings portal on a private bus.

#include "app/GameDlg.h"
#include "platform/internal/CaptionBar.h"
#include "platform/internal/Contrast.h"
#include "platform/internal/TitleBarSettings.h"
#include "res/resource.h"
#include "support/GnomeBarColours.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <gtest/gtest.h>

using namespace testing_support;
using platform::TitleBarSettings;

namespace {

QWidget* CaptionOf(QWidget* window)
{
    return window->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
}

QImage Picture(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The columns of `area` that hold a pixel other than `background`.
std::pair<int, int> InkColumns(const QImage& image, const QRect& area, QRgb background)
{
    int first = -1, last = -1;
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if ((image.pixel(x, y) & 0xffffff) != (background & 0xffffff)) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

// The pixel of `area` that stands out most from `background`.
QColor Strongest(const QImage& image, const QRect& area, const QColor& background)
{
    QColor best = background;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (platform::ContrastRatio(QColor(image.pixel(x, y)), background) > platform::ContrastRatio(best, background))
                best = QColor(image.pixel(x, y));
    return best;
}

// The caption bars, in the program's own look or GNOME's, on the main
// window and the dialogs it opens.
class CaptionStyleTest : public MainWindowFixture<> {
protected:
    void SetUp() override
    {
        platform::SetDrawsOwnCaption(true);
        platform::SetTitleBarSettingsForTests(Desktop());
        MainWindowFixture::SetUp();
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        platform::SetTitleBarSettingsForTests(std::nullopt);
        platform::SetDrawsOwnCaption(false);
    }
    virtual TitleBarSettings Desktop() const { return {}; }

    // Shows a dialog through the main window's command and hands its window
    // to `look` while it is open.
    void WithDialog(unsigned command, int dialog, const std::function<void(QWidget*)>& look)
    {
        modal.onDialog = [&](platform::Dialog& d) {
            if (d.Template().id == dialog) {
                d.Window()->show();
                look(d.Window());
            }
            d.SendCommand(IDCANCEL);
            return d.Result();
        };
        dlg.SendCommand(static_cast<int>(command));
    }

    // The main window shown, and its caption bar.
    QWidget* ShowMain()
    {
        dlg.Window()->show();
        QWidget* caption = CaptionOf(dlg.Window());
        EXPECT_NE(caption, nullptr);
        return caption;
    }

    void SetActive(QWidget* window, bool active)
    {
        QApplication::setActiveWindow(active ? window : nullptr);
        ASSERT_EQ(window->isActiveWindow(), active);
    }
};

} // namespace

// The program's own bar, as it has always been drawn: 24 pixels of the
// palette's highlight (its mid tone when inactive), the icon at the left,
// the title after it in the window's font, the buttons of 20 pixels at the
// right edge with their glyphs in the bar's text colour.
TEST_F(CaptionStyleTest, TheProgramsOwnBarIsUnchangedOutsideGnome)
{
    QWidget* main = dlg.Window();
    QWidget* caption = ShowMain();
    ASSERT_NE(caption, nullptr);
    ASSERT_EQ(platform::CaptionHeight(main), platform::kCaptionHeight);
    EXPECT_EQ(caption->geometry(), QRect(0, 0, main->width(), 24));
    EXPECT_EQ(dlg.MenuBar()->y(), 24);
    EXPECT_EQ(dlg.Client()->y(), 24 + dlg.MenuBar()->height());
    EXPECT_EQ(caption->font(), main->font());

    const int w = caption->width();
    auto* minimise = caption->findChild<QToolButton*>(QStringLiteral("minimise"));
    auto* close = caption->findChild<QToolButton*>(QStringLiteral("close"));
    ASSERT_TRUE(minimise && close);
    EXPECT_EQ(minimise->geometry(), QRect(w - 42, 2, 20, 20));
    EXPECT_EQ(close->geometry(), QRect(w - 22, 2, 20, 20));

    for (const bool active : {true, false}) {
        SetActive(main, active);
        const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
        const QColor barColour = main->palette().color(group, active ? QPalette::Highlight : QPalette::Mid);
        const QColor ink = platform::LegibleOn(
            barColour, main->palette().color(group, active ? QPalette::HighlightedText : QPalette::Light));
        const QImage bar = Picture(caption);
        const std::string what = active ? "active" : "inactive";
        EXPECT_EQ(bar.pixel(w - 1, 0), barColour.rgb()) << what;
        EXPECT_EQ(bar.pixel(w / 2, 23), barColour.rgb()) << what << ": no shade below the bar";

        // The icon, at its own 16 pixels, 4 from the top and the left.
        QImage icon(16, 16, QImage::Format_RGB32);
        icon.fill(barColour);
        {
            QPainter painter(&icon);
            main->windowIcon().paint(&painter, icon.rect());
        }
        EXPECT_EQ(bar.copy(4, 4, 16, 16), icon) << what;

        // The title starts right after the icon, in the text colour.
        const auto [first, last] = InkColumns(bar, QRect(21, 0, w - 42 - 21, 24), barColour.rgb());
        EXPECT_GE(first, 24) << what;
        EXPECT_LE(first, 26) << what << ": the title is left-aligned";
        const QColor title = Strongest(bar, QRect(24, 0, 100, 24), barColour);
        EXPECT_LE(std::abs(title.red() - ink.red()) + std::abs(title.green() - ink.green()) + std::abs(title.blue() - ink.blue()), 12)
            << what << ": " << title.name().toStdString() << " for " << ink.name().toStdString();

        // Minimise: a bar of 8 by 2 low in the middle; close: a cross
        // through the middle.
        const QImage glyph = bar.copy(minimise->geometry());
        EXPECT_EQ(glyph.pixel(6, 12), ink.rgb()) << what;
        EXPECT_EQ(glyph.pixel(13, 13), ink.rgb()) << what;
        EXPECT_EQ(glyph.pixel(10, 10), barColour.rgb()) << what;
        EXPECT_GE(platform::ContrastRatio(Strongest(bar.copy(close->geometry()), QRect(8, 8, 4, 4), barColour), barColour),
                  platform::kLegibleContrast)
            << what;
    }
    QApplication::setActiveWindow(nullptr);
}

// --- GNOME's bar -----------------------------------------------------------------

namespace {

struct LayoutCase {
    const char* name;
    bool dark;
    const char* layout;
    // The main window's buttons, left to right, with each one's left edge
    // counted from the bar's left edge (>= 0) or from its right edge (< 0).
    std::vector<std::pair<const char*, int>> buttons;
    int iconAt;   // the icon's place like the buttons', or INT_MIN for none
    // The dialogs' buttons (About, Settings, the list: close where the
    // layout has it).
    std::vector<std::pair<const char*, int>> dialogButtons;
};

const LayoutCase kLayouts[] = {
    {"GNOME's default, light", false, "appmenu:close", {{"close", -34}}, INT_MIN, {{"close", -34}}},
    {"GNOME's default, dark", true, "appmenu:close", {{"close", -34}}, INT_MIN, {{"close", -34}}},
    {"close and minimise on the left", false, "close,minimize:", {{"close", 4}, {"minimise", 37}}, INT_MIN, {{"close", 4}}},
    {"minimise and close on the right, maximise left out", true, ":minimize,maximize,close",
     {{"minimise", -67}, {"close", -34}}, INT_MIN, {{"close", -34}}},
    {"the icon, and a spacer between minimise and close", false, "icon:minimize,spacer,close",
     {{"minimise", -89}, {"close", -34}}, 4, {{"close", -34}}},
    {"no colon: every place on the left", true, "minimize,close", {{"minimise", 4}, {"close", 37}}, INT_MIN, {{"close", 4}}},
    {"nothing the windows offer", false, "appmenu:maximize", {}, INT_MIN, {}},
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class GnomeCaptionTest : public CaptionStyleTest, public ::testing::WithParamInterface<LayoutCase> {
protected:
    TitleBarSettings Desktop() const override { return {true, GetParam().dark, QString::fromLatin1(GetParam().layout)}; }

    // Checks one window's bar against the settings: its size, colours,
    // buttons and title. `centred` where the corners leave the title room to
    // stand in the middle.
    void CheckBar(QWidget* window, const std::vector<std::pair<const char*, int>>& buttons, int iconAt, const std::string& what)
    {
        QWidget* caption = CaptionOf(window);
        ASSERT_NE(caption, nullptr) << what;
        ASSERT_EQ(caption->geometry(), QRect(0, 0, window->width(), platform::kGnomeCaptionHeight)) << what;
        const int w = caption->width();

        QStringList names;
        for (const auto& [name, at] : buttons)
            names << QString::fromLatin1(name);
        ASSERT_EQ(platform::CaptionButtons(window), names) << what;
        int free = 4, freeEnd = w - 4;   // the room the corners leave the title
        for (const auto& [name, at] : buttons) {
            const QRect expected(at >= 0 ? at : w + at, 3, 30, 30);
            EXPECT_EQ(caption->findChild<QToolButton*>(QString::fromLatin1(name))->geometry(), expected) << what << ": " << name;
            if (at >= 0)
                free = std::max(free, expected.right() + 1);
            else
                freeEnd = std::min(freeEnd, expected.left());
        }
        if (iconAt != INT_MIN)
            free = std::max(free, (iconAt >= 0 ? iconAt : w + iconAt) + 30);

        for (const bool active : {true, false}) {
            SetActive(window, active);
            const std::string state = what + (active ? ", active" : ", inactive");
            const GnomeBarColours colours = ExpectedGnomeBar(GetParam().dark, active);
            const QImage bar = Picture(caption);
            EXPECT_EQ(bar.pixel(w - 1, 0) & 0xffffff, colours.bar) << state;
            EXPECT_EQ(bar.pixel(w - 1, 35) & 0xffffff, colours.bar) << state;
            EXPECT_EQ(bar.pixel(w - 1, 36) & 0xffffff, colours.shade) << state << ": the shade below the bar";

            if (iconAt != INT_MIN) {
                const int x = (iconAt >= 0 ? iconAt : w + iconAt) + 7;
                QImage icon(16, 16, QImage::Format_RGB32);
                icon.fill(colours.bar);
                QPainter painter(&icon);
                window->windowIcon().paint(&painter, icon.rect());
                painter.end();
                EXPECT_EQ(bar.copy(x, 10, 16, 16), icon) << state << ": the icon";
            }

            for (const QString& name : names) {
                auto* button = caption->findChild<QToolButton*>(name);
                const QImage picture = Picture(button);
                const std::string which = state + ": " + name.toStdString();
                // The round backing, 20 pixels across, inside the button's 30.
                EXPECT_EQ(picture.pixel(7, 15) & 0xffffff, colours.backing) << which;
                EXPECT_EQ(picture.pixel(15, 6) & 0xffffff, colours.backing) << which;
                EXPECT_EQ(picture.pixel(2, 2) & 0xffffff, colours.bar) << which << ": the corner is the bar's";
                EXPECT_EQ(picture.pixel(6, 6) & 0xffffff, colours.bar) << which << ": the backing is round";
                const QColor glyph = Strongest(picture, QRect(9, 9, 12, 12), QColor(colours.backing));
                EXPECT_GE(platform::ContrastRatio(glyph, QColor(colours.backing)), platform::kLegibleContrast) << which;
                if (name == QLatin1String("minimise")) {
                    // A bar of 8 by 2, low in the middle of the disc.
                    EXPECT_EQ(QColor(picture.pixel(11, 17)), glyph) << which;
                    EXPECT_EQ(QColor(picture.pixel(18, 18)), glyph) << which;
                    EXPECT_EQ(picture.pixel(15, 14) & 0xffffff, colours.backing) << which;
                    if (colours.glyph) {
                        EXPECT_EQ(glyph.rgb() & 0xffffff, *colours.glyph) << which;
                    }
                } else if (colours.glyph) {
                    EXPECT_GE(platform::ContrastRatio(glyph, QColor(colours.backing)),
                              platform::ContrastRatio(QColor(*colours.glyph), QColor(colours.backing)) - 0.5)
                        << which << ": the cross is drawn in the glyph colour";
                }
            }

            // The title: bold, in the title colour, inside the room the
            // corners leave, in the middle where that room allows.
            const auto [first, last] = InkColumns(bar, QRect(free, 0, freeEnd - free, 36), colours.bar);
            ASSERT_GE(first, 0) << state << ": no title";
            const QColor title = Strongest(bar, QRect(first, 0, last - first + 1, 36), QColor(colours.bar));
            EXPECT_GE(platform::ContrastRatio(title, QColor(colours.bar)), platform::kLegibleContrast) << state;
            if (colours.title) {
                EXPECT_EQ(title.rgb() & 0xffffff, *colours.title) << state;
            } else {
                // Greyed: paler than the active title, and no paler than
                // legible text may be.
                EXPECT_LT(platform::ContrastRatio(title, QColor(colours.bar)), 5.0) << state;
            }
            QFont bold = window->font();
            bold.setPixelSize(15);
            bold.setBold(true);
            QFont plain = bold;
            plain.setBold(false);
            const int inked = last - first + 1;
            EXPECT_GE(first, free + 12) << state;
            EXPECT_LE(last, freeEnd - 12) << state;
            // Where the room is too narrow, the title is cut short with an
            // ellipsis.
            const int room = freeEnd - free - 24;
            const QString full = window->windowTitle();
            const QString text = QFontMetrics(bold).elidedText(full, Qt::ElideRight, room);
            EXPECT_NEAR(inked, QFontMetrics(bold).horizontalAdvance(text), 3) << state << ": a bold title of 15 pixels";
            EXPECT_GT(inked, QFontMetrics(plain).horizontalAdvance(text) + 3) << state << ": not a plain one";
            const int wanted = QFontMetrics(bold).horizontalAdvance(full) + 24;
            if ((w - wanted) / 2 >= free && (w + wanted) / 2 <= freeEnd) {
                EXPECT_EQ(text, full) << state;
                EXPECT_NEAR((first + last + 1) / 2.0, w / 2.0, 2.0) << state << ": the title in the middle";
            }
        }
        QApplication::setActiveWindow(nullptr);
    }
};

} // namespace

TEST_P(GnomeCaptionTest, BarFollowsTheDesktopsStyleAndButtonLayout)
{
    const LayoutCase& c = GetParam();
    QWidget* main = dlg.Window();
    main->show();
    // The bar is GNOME's height; below it the menu bar and the client area
    // as everywhere, so the window grows by the bar alone.
    ASSERT_EQ(platform::CaptionHeight(main), platform::kGnomeCaptionHeight);
    EXPECT_EQ(dlg.MenuBar()->y(), 37);
    EXPECT_EQ(dlg.Client()->y(), 37 + dlg.MenuBar()->height());
    EXPECT_EQ(dlg.Client()->size(), QSize(258, 322));
    EXPECT_EQ(main->height(), 37 + dlg.MenuBar()->height() + 322);
    EXPECT_EQ(main->minimumSize(), main->maximumSize());
    EXPECT_TRUE(main->windowFlags() & Qt::FramelessWindowHint);

    CheckBar(main, c.buttons, c.iconAt, c.name);
    // A dialog shows neither the icon nor minimise: those belong to a
    // window of its own.
    WithDialog(ID_HELP_ABOUT, IDD_ABOUTBOX, [&](QWidget* about) {
        CheckBar(about, c.dialogButtons, INT_MIN, std::string(c.name) + ", About");
    });
    // The name entry has no system menu, and so no close button.
    modal.onDialog = [&](platform::Dialog& d) {
        if (d.Template().id == IDD_NEWHIGHSCORE) {
            EXPECT_EQ(platform::CaptionHeight(d.Window()), platform::kGnomeCaptionHeight) << c.name;
            EXPECT_TRUE(platform::CaptionButtons(d.Window()).isEmpty()) << c.name;
        }
        d.SendCommand(IDCANCEL);
        return d.Result();
    };
    dlg.m_highScores.InsertScore(1000);
}

INSTANTIATE_TEST_SUITE_P(Layouts, GnomeCaptionTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

namespace {
class GnomeDefaultCaptionTest : public CaptionStyleTest {
protected:
    TitleBarSettings Desktop() const override { return {true, false, QStringLiteral("appmenu:close")}; }
};
} // namespace

// The desktop's settings change while the game runs: the bar takes the new
// style and the new buttons at once, and the window keeps its size.
TEST_F(GnomeDefaultCaptionTest, BarFollowsChangedSettings)
{
    QWidget* main = dlg.Window();
    QWidget* caption = ShowMain();
    ASSERT_NE(caption, nullptr);
    const QSize size = main->size();
    SetActive(main, true);
    EXPECT_EQ(Picture(caption).pixel(main->width() - 1, 0), 0xffebebebu) << "light";

    platform::SetTitleBarSettingsForTests(TitleBarSettings{true, true, QStringLiteral("close,minimize:")});
    EXPECT_EQ(Picture(caption).pixel(main->width() - 1, 0), 0xff303030u);
    EXPECT_EQ(platform::CaptionButtons(main), (QStringList{QStringLiteral("close"), QStringLiteral("minimise")}));
    EXPECT_EQ(caption->findChild<QToolButton*>(QStringLiteral("minimise"))->geometry(), QRect(37, 3, 30, 30));
    EXPECT_TRUE(caption->findChild<QToolButton*>(QStringLiteral("minimise"))->isVisible());
    EXPECT_EQ(main->size(), size);

    // The new buttons work.
    caption->findChild<QToolButton*>(QStringLiteral("minimise"))->click();
    EXPECT_TRUE(main->isMinimized());
    main->showNormal();
    caption->findChild<QToolButton*>(QStringLiteral("close"))->click();
    EXPECT_EQ(dlg.Result(), IDCANCEL);
    QApplication::setActiveWindow(nullptr);
}

// The window menu opens from GNOME's bar as from the program's own: a right
// click on the bar, on the title or on a button, and the keys Shift+F10 and
// Menu.
TEST_F(GnomeDefaultCaptionTest, RightClickAndKeysOpenTheWindowMenu)
{
    QWidget* caption = ShowMain();
    ASSERT_NE(caption, nullptr);
    QMenu* menu = dlg.GetSystemMenu();

    auto rightClick = [&](QWidget* target, QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &event);
    };
    rightClick(caption, QPoint(caption->width() / 2, 18));
    EXPECT_TRUE(menu->isVisible()) << "a right click on the title";
    menu->hide();
    rightClick(caption, QPoint(2, 2));
    EXPECT_TRUE(menu->isVisible()) << "a right click at the bar's corner";
    menu->hide();
    rightClick(caption->findChild<QToolButton*>(QStringLiteral("close")), QPoint(15, 15));
    EXPECT_TRUE(menu->isVisible()) << "a right click on close";
    menu->hide();

    auto* start = dlg.GetDlgItem(IDC_START);
    start->setFocus();
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(start, &press);
        EXPECT_TRUE(menu->isVisible()) << key;
        menu->hide();
    }
    bool about = false;
    modal.onDialog = [&](platform::Dialog& d) {
        about = d.Template().id == IDD_ABOUTBOX;
        d.SendCommand(IDCANCEL);
        return d.Result();
    };
    rightClick(caption, QPoint(caption->width() / 2, 18));
    ASSERT_TRUE(menu->isVisible());
    for (QAction* action : menu->actions())
        if (action->data().toUInt() == IDM_ABOUTBOX)
            action->trigger();
    EXPECT_TRUE(about) << "the window menu's Info about Coilrunner... entry";
    menu->hide();
}

// --- the settings ------------------------------------------------------------------

TEST(TitleBarSettings, ButtonLayoutsAreReadAsTheCompositorReadsThem)
{
    using platform::TitleBarPlace;
    using P = platform::PlacedItem;
    const P icon{TitleBarPlace::Icon}, minimise{TitleBarPlace::Minimise}, close{TitleBarPlace::Close};
    const P minimiseThenGap{TitleBarPlace::Minimise, true}, closeThenGap{TitleBarPlace::Close, true};
    const struct {
        const char* layout;
        platform::ButtonLayout expected;
    } cases[] = {
        {"appmenu:close", {{}, {close}}},
        {"close,minimize:", {{close, minimise}, {}}},
        {":minimize,maximize,close", {{}, {minimise, close}}},
        {"icon:minimize,spacer,close", {{icon}, {minimiseThenGap, close}}},
        {"spacer,close:", {{close}, {}}},             // a spacer with nothing before it
        {"close,spacer:", {{closeThenGap}, {}}},
        {"minimize,close", {{minimise, close}, {}}},   // no colon: all on the left
        {"close:close,minimize", {{close}, {minimise}}},  // a name used twice counts once
        {"menu,appmenu,bogus:maximize", {{}, {}}},
        {" minimize , close :", {{minimise, close}, {}}},
        {"close:minimize:icon", {{close}, {}}},       // "minimize:icon" is no name
        {"", {{}, {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ParseButtonLayout(QString::fromLatin1(c.layout)), c.expected) << c.layout;
}

TEST(TitleBarSettings, TheSessionIsGnomesWhereCurrentDesktopNamesIt)
{
    for (const char* yes : {"GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME", "gnome"})
        EXPECT_TRUE(platform::NamesGnome(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"", "KDE", "sway", "GNOME-Flashback", "XFCE:GNOMEISH", "Unity"})
        EXPECT_FALSE(platform::NamesGnome(QString::fromLatin1(no))) << no;

    // Outside GNOME the program's own bar is kept, and no portal asked.
    const QByteArray before = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    platform::SetTitleBarSettingsForTests(std::nullopt);
    EXPECT_FALSE(platform::DesktopTitleBarSettings().gnome);
    if (before.isNull())
        qunsetenv("XDG_CURRENT_DESKTOP");
    else
        qputenv("XDG_CURRENT_DESKTOP", before);
}

TEST(Contrast, NearestLegibleKeepsAGreyAsPaleAsItMayBe)
{
    // A legible colour is kept; one that is not is moved towards black (on
    // a light background) or white (on a dark one) just far enough.
    EXPECT_EQ(platform::NearestLegible(QColor(0xfa, 0xfa, 0xfa), QColor(0x2f, 0x2f, 0x2f)), QColor(0x2f, 0x2f, 0x2f));
    for (int grey = 0; grey < 256; grey += 5)
        for (const QColor& background : {QColor(grey, grey, grey), QColor(grey, 255 - grey, 128)}) {
            for (const QColor& wish : {QColor(0x96, 0x96, 0x96), QColor(0x80, 0x20, 0x20), background}) {
                const QColor chosen = platform::NearestLegible(background, wish);
                const double ratio = platform::ContrastRatio(chosen, background);
                ASSERT_GE(ratio, platform::kLegibleContrast) << background.name().toStdString() << " " << wish.name().toStdString();
                if (platform::ContrastRatio(wish, background) < platform::kLegibleContrast) {
                    EXPECT_LT(ratio, platform::kLegibleContrast + 0.4)
                        << background.name().toStdString() << " " << wish.name().toStdString() << ": no further than needed";
                }
            }
        }
}

// --- the settings portal, on a private bus --------------------------------------

namespace {

using SettingsMap = QMap<QString, QVariantMap>;

// A settings portal of the test's own, answering from another thread (the
// program waits for the portal on its own thread). It may stay silent, or
// hold its answer until told.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    // Set before the portal serves.
    SettingsMap values;
    bool silent = false;     // never answers
    bool holdFirst = false;  // leaves the first question unanswered
    bool wrongShape = false; // answers with a string
    std::atomic<int> asked{0};

public slots:
    SettingsMap ReadAll(const QStringList& groups)
    {
        ++asked;
        if (silent || (holdFirst && asked == 1)) {
            setDelayedReply(true);
            return {};
        }
        if (wrongShape) {
            setDelayedReply(true);
            connection().send(message().createReply(QStringLiteral("not a map")));
            return {};
        }
        SettingsMap answer;
        for (const QString& group : groups)
            if (values.contains(group))
                answer[group] = values[group];
        return answer;
    }
};

class PortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<SettingsMap>();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "no dbus-daemon (scripts/deps.sh test installs dbus-daemon)";
        // A bus that starts no services of its own: the desktop's real
        // portal would otherwise be started when the program asks for one.
        ASSERT_TRUE(m_config.open());
        m_config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                       "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        m_config.close();
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + m_config.fileName(), QStringLiteral("--nofork"),
                                QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        // The bound is for a hang only.
        ASSERT_TRUE(m_daemon.waitForStarted(30000));
        QByteArray address;
        QElapsedTimer waited;
        waited.start();
        while (!address.contains('\n') && waited.elapsed() < 30000 && m_daemon.waitForReadyRead(1000))
            address += m_daemon.readAllStandardOutput();
        ASSERT_TRUE(address.contains('\n')) << "the bus did not say its address";
        m_address = QString::fromUtf8(address.trimmed());
        m_program = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, QStringLiteral("program")));
        ASSERT_TRUE(m_program->isConnected());
    }
    void TearDown() override
    {
        if (m_portal)
            QDBusConnection(QStringLiteral("portal")).unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
        if (m_serving.isRunning()) {
            m_serving.quit();
            m_serving.wait();
        }
        delete m_portal;
        m_program.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("program"));
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }

    // The portal on the bus, served by a thread of its own.
    FakePortal& StartPortal(const std::function<void(FakePortal&)>& configure = {})
    {
        m_portal = new FakePortal;
        if (configure)
            configure(*m_portal);
        m_portal->moveToThread(&m_serving);
        m_serving.start();
        QDBusConnection portal = QDBusConnection::connectToBus(m_address, QStringLiteral("portal"));
        EXPECT_TRUE(portal.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), m_portal,
                                          QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(portal.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        return *m_portal;
    }

    void Emit(const QString& group, const QString& key, const QVariant& value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection(QStringLiteral("portal")).send(signal);
    }

    QTemporaryFile m_config;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_program;
    QThread m_serving;
    FakePortal* m_portal = nullptr;
};

// Counts the settings' announcements of a change, and waits for the next.
class Changes {
public:
    explicit Changes(platform::PortalTitleBarSettings& settings) : m_settings(settings)
    {
        QObject::connect(&settings, &platform::PortalTitleBarSettings::changed, &m_context, [this] { ++m_count; });
    }
    int Count() const { return m_count; }
    // The bound is for a hang only.
    bool Wait()
    {
        const int before = m_count;
        QEventLoop loop;
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        QObject::connect(&m_settings, &platform::PortalTitleBarSettings::changed, &loop, &QEventLoop::quit);
        loop.exec();
        return m_count > before;
    }

private:
    platform::PortalTitleBarSettings& m_settings;
    QObject m_context;
    int m_count = 0;
};

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kWm = QStringLiteral("org.gnome.desktop.wm.preferences");

} // namespace

TEST_F(PortalTest, SettingsComeFromThePortalAndFollowItsChanges)
{
    StartPortal([](FakePortal& portal) {
        portal.values[kAppearance][QStringLiteral("color-scheme")] = QVariant::fromValue(1u);
        // The older GNOME key disagrees: the portal's own one counts.
        portal.values[kInterface][QStringLiteral("color-scheme")] = QStringLiteral("prefer-light");
        portal.values[kInterface][QStringLiteral("font-name")] = QStringLiteral("Cantarell 11");
        portal.values[kWm][QStringLiteral("button-layout")] = QStringLiteral("close,minimize:");
    });
    platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(10000));
    EXPECT_EQ(settings.Current(), (TitleBarSettings{true, true, QStringLiteral("close,minimize:")}));

    Changes changed(settings);
    Emit(kWm, QStringLiteral("button-layout"), QStringLiteral(":minimize,close"));
    ASSERT_TRUE(changed.Wait());
    EXPECT_EQ(settings.Current().buttonLayout, QStringLiteral(":minimize,close"));
    Emit(kAppearance, QStringLiteral("color-scheme"), QVariant::fromValue(2u));
    ASSERT_TRUE(changed.Wait());
    EXPECT_FALSE(settings.Current().dark);
    // A value of the wrong type, and a key the bar does not use, change nothing.
    Emit(kAppearance, QStringLiteral("color-scheme"), QStringLiteral("dark"));
    Emit(kInterface, QStringLiteral("clock-format"), QStringLiteral("24h"));
    Emit(kAppearance, QStringLiteral("color-scheme"), QVariant::fromValue(1u));
    ASSERT_TRUE(changed.Wait());
    EXPECT_EQ(changed.Count(), 3) << "only the changes that matter are told";
    EXPECT_TRUE(settings.Current().dark);
}

TEST_F(PortalTest, GnomesOwnKeyServesWhereThePortalHasNoAppearance)
{
    StartPortal([](FakePortal& portal) {
        portal.values[kInterface][QStringLiteral("color-scheme")] = QStringLiteral("prefer-dark");
    });
    platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(10000));
    EXPECT_EQ(settings.Current(), (TitleBarSettings{true, true, QStringLiteral("appmenu:close")}));
}

TEST_F(PortalTest, WithoutAPortalOrWithANonsensicalAnswerTheDefaultsHold)
{
    {
        platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(10000));
        EXPECT_EQ(settings.Current(), TitleBarSettings{true});
    }
    FakePortal& portal = StartPortal([](FakePortal& portal) { portal.wrongShape = true; });
    platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(10000));
    EXPECT_EQ(settings.Current(), TitleBarSettings{true});
    EXPECT_EQ(portal.asked, 1);
}

// A portal that does not answer in time costs the start no more than the
// patience; its answer is taken when it comes.
TEST_F(PortalTest, ASlowPortalIsWaitedForBrieflyAndItsLateAnswerTaken)
{
    FakePortal& portal = StartPortal([](FakePortal& portal) {
        portal.holdFirst = true;
        portal.values[kAppearance][QStringLiteral("color-scheme")] = QVariant::fromValue(1u);
    });
    QElapsedTimer took;
    took.start();
    platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(100));
    // The bound is for a hang: the patience is a tenth of a second.
    EXPECT_LT(took.elapsed(), 20000);
    EXPECT_FALSE(settings.Current().dark) << "the defaults until the answer comes";
    Changes changed(settings);
    ASSERT_TRUE(changed.Wait()) << "the second question's answer";
    EXPECT_TRUE(settings.Current().dark);
    EXPECT_EQ(portal.asked, 2);
}

TEST_F(PortalTest, APortalThatNeverAnswersLeavesTheDefaults)
{
    StartPortal([](FakePortal& portal) { portal.silent = true; });
    QElapsedTimer took;
    took.start();
    platform::PortalTitleBarSettings settings(*m_program, true, std::chrono::milliseconds(100));
    EXPECT_LT(took.elapsed(), 20000);
    EXPECT_EQ(settings.Current(), TitleBarSettings{true});
}

#include "caption_styles_test.moc"
