// Return and Escape in every window, as the templates set their default
// buttons: the main window has none, so Return away from a push button ends
// it through OK (the score box read back first) as Escape ends it through
// Cancel; a push button with the focus is pressed by Return; in a dialog
// with a default push button Return presses that button.

#include "app/GameDlg.h"
#include "highscores/HighScoreDlg.h"
#include "platform/Modal.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;
using namespace game;

namespace {

// Shows a window and waits until it is the active window (the bound is for
// a hang only).
void ShowActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    const QDeadlineTimer deadline(10000);
    while (QApplication::activeWindow() != window && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(QApplication::activeWindow(), window);
}

void FocusOn(QWidget* widget)
{
    widget->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(widget->hasFocus());
}

// A key as the keyboard gives it: to the focus widget, on to its parents
// while nobody takes it.
void Press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != window)
        target = window;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

QPushButton* ButtonOf(platform::Dialog& d, int id) { return qobject_cast<QPushButton*>(d.GetDlgItem(id)); }

std::vector<int> DefaultButtons(platform::Dialog& d)
{
    std::vector<int> ids;
    for (const platform::ControlTemplate& c : d.Template().controls)
        if (QPushButton* button = ButtonOf(d, c.id); button && button->isDefault())
            ids.push_back(c.id);
    return ids;
}

class MainWindowKeysTest : public MainWindowFixture<> {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ShowActive(dlg.Window());
        modal.messages.clear();
    }

    void StartGame()
    {
        ButtonOf(dlg, IDC_START)->click();
        dlg.OnTimer(1);
        ASSERT_EQ(dlg.m_nFieldReady, kMarker);
        // The keys steer: the play area holds the focus.
        ASSERT_TRUE(dlg.m_playArea.Window()->hasFocus());
    }
};

} // namespace

TEST_F(MainWindowKeysTest, NoButtonIsTheDefaultUnlessItHoldsTheFocus)
{
    FocusOn(dlg.GetDlgItem(IDC_SCORE));
    EXPECT_TRUE(DefaultButtons(dlg).empty());
    FocusOn(ButtonOf(dlg, IDC_LEFT));
    EXPECT_EQ(DefaultButtons(dlg), std::vector<int>{IDC_LEFT});
    FocusOn(ButtonOf(dlg, IDC_START));
    EXPECT_EQ(DefaultButtons(dlg), std::vector<int>{IDC_START});
    FocusOn(dlg.GetDlgItem(IDC_SCORE));
    EXPECT_TRUE(DefaultButtons(dlg).empty());
}

TEST_F(MainWindowKeysTest, TheFocusMovingBetweenButtonsLeavesAMessageBoxsButtonAlone)
{
    // A message box the window owns is one of its children: the rule that
    // moves the default with the focus must not take the box's OK button
    // for one of the window's own buttons (it read past the end of that
    // button, and cleared its default).
    const std::unique_ptr<QMessageBox> box =
        platform::MakeMessageBox(dlg.Window(), QStringLiteral("Game over!   Score: 0"), platform::MB_OK);
    auto* ok = qobject_cast<QPushButton*>(box->button(QMessageBox::Ok));
    ASSERT_NE(ok, nullptr);
    box->setDefaultButton(ok);
    ASSERT_TRUE(ok->isDefault());

    for (QWidget* focus : {dlg.GetDlgItem(IDC_LEFT), dlg.GetDlgItem(IDC_START), dlg.GetDlgItem(IDC_SCORE)}) {
        FocusOn(focus);
        EXPECT_TRUE(ok->isDefault()) << "focus on " << focus->accessibleName().toStdString();
    }
    EXPECT_TRUE(DefaultButtons(dlg).empty());
}

TEST_F(MainWindowKeysTest, ReturnInTheScoreBoxEndsTheWindowThroughOK)
{
    // Text that is not a whole number: the message, and the window stays.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        modal.messages.clear();
        TypeInto(dlg, IDC_SCORE, QStringLiteral("12x"));
        FocusOn(dlg.GetDlgItem(IDC_SCORE));
        Press(dlg.Window(), key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(modal.messages, std::vector<QString>{QStringLiteral("Please enter an integer.")});
        EXPECT_EQ(dlg.Result(), 0);
        EXPECT_TRUE(dlg.Window()->isVisible());
        EXPECT_EQ(dlg.m_nFieldReady, 0) << "no game started";
        EXPECT_EQ(dlg.TimerPeriod(1), -1);
        // The box has the focus back, its text selected for retyping.
        EXPECT_TRUE(dlg.GetDlgItem(IDC_SCORE)->hasFocus());
    }

    // A whole number is read back, and the window ends with OK.
    modal.messages.clear();
    TypeInto(dlg, IDC_SCORE, QStringLiteral("70"));
    Press(dlg.Window(), Qt::Key_Return);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(dlg.m_nScore, 70);
    EXPECT_EQ(dlg.Result(), IDOK);
    EXPECT_FALSE(dlg.Window()->isVisible());
    EXPECT_EQ(dlg.m_nFieldReady, 0);
    EXPECT_FALSE(folder.Exists()) << "nothing is saved";
}

