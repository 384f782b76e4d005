// The main window as it opens: its layout in pixels, the reset state, the
// start command and the steering input.

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Menu.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>
#include <vector>

using namespace testing_support;
using namespace game;

namespace {

using MainWindowTest = MainWindowFixture<>;

} // namespace

TEST_F(MainWindowTest, ClientAreaIsFixedBelowTheMenuBar)
{
    EXPECT_EQ(dlg.Client()->size(), QSize(258, 322));
    EXPECT_EQ(dlg.Client()->y(), dlg.MenuBar()->height());
    EXPECT_EQ(dlg.Window()->minimumSize(), dlg.Window()->maximumSize());
    EXPECT_EQ(dlg.Window()->windowTitle(), QStringLiteral("Quillware Coilrunner"));
    EXPECT_EQ(dlg.Surface()->Size(), QSize(258, 322));
}

TEST_F(MainWindowTest, ControlsSitAtTheirDialogUnitsInPixels)
{
    // 1.5 px per horizontal and 1.625 px per vertical unit, edges rounded.
    const struct { int id; QRect px; } cases[] = {
        {IDC_START, QRect(173, 11, 75, 23)},
        {IDC_UP, QRect(60, 11, 44, 25)},
        {IDC_DOWN, QRect(59, 47, 45, 25)},
        {IDC_LEFT, QRect(9, 28, 47, 24)},
        {IDC_RIGHT, QRect(108, 29, 50, 25)},
        {IDC_SCORE, QRect(206, 54, 42, 19)},
    };
    for (const auto& c : cases) {
        ASSERT_NE(dlg.GetDlgItem(c.id), nullptr) << c.id;
        EXPECT_EQ(dlg.GetDlgItem(c.id)->geometry(), c.px) << c.id;
    }
    auto* score = qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_SCORE));
    ASSERT_NE(score, nullptr);
    EXPECT_TRUE(score->alignment() & Qt::AlignRight);
    EXPECT_EQ(score->text(), QStringLiteral("0"));
}

TEST_F(MainWindowTest, PlayfieldLiesInsideItsFrame)
{
    // The frame is the group box at 6, 44, 159, 147 dialog units.
    QWidget* frame = nullptr;
    for (QObject* child : dlg.Client()->children())
        if (child->inherits("QGroupBox"))
            frame = static_cast<QWidget*>(child);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->geometry(), QRect(9, 72, 239, 238));
    EXPECT_TRUE(frame->geometry().contains(QRect(QPoint(kFieldLeft, kFieldTop), QPoint(kFieldRight, kFieldBottom))));
}

