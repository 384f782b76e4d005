// The menu commands and auxiliary messages of the main window: the sound
// switch and its check mark, Exit, the About box from the menu and from the
// system menu, the website, F1, and the desktop's event sounds.

#include "app/GameApp.h"
#include "app/GameDlg.h"
#include "platform/DialogUnits.h"
#include "platform/Menu.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "platform/internal/CaptionBar.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimerEvent>
#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace game;

namespace {

QAction* ActionOf(QMenu* menu, unsigned id)
{
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id)
            return action;
    return nullptr;
}

// Chooses a menu item the way a click does: the File or Help menu opens
// (its update runs), then the item's action fires.
void Choose(CGameDlg& dlg, unsigned id)
{
    for (int index = 0; index < 2; ++index) {
        QMenu* popup = Popup(dlg, index);
        if (QAction* action = ActionOf(popup, id)) {
            Q_EMIT popup->aboutToShow();
            ASSERT_TRUE(action->isEnabled());
            action->trigger();
            return;
        }
    }
    FAIL() << "no menu item " << id;
}

void StartGame(CGameDlg& dlg)
{
    Choose(dlg, ID_FILE_STARTGAME);
    dlg.OnTimer(1);
    dlg.OnTimer(1);
    ASSERT_EQ(dlg.m_nFieldReady, kMarker);
}

class MenusTest : public MainWindowFixture<> {
protected:
    void SetUp() override
    {
        platform::SetAppHelp(&CGameApp::OnHelp);
        MainWindowFixture::SetUp();
        modal.messages.clear();
        modal.types.clear();
        modal.dialogs.clear();
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        platform::SetAppHelp({});
        platform::SetShellOpener({});
    }

    bool SoundChecked() { return platform::IsMenuItemChecked(Popup(dlg, 0), ID_FILE_PLAYSOUND); }
};

} // namespace

TEST_F(MenusTest, PlaySoundSwitchesTheSoundAndItsCheckMark)
{
    StartGame(dlg);
    Q_EMIT Popup(dlg, 0)->aboutToShow();
    EXPECT_TRUE(SoundChecked());

    Choose(dlg, ID_FILE_PLAYSOUND);
    EXPECT_EQ(dlg.m_bSound, 0);
    Q_EMIT Popup(dlg, 0)->aboutToShow();
    EXPECT_FALSE(SoundChecked());
    EatOnNextTick(dlg);
    EXPECT_TRUE(sound.beeps.empty());

    Choose(dlg, ID_FILE_PLAYSOUND);
    EXPECT_EQ(dlg.m_bSound, 1);
    Q_EMIT Popup(dlg, 0)->aboutToShow();
    EXPECT_TRUE(SoundChecked());
    EatOnNextTick(dlg);
    EXPECT_EQ(sound.beeps, std::vector<unsigned>{platform::MB_ICONEXCLAMATION});
}