TEST_F(MainWindowKeysTest, EscapeEndsTheWindowThroughCancelWhereverTheFocusIs)
{
    for (int id : {IDC_SCORE, IDC_START, IDC_UP}) {
        SCOPED_TRACE(id);
        ShowActive(dlg.Window());
        FocusOn(dlg.GetDlgItem(id));
        Press(dlg.Window(), Qt::Key_Escape);
        EXPECT_EQ(dlg.Result(), IDCANCEL);
        EXPECT_FALSE(dlg.Window()->isVisible());
        EXPECT_EQ(dlg.m_nFieldReady, 0);
    }
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(MainWindowKeysTest, ReturnPressesThePushButtonThatHoldsTheFocus)
{
    FocusOn(ButtonOf(dlg, IDC_UP));
    Press(dlg.Window(), Qt::Key_Return);
    EXPECT_EQ(dlg.m_nRequestedDir, DIR_UP);
    EXPECT_EQ(dlg.Result(), 0);

    FocusOn(ButtonOf(dlg, IDC_START));
    Press(dlg.Window(), Qt::Key_Return);
    EXPECT_EQ(dlg.TimerPeriod(1), 30) << "Start! pressed";
    EXPECT_EQ(dlg.Result(), 0);
    EXPECT_TRUE(dlg.Window()->isVisible());
    EXPECT_TRUE(modal.messages.empty());
}

TEST_F(MainWindowKeysTest, ReturnAndEscapeInThePlayAreaDuringAGameEndTheWindow)
{
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        SCOPED_TRACE(key);
        ShowActive(dlg.Window());
        StartGame();
        EXPECT_TRUE(DefaultButtons(dlg).empty()) << "Start! is not the default after it was clicked";
        Press(dlg.Window(), key);
        EXPECT_EQ(dlg.Result(), key == Qt::Key_Return ? IDOK : IDCANCEL);
        EXPECT_FALSE(dlg.Window()->isVisible());
        // The game simply stops with the window: no game over, nothing saved.
        EXPECT_EQ(dlg.m_nScore, 0);
        EXPECT_TRUE(modal.messages.empty());
        EXPECT_TRUE(modal.dialogs.empty());
        EXPECT_FALSE(folder.Exists());

        // Ready for the next round.
        dlg.m_playArea.DestroyWindow();
        dlg.DestroyWindow();
        ASSERT_TRUE(dlg.Create());
    }
}

namespace {

// Every dialog with a default push button: where the focus is when Return
// comes, and the command Return must give.
struct DialogCase {
    const char* name;
    unsigned command;            // the main window's command that opens it
    int dialog;
    std::function<void(platform::Dialog&)> focus;
    int expectedDefault;
};

class DialogKeysTest : public MainWindowFixture<> {};

} // namespace

TEST_F(DialogKeysTest, ReturnPressesTheTemplatesDefaultButton)
{
    const DialogCase cases[] = {
        {"settings, focus on a colour", ID_FILE_SETTINGS, IDD_SETTINGS,
         [](platform::Dialog& d) {
             auto* blue = qobject_cast<QRadioButton*>(d.GetDlgItem(IDC_COLOR_BLUE));
             blue->click();
             FocusOn(blue);
         },
         IDOK},
        {"settings as it opens", ID_FILE_SETTINGS, IDD_SETTINGS, [](platform::Dialog&) {}, IDOK},
        {"list", ID_FILE_HIGHSCORES, IDD_HIGHSCORES, [](platform::Dialog&) {}, IDC_HS_OK},
        {"About", ID_HELP_ABOUT, IDD_ABOUTBOX, [](platform::Dialog&) {}, IDOK},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(c.name);
        int result = -1;
        std::vector<int> defaults;
        modal.onDialog = [&](platform::Dialog& d) {
            EXPECT_EQ(d.Template().id, c.dialog);
            ShowActive(d.Window());
            c.focus(d);
            defaults = DefaultButtons(d);
            Press(d.Window(), Qt::Key_Return);
            result = d.Result();
            return d.Result();
        };
        dlg.SendCommand(static_cast<int>(c.command));
        EXPECT_EQ(defaults, std::vector<int>{c.expectedDefault});
        EXPECT_EQ(result, IDOK);
    }
}

TEST_F(DialogKeysTest, ReturnOnAFocusedCancelButtonCancelsAndEscapeCancels)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        int result = -1;
        std::vector<int> defaults;
        modal.onDialog = [&](platform::Dialog& d) {
            ShowActive(d.Window());
            FocusOn(d.GetDlgItem(IDCANCEL));
            defaults = DefaultButtons(d);
            Press(d.Window(), key);
            result = d.Result();
            return d.Result();
        };
        dlg.SendCommand(ID_FILE_SETTINGS);
        // While Cancel holds the focus it is the default, OK is not.
        EXPECT_EQ(defaults, std::vector<int>{IDCANCEL});
        EXPECT_EQ(result, IDCANCEL);
    }
}

TEST_F(DialogKeysTest, ReturnInTheNameBoxConfirmsTheName)
{
    CHighScoreDlg& table = dlg.m_highScores;
    std::vector<int> defaults;
    modal.onDialog = [&](platform::Dialog& d) {
        if (d.Template().id != IDD_NEWHIGHSCORE) {
            d.SendCommand(IDCANCEL);
            return d.Result();
        }
        ShowActive(d.Window());
        // The name box has the focus as the dialog opens.
        EXPECT_TRUE(d.GetDlgItem(IDC_PLAYER_NAME)->hasFocus());
        defaults = DefaultButtons(d);
        qobject_cast<QLineEdit*>(d.GetDlgItem(IDC_PLAYER_NAME))->insert(QStringLiteral("Kim"));
        Press(d.Window(), Qt::Key_Return);
        EXPECT_EQ(d.Result(), IDOK);
        return d.Result();
    };
    table.InsertScore(1000);
    EXPECT_EQ(defaults, std::vector<int>{IDOK});
    EXPECT_EQ(table.m_names[0], "Kim");
}