TEST_F(MainWindowTest, MenuBarHoldsEveryItemInOrder)
{
    ASSERT_EQ(dlg.MenuBar()->actions().size(), 2);
    EXPECT_EQ(dlg.MenuBar()->actions()[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(dlg.MenuBar()->actions()[1]->text(), QStringLiteral("&Help"));

    const unsigned file[] = {ID_FILE_STARTGAME, ID_FILE_HIGHSCORES, ID_FILE_SETTINGS, 0,
                             ID_FILE_PLAYSOUND, 0, ID_FILE_EXIT};
    QMenu* filePopup = Popup(dlg, 0);
    ASSERT_EQ(platform::GetMenuItemCount(filePopup), 7);
    for (int pos = 0; pos < 7; ++pos)
        EXPECT_EQ(platform::GetMenuItemID(filePopup, pos), file[pos]) << pos;
    EXPECT_TRUE(platform::IsMenuItemChecked(filePopup, ID_FILE_PLAYSOUND));

    QMenu* helpPopup = Popup(dlg, 1);
    ASSERT_EQ(platform::GetMenuItemCount(helpPopup), 2);
    EXPECT_EQ(platform::GetMenuItemID(helpPopup, 0), ID_HELP_WEBSITE);
    EXPECT_EQ(platform::GetMenuItemID(helpPopup, 1), ID_HELP_ABOUT);
    for (QAction* action : filePopup->actions() + helpPopup->actions())
        EXPECT_TRUE(action->isEnabled());
}

TEST_F(MainWindowTest, FirstResetBuildsTheStartState)
{
    ASSERT_EQ(dlg.m_body.GetSize(), 93u);
    for (std::size_t line = 0; line < 31; ++line) {
        EXPECT_EQ(dlg.m_body[3 * line], 100 + line);
        EXPECT_EQ(dlg.m_body[3 * line + 1], 120u);
        EXPECT_EQ(dlg.m_body[3 * line + 2], DIR_RIGHT);
    }
    EXPECT_EQ(dlg.m_nHeadX, 131);
    EXPECT_EQ(dlg.m_nHeadY, 120);
    EXPECT_EQ(dlg.m_nDir, DIR_RIGHT);
    EXPECT_EQ(dlg.m_nRequestedDir, DIR_RIGHT);
    EXPECT_EQ(dlg.m_playArea.m_nDirection, DIR_RIGHT);
    EXPECT_EQ(dlg.m_nTestedEntries, 89);
    EXPECT_EQ(dlg.m_nScore, 0);
    EXPECT_EQ(dlg.m_nInterval, 30);
    EXPECT_EQ(dlg.m_nFieldReady, 0);
    EXPECT_EQ(dlg.m_nDrawLines, 0);
    EXPECT_EQ(dlg.m_nInitMarker, 42);
    EXPECT_EQ(dlg.m_bSound, 1);
    EXPECT_EQ(std::make_tuple(dlg.m_nColorR, dlg.m_nColorG, dlg.m_nColorB), std::make_tuple(250, 5, 10));
    EXPECT_EQ(dlg.m_highScores.m_names.size(), 10u);
    EXPECT_TRUE(modal.messages.empty()) << "a missing file gives the default table silently";
    EXPECT_FALSE(folder.Exists()) << "loading never writes the file";

    // The system menu got the About entry behind a separator, once.
    QMenu* sys = dlg.GetSystemMenu();
    const int count = platform::GetMenuItemCount(sys);
    ASSERT_GE(count, 2);
    EXPECT_EQ(platform::GetMenuItemID(sys, count - 2), 0u);
    EXPECT_EQ(platform::GetMenuItemID(sys, count - 1), IDM_ABOUTBOX);
    EXPECT_EQ(sys->actions().last()->text(), QStringLiteral("Inf&o about Coilrunner..."));
    dlg.ResetGame();
    EXPECT_EQ(platform::GetMenuItemCount(sys), count);
}

TEST_F(MainWindowTest, StartCreatesThePlayAreaAndStartsTheTimer)
{
    EXPECT_EQ(dlg.m_playArea.Window(), nullptr);
    EXPECT_EQ(dlg.TimerPeriod(1), -1);
    dlg.SendCommand(IDC_START);
    ASSERT_NE(dlg.m_playArea.Window(), nullptr);
    EXPECT_FALSE(dlg.m_playArea.Window()->isHidden());
    EXPECT_EQ(dlg.m_playArea.Window()->parentWidget(), dlg.Client());
    EXPECT_EQ(dlg.m_playArea.Window()->geometry(), QRect(11, 80, 235, 227));
    EXPECT_EQ(dlg.TimerPeriod(1), 30);

    // Before the first tick Start begins again: a new window, the timer restarted.
    dlg.m_nInterval = 17;
    dlg.SendCommand(ID_FILE_STARTGAME);
    EXPECT_EQ(dlg.TimerPeriod(1), 17);
}

TEST_F(MainWindowTest, StartDuringAGameDoesNothing)
{
    dlg.SendCommand(IDC_START);
    dlg.OnTimer(1);
    ASSERT_EQ(dlg.m_nFieldReady, 42);
    QWidget* playArea = dlg.m_playArea.Window();
    dlg.m_nInterval = 12;
    dlg.SendCommand(IDC_START);
    dlg.SendCommand(ID_FILE_STARTGAME);
    EXPECT_EQ(dlg.m_playArea.Window(), playArea);
    EXPECT_EQ(dlg.TimerPeriod(1), 30);
}

TEST_F(MainWindowTest, ButtonsRequestAndCopyToThePlayArea)
{
    const struct { int id; std::uint32_t dir; } cases[] = {
        {IDC_UP, DIR_UP}, {IDC_RIGHT, DIR_RIGHT}, {IDC_DOWN, DIR_DOWN}, {IDC_LEFT, DIR_LEFT},
    };
    for (const auto& c : cases) {
        dlg.m_nTurnDelay = 0;
        dlg.m_playArea.m_nDirection = 0;
        dlg.SendCommand(c.id);
        EXPECT_EQ(dlg.m_nRequestedDir, c.dir);
        EXPECT_EQ(dlg.m_playArea.m_nDirection, c.dir);
        EXPECT_EQ(dlg.m_nTurnDelay, 10);
    }
    // The tick finds the play area agreeing with the request: nothing re-requested.
    dlg.SendCommand(IDC_START);
    dlg.SendCommand(IDC_DOWN);
    dlg.m_nTurnDelay = 7;
    dlg.OnTimer(1);
    EXPECT_EQ(dlg.m_nRequestedDir, DIR_DOWN);
}

TEST_F(MainWindowTest, SteeringKeysOnThePlayArea)
{
    dlg.SendCommand(IDC_START);
    QWidget* playArea = dlg.m_playArea.Window();
    ASSERT_NE(playArea, nullptr);
    const auto press = [&](int key, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(playArea, &event);
        return dlg.m_playArea.m_nDirection;
    };
    const struct { int key; const char* text; std::uint32_t dir; } cases[] = {
        {Qt::Key_Q, "q", DIR_UP}, {Qt::Key_A, "A", DIR_DOWN}, {Qt::Key_N, "n", DIR_LEFT},
        {Qt::Key_M, "M", DIR_RIGHT}, {Qt::Key_Q, "Q", DIR_UP}, {Qt::Key_M, "m", DIR_RIGHT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(press(c.key, QString::fromLatin1(c.text)), c.dir) << c.text;

    // Other keys leave the direction, among them keys whose Qt code happens
    // to end in the byte of a steering letter (F34 ends in 0x51, like Q).
    for (int key : {Qt::Key_X, Qt::Key_Up, Qt::Key_Space, Qt::Key_F34, Qt::Key_F18})
        EXPECT_EQ(press(key, QString()), DIR_RIGHT) << key;
    // Holding a key repeats the same request.
    press(Qt::Key_Q, QStringLiteral("q"));
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"), true);
    QApplication::sendEvent(playArea, &repeat);
    EXPECT_EQ(dlg.m_playArea.m_nDirection, DIR_UP);
}

TEST_F(MainWindowTest, SoundKindsReachTheDesktopOnlyWhenSoundIsOn)
{
    for (int kind = 0; kind <= 6; ++kind)
        dlg.PlaySoundKind(kind);
    const std::vector<unsigned> expected = {platform::MB_ICONASTERISK, platform::MB_ICONEXCLAMATION,
                                            platform::MB_ICONHAND, platform::MB_OK, 0xFFFFFFFFu};
    EXPECT_EQ(sound.beeps, expected);
    sound.beeps.clear();
    dlg.m_bSound = 0;
    dlg.PlaySoundKind(2);
    EXPECT_TRUE(sound.beeps.empty());
}
