// Window titles are the captions alone, and where the program draws the
// caption bars itself (on Wayland) they carry the title, minimise on the
// main window, close where the template has a system menu, never maximise.

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

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