TEST_F(MenusTest, TheCheckMarkIsReadFromTheSwitchWheneverFileOpens)
{
    QMenu* file = Popup(dlg, 0);
    for (std::uint8_t on : {0, 1, 0, 0, 1}) {
        dlg.m_bSound = on;
        Q_EMIT file->aboutToShow();
        EXPECT_EQ(SoundChecked(), on == 1) << int(on);
    }
    // The update never disables an item.
    for (QMenu* popup : {Popup(dlg, 0), Popup(dlg, 1)}) {
        Q_EMIT popup->aboutToShow();
        for (QAction* action : popup->actions())
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
}

TEST_F(MenusTest, TheUpdateSkipsSeparatorsAndNeverChecksASubMenuEntry)
{
    // A popup with a separator, an entry opening a sub-menu whose first item
    // is the sound switch, and the switch itself.
    QMenu popup;
    QMenu sub;
    platform::AppendMenu(&sub, platform::MF_STRING, ID_FILE_PLAYSOUND, QStringLiteral("inner"));
    popup.addSeparator();
    QAction* entry = popup.addMenu(&sub);
    platform::AppendMenu(&popup, platform::MF_STRING, ID_FILE_PLAYSOUND, QStringLiteral("switch"));
    platform::AppendMenu(&popup, platform::MF_STRING, ID_FILE_EXIT, QStringLiteral("other"));

    dlg.m_bSound = 1;
    dlg.OnInitMenuPopup(&popup, 0, false);
    EXPECT_TRUE(platform::IsMenuItemChecked(&popup, ID_FILE_PLAYSOUND));
    EXPECT_FALSE(entry->isChecked());
    EXPECT_FALSE(ActionOf(&popup, ID_FILE_EXIT)->isChecked());
    EXPECT_FALSE(platform::IsMenuItemChecked(&sub, ID_FILE_PLAYSOUND));

    dlg.m_bSound = 0;
    dlg.OnInitMenuPopup(&popup, 0, false);
    EXPECT_FALSE(platform::IsMenuItemChecked(&popup, ID_FILE_PLAYSOUND));
}

TEST_F(MenusTest, AboutFromTheHelpMenuAndFromTheSystemMenuIsTheSameBox)
{
    std::vector<QPointer<QWidget>> windows;
    modal.onDialog = [&](platform::Dialog& d) {
        windows.emplace_back(d.Window());
        EXPECT_EQ(d.Window()->windowTitle(), QStringLiteral("Info about Quillware Coilrunner"));
        bool version = false;
        for (QLabel* label : d.Client()->findChildren<QLabel*>())
            version |= label->text() == QStringLiteral("Quillware Coilrunner Version 2.3");
        EXPECT_TRUE(version);
        d.SendCommand(IDOK);
        return d.Result();
    };

    Choose(dlg, ID_HELP_ABOUT);
    QMenu* sys = dlg.GetSystemMenu();
    ActionOf(sys, IDM_ABOUTBOX)->trigger();
    // The system command may carry flags in its low four bits.
    dlg.OnSysCommand(IDM_ABOUTBOX | 0x3u, 0);
    Choose(dlg, ID_HELP_ABOUT);

    EXPECT_EQ(modal.dialogs, (std::vector<int>{IDD_ABOUTBOX, IDD_ABOUTBOX, IDD_ABOUTBOX, IDD_ABOUTBOX}));
    // Each request had a box of its own, gone when its handler returned.
    for (const QPointer<QWidget>& window : windows)
        EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(MenusTest, TheAboutBoxHasEveryControlInPlace)
{
    modal.onDialog = [](platform::Dialog& d) {
        EXPECT_EQ(d.Client()->size(), QSize(353, 89));
        // Template order; pixels are dialog units x 1.5 and x 1.625, edges rounded.
        const struct { const char* kind; QRect px; } expected[] = {
            {"QLabel", QRect(17, 28, 30, 32)},     // the icon
            {"QLabel", QRect(60, 16, 179, 13)},    // name and version
            {"QLabel", QRect(60, 65, 179, 13)},    // second credits line
            {"QPushButton", QRect(267, 11, 75, 23)},
            {"QLabel", QRect(60, 36, 177, 14)},    // credits line
        };
        const QList<QWidget*> widgets = d.Client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        EXPECT_GE(widgets.size(), static_cast<qsizetype>(std::size(expected)));
        if (widgets.size() < static_cast<qsizetype>(std::size(expected)))
            return d.Result();
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            QWidget* w = widgets[static_cast<qsizetype>(i)];
            EXPECT_TRUE(w->inherits(expected[i].kind)) << i;
            EXPECT_EQ(w->geometry(), expected[i].px) << i;
        }
        EXPECT_FALSE(qobject_cast<QLabel*>(widgets[0])->pixmap().isNull());
        EXPECT_EQ(qobject_cast<QLabel*>(widgets[1])->text(), QStringLiteral("Quillware Coilrunner Version 2.3"));
        EXPECT_FALSE(qobject_cast<QLabel*>(widgets[2])->text().isEmpty());
        EXPECT_FALSE(qobject_cast<QLabel*>(widgets[4])->text().isEmpty());
        d.SendCommand(IDOK);
        return d.Result();
    };
    Choose(dlg, ID_HELP_ABOUT);
    EXPECT_EQ(modal.dialogs, std::vector<int>{IDD_ABOUTBOX});
}

TEST_F(MenusTest, OtherSystemCommandsActAsTheDesktopDefines)
{
    dlg.Window()->show();
    QMenu* sys = dlg.GetSystemMenu();
    ActionOf(sys, platform::SC_MINIMIZE)->trigger();
    EXPECT_TRUE(dlg.Window()->isMinimized());
    EXPECT_TRUE(modal.dialogs.empty());

    dlg.Window()->showNormal();
    ActionOf(sys, platform::SC_CLOSE)->trigger();
    EXPECT_EQ(dlg.Result(), IDCANCEL);
}

TEST_F(MenusTest, ARightClickOpensTheSystemMenu)
{
    dlg.Window()->show();
    QMenu* sys = dlg.GetSystemMenu();
    ASSERT_NE(ActionOf(sys, IDM_ABOUTBOX), nullptr);
    EXPECT_EQ(ActionOf(sys, IDM_ABOUTBOX)->text(), QStringLiteral("Inf&o about Coilrunner..."));
    // Wherever the click lands: the title screen, a button, the play area
    // during a game (the event goes up from the widget under the pointer).
    const auto rightClick = [&](QWidget* target) {
        SCOPED_TRACE(target->metaObject()->className());
        const QPoint at(target->width() / 2, target->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &event);
        EXPECT_TRUE(sys->isVisible());
        sys->hide();
    };
    rightClick(dlg.Client()->childAt(platform::DluRectToPx(11, 56, 149, 17).center()));
    rightClick(dlg.GetDlgItem(IDC_START));
    StartGame(dlg);
    rightClick(dlg.m_playArea.Window());
}

TEST_F(MenusTest, TheWindowMenuOpensFromTheKeyboard)
{
    dlg.Window()->show();
    QMenu* sys = dlg.GetSystemMenu();
    const struct { Qt::Key key; Qt::KeyboardModifiers modifiers; const char* name; } keys[] = {
        {Qt::Key_Menu, Qt::NoModifier, "the context-menu key"},
        {Qt::Key_F10, Qt::ShiftModifier, "Shift+F10"},
    };
    // Pressed with the focus on the window, on a button, and on the play
    // area during a game: the key goes up to the window.
    const auto press = [&](QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(target, &event);
    };
    for (bool during : {false, true}) {
        if (during)
            StartGame(dlg);
        std::vector<QWidget*> targets{dlg.Window(), dlg.GetDlgItem(IDC_START)};
        if (during)
            targets.push_back(dlg.m_playArea.Window());
        for (QWidget* target : targets)
            for (const auto& k : keys) {
                SCOPED_TRACE(std::string(k.name) + " on a " + target->metaObject()->className());
                press(target, k.key, k.modifiers);
                ASSERT_TRUE(sys->isVisible());
                // Ready for the arrows and Return: the first item is lit.
                EXPECT_EQ(sys->activeAction(), sys->actions().constFirst());
                sys->hide();
            }
    }
    // The game goes on meanwhile; and a steering key is still a steering key.
    EXPECT_EQ(dlg.m_nFieldReady, kMarker);
    press(dlg.m_playArea.Window(), Qt::Key_Q, Qt::NoModifier);
    EXPECT_EQ(dlg.m_playArea.m_nDirection, DIR_UP);
    EXPECT_FALSE(sys->isVisible());

    // Under the window manager's caption bar, Alt+Space is the window
    // manager's: the game's own menu stays shut.
    ASSERT_FALSE(platform::DrawsOwnCaption());
    press(dlg.Window(), Qt::Key_Space, Qt::AltModifier);
    EXPECT_FALSE(sys->isVisible());
    // The other modifiers make other keys.
    press(dlg.Window(), Qt::Key_F10, Qt::NoModifier);
    press(dlg.Window(), Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(sys->isVisible());
}

TEST_F(MenusTest, F1GreetsBeforeTheHelp)
{
    for (bool during : {false, true}) {
        SCOPED_TRACE(during);
        if (during)
            StartGame(dlg);
        modal.messages.clear();
        modal.types.clear();
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.Window(), &f1);

        ASSERT_EQ(modal.messages.size(), 2u);
        EXPECT_EQ(modal.messages[0], QStringLiteral("Tach!"));
        EXPECT_EQ(modal.types[0], platform::MB_OK);
        // Our own help: the controls and the rules.
        const QString& help = modal.messages[1];
        for (const char* needle : {"Q (up)", "A (down)", "N (left)", "M (right)", "Up, Down, Left and Right", "wall"})
            EXPECT_TRUE(help.contains(QString::fromLatin1(needle))) << needle;
    }
}

TEST(MenusExit, ExitDuringAGameEndsWithoutGameOverAndWritesNothing)
{
    ScratchFolder folder;
    ScriptedModal modal;
    RecordingSound sound;
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    int ticksAfterExit = -1;

    modal.onDialog = [&](platform::Dialog& d) {
        EXPECT_EQ(d.Template().id, IDD_GAME_DIALOG);
        StartGame(dlg);
        EatOnNextTick(dlg);
        // The head one pixel before the wall: the next tick would end the game.
        dlg.m_nHeadX = kFieldRight;
        Choose(dlg, ID_FILE_EXIT);
        EXPECT_EQ(d.Result(), IDOK);

        // A timer message that was already due when Exit came reaches no tick.
        const int scoreAtExit = dlg.m_nScore;
        const int headAtExit = dlg.m_nHeadX;
        ticksAfterExit = 0;
        for (const auto& timer : QAbstractEventDispatcher::instance()->registeredTimers(d.Window())) {
            QTimerEvent event(timer.timerId);
            QCoreApplication::sendEvent(d.Window(), &event);
            ++ticksAfterExit;
        }
        EXPECT_EQ(dlg.m_nHeadX, headAtExit);
        EXPECT_EQ(dlg.m_nScore, scoreAtExit);
        return d.Result();
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    platform::SetMainDialog(nullptr);

    EXPECT_EQ(ticksAfterExit, 1);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(modal.dialogs, std::vector<int>{IDD_GAME_DIALOG});
    EXPECT_EQ(dlg.Window(), nullptr);
    EXPECT_FALSE(folder.Exists());
}

TEST_F(MenusTest, ExitWithTextInTheScoreBoxAsksForAnIntegerAndStaysOpen)
{
    for (const char* text : {"abc", "12x", "", "99999999999"}) {
        SCOPED_TRACE(text);
        modal.messages.clear();
        TypeInto(dlg, IDC_SCORE, QString::fromLatin1(text));
        Choose(dlg, ID_FILE_EXIT);
        EXPECT_EQ(modal.messages, std::vector<QString>{QStringLiteral("Please enter an integer.")});
        ASSERT_NE(dlg.Window(), nullptr);
        EXPECT_EQ(dlg.Result(), 0);
    }
    // A whole number is read back and the window ends.
    modal.messages.clear();
    TypeInto(dlg, IDC_SCORE, QStringLiteral(" 40 "));
    Choose(dlg, ID_FILE_EXIT);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(dlg.m_nScore, 40);
    EXPECT_EQ(dlg.Result(), IDOK);
}

TEST_F(MenusTest, TheWebsiteOpensInTheBrowserAndAFailureIsNotReported)
{
    for (bool opens : {true, false}) {
        std::vector<QString> opened;
        platform::SetShellOpener([&](const QString& address) {
            opened.push_back(address);
            return opens;
        });
        Choose(dlg, ID_HELP_WEBSITE);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_TRUE(opened[0].startsWith(QStringLiteral("https://"))) << opened[0].toStdString();
        EXPECT_TRUE(modal.messages.empty());
        EXPECT_TRUE(modal.dialogs.empty());
    }
}

TEST_F(MenusTest, TheDesktopOpenerPrintsNothingWhenItCannotOpen)
{
    // Only where no browser can be reached.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
        GTEST_SKIP() << "needs the offscreen platform";
    ::testing::internal::CaptureStderr();
    const bool opened = platform::ShellOpen(QStringLiteral("https://www.example.com/"));
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened);
    EXPECT_EQ(printed, "");
}

TEST_F(MenusTest, EveryCommandWorksDuringAGameAndBetweenGames)
{
    modal.onDialog = [](platform::Dialog& d) {
        d.SendCommand(IDCANCEL);
        return d.Result();
    };
    std::vector<QString> opened;
    platform::SetShellOpener([&](const QString& address) {
        opened.push_back(address);
        return true;
    });

    for (bool during : {false, true}) {
        SCOPED_TRACE(during);
        if (during)
            StartGame(dlg);
        const struct { unsigned id; std::vector<int> dialogs; } cases[] = {
            {ID_FILE_HIGHSCORES, {IDD_HIGHSCORES}},
            {ID_FILE_SETTINGS, {IDD_SETTINGS}},
            {ID_HELP_ABOUT, {IDD_ABOUTBOX}},
            {ID_HELP_WEBSITE, {}},
            {ID_FILE_PLAYSOUND, {}},
            {ID_FILE_PLAYSOUND, {}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.id);
            modal.dialogs.clear();
            const int headX = dlg.m_nHeadX;
            Choose(dlg, c.id);
            EXPECT_EQ(modal.dialogs, c.dialogs);
            if (during) {
                // The game goes on.
                EXPECT_EQ(dlg.m_nFieldReady, kMarker);
                EXPECT_EQ(dlg.TimerPeriod(1), dlg.m_nInterval);
                dlg.OnTimer(1);
                EXPECT_EQ(dlg.m_nHeadX, headX + 1);
            }
        }
        EXPECT_EQ(dlg.m_bSound, 1);
        EXPECT_TRUE(modal.messages.empty());
    }
    EXPECT_EQ(opened.size(), 2u);

    // "Start game" between games starts one; during a game it does nothing.
    const int headX = dlg.m_nHeadX;
    Choose(dlg, ID_FILE_STARTGAME);
    EXPECT_EQ(dlg.m_nHeadX, headX);
    EXPECT_EQ(dlg.m_nFieldReady, kMarker);
}

TEST_F(MenusTest, TheWindowIconIsTheApplicationIcon)
{
    // Minimised, the desktop shows the window's icon.
    EXPECT_FALSE(dlg.m_hIcon.isNull());
    EXPECT_EQ(dlg.Window()->windowIcon().cacheKey(), dlg.m_hIcon.cacheKey());
    EXPECT_EQ(dlg.m_hIcon.pixmap(32, 32).size(), QSize(32, 32));
}

TEST(DesktopSound, MessageBoxTypesPlayTheThemesEventSounds)
{
    const struct { unsigned type; const char* name; } cases[] = {
        {platform::MB_ICONASTERISK, "dialog-information"},
        {platform::MB_ICONEXCLAMATION, "dialog-warning"},
        {platform::MB_ICONHAND, "dialog-error"},
        {platform::MB_OK, "bell"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(platform::EventSoundName(c.type), c.name) << c.type;
    // The plain beep is the window system's bell.
    EXPECT_EQ(platform::EventSoundName(0xFFFFFFFFu), nullptr);
}

TEST(DesktopSound, PlaysSilentlyWithoutASoundDevice)
{
    // The test machine has no sound device or server: every sound is
    // handed on without a word on the terminal.
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 3; ++round)
        for (unsigned type : {unsigned{platform::MB_ICONASTERISK}, unsigned{platform::MB_ICONEXCLAMATION},
                              unsigned{platform::MB_ICONHAND}, unsigned{platform::MB_OK}, 0xFFFFFFFFu})
            platform::MessageBeep(type);
    const bool drained = platform::WaitForDesktopSounds(std::chrono::seconds(20));
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(drained);
    EXPECT_EQ(printed, "");
}
