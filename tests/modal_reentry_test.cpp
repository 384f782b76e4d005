// A game that ends while a box opened from the menu is up: the ticks keep
// coming inside the box's modal loop, and the game over that one of them
// runs must go through its sequence once, without showing the list twice,
// and leave a program that starts the next game.

#include "app/GameDlg.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;

namespace {

enum class Box { Settings, About, MenuList, Tach };

struct ReentryCase {
    const char* label;
    Box box;
    bool qualifies;   // whether the final score (0) enters the table
};

void PrintTo(const ReentryCase& c, std::ostream* os) { *os << c.label; }

int TemplateOf(Box box)
{
    switch (box) {
    case Box::Settings: return IDD_SETTINGS;
    case Box::About: return IDD_ABOUTBOX;
    case Box::MenuList: return IDD_HIGHSCORES;
    case Box::Tach: return 0;
    }
    return 0;
}

class ModalReentryTest : public MainWindowFixture<::testing::TestWithParam<ReentryCase>> {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_EQ(dlg.m_highScores.m_scores.size(), 10u);
    }

    int Count(const QString& prefix) const
    {
        int n = 0;
        for (const QString& text : modal.messages)
            n += text.startsWith(prefix) ? 1 : 0;
        return n;
    }
    int GameOvers() const { return Count(QStringLiteral("Game over!")); }
    int Shown(int templateId) const
    {
        return static_cast<int>(std::count(modal.dialogs.begin(), modal.dialogs.end(), templateId));
    }

    // The timer's work while the box is up: ticks until the game is over.
    void TickInsideTheBox()
    {
        if (ticking)
            return;
        ticking = true;
        for (int n = 0; n < 2000 && GameOvers() == 0; ++n)
            dlg.OnTimer(1);
        ASSERT_EQ(GameOvers(), 1) << "the game did not end inside the box";
        // The game over stopped the clock; the box is still up.
        EXPECT_EQ(dlg.TimerPeriod(1), -1);
        ticksInside = true;
    }

    bool ticking = false;
    bool ticksInside = false;
};

} // namespace

TEST_P(ModalReentryTest, GameOverInsideTheBoxRunsOnceAndLeavesTheProgramUsable)
{
    const ReentryCase& c = GetParam();
    // With 0 at rank 10, the final score of 0 is admitted there.
    if (c.qualifies)
        dlg.m_highScores.m_scores[9] = 0;

    const int boxTemplate = TemplateOf(c.box);
    QString listNameAfterGameOver;
    modal.onDialog = [&](platform::Dialog& dialog) {
        const int id = dialog.Template().id;
        if (id == IDD_NEWHIGHSCORE) {
            TypeInto(dialog, IDC_PLAYER_NAME, QStringLiteral("Reentrant"));
            dialog.SendCommand(platform::IDOK);
        } else if (id == boxTemplate && !ticking) {
            TickInsideTheBox();
            if (id == IDD_HIGHSCORES)
                listNameAfterGameOver = TextOf(dialog, IDC_HS_NAME10);
            dialog.SendCommand(platform::IDCANCEL);
        } else {
            dialog.SendCommand(id == IDD_HIGHSCORES ? IDC_HS_OK : platform::IDCANCEL);
        }
        return dialog.Result();
    };
    modal.onMessage = [&](const QString& text) {
        if (c.box == Box::Tach && text == QStringLiteral("Tach!"))
            TickInsideTheBox();
    };

    dlg.OnStart();
    for (int n = 0; n < 20; ++n)
        dlg.OnTimer(1);
    ASSERT_EQ(GameOvers(), 0);

    switch (c.box) {
    case Box::Settings: dlg.SendCommand(ID_FILE_SETTINGS); break;
    case Box::About: dlg.SendCommand(ID_HELP_ABOUT); break;
    case Box::MenuList: dlg.SendCommand(ID_FILE_HIGHSCORES); break;
    case Box::Tach: dlg.OnHelpInfo(); break;
    }
    ASSERT_TRUE(ticksInside);

    // One sequence: one message, one name asked for an admitted score, and
    // the list at most once (the open list from the menu shows the new table).
    EXPECT_EQ(GameOvers(), 1);
    EXPECT_EQ(Shown(IDD_NEWHIGHSCORE), c.qualifies ? 1 : 0);
    EXPECT_EQ(Shown(IDD_HIGHSCORES), c.box == Box::MenuList || c.qualifies ? 1 : 0);
    if (c.box == Box::MenuList && c.qualifies) {
        EXPECT_EQ(listNameAfterGameOver, QStringLiteral("Reentrant"));
    }
    EXPECT_EQ(dlg.m_highScores.m_names[9], c.qualifies ? "Reentrant" : "Quillware");
    EXPECT_EQ(folder.Exists(), c.qualifies);

    // The reset state, and no window of the game or the boxes left open.
    EXPECT_EQ(dlg.m_nFieldReady, 0);
    EXPECT_EQ(dlg.m_nDrawLines, 0);
    EXPECT_EQ(dlg.m_nScore, 0);
    EXPECT_EQ(dlg.m_nHeadX, 131);
    EXPECT_EQ(dlg.m_nHeadY, 120);
    EXPECT_EQ(dlg.m_body.GetSize(), 93u);
    EXPECT_EQ(dlg.TimerPeriod(1), -1);
    EXPECT_EQ(dlg.m_playArea.Window(), nullptr);
    EXPECT_EQ(dlg.m_highScores.Window(), nullptr);

    // The next game starts and runs, and the box opens again.
    ticking = true;   // no more ticking from inside boxes
    dlg.OnStart();
    EXPECT_EQ(dlg.TimerPeriod(1), dlg.m_nInterval);
    EXPECT_NE(dlg.m_playArea.Window(), nullptr);
    for (int n = 0; n < 5; ++n)
        dlg.OnTimer(1);
    EXPECT_EQ(dlg.m_nHeadX, 136);
    EXPECT_EQ(dlg.m_nFieldReady, 42);
    EXPECT_EQ(GameOvers(), 1);
    if (boxTemplate != 0) {
        const int before = Shown(boxTemplate);
        dlg.SendCommand(c.box == Box::Settings ? ID_FILE_SETTINGS
                        : c.box == Box::About  ? ID_HELP_ABOUT
                                               : ID_FILE_HIGHSCORES);
        EXPECT_EQ(Shown(boxTemplate), before + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ModalReentryTest,
    ::testing::Values(ReentryCase{"Settings", Box::Settings, false}, ReentryCase{"SettingsAdmitted", Box::Settings, true},
                      ReentryCase{"About", Box::About, false}, ReentryCase{"AboutAdmitted", Box::About, true},
                      ReentryCase{"MenuList", Box::MenuList, false}, ReentryCase{"MenuListAdmitted", Box::MenuList, true},
                      ReentryCase{"Tach", Box::Tach, false}, ReentryCase{"TachAdmitted", Box::Tach, true}),
    [](const ::testing::TestParamInfo<ReentryCase>& info) { return info.param.label; });
