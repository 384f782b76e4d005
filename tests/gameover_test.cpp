// The game over: its order, the high-score hand-over, the reset, and the
// picture left standing between games.

#include "support/GameRig.h"

#include <QImage>
#include <string>
#include <vector>

using namespace testing_support;
using namespace game;

namespace {

class GameOverTest : public GameRig {
protected:
    // First tick, then `blocks` blocks eaten in a row, then the food parked.
    void PlayAndEat(int blocks)
    {
        Tick();
        for (int i = 0; i < blocks; ++i) {
            FoodInFrontOfHead();
            Tick();
        }
        ParkFood();
        ASSERT_EQ(dlg.m_nScore, 10 * blocks);
    }

    // Runs right into the wall.
    void TickUntilOver()
    {
        for (int i = 0; i < 400 && dlg.m_nFieldReady != 0; ++i)
            Tick();
        ASSERT_EQ(dlg.m_nFieldReady, 0) << "the game did not end";
    }
};

} // namespace

TEST_F(GameOverTest, AnAdmittedScoreRunsTheSequenceInOrderAndResets)
{
    PlayAndEat(1);
    // A colour scheme and sound switch of the player's: both survive the game over.
    dlg.m_nColorR = 10;
    dlg.m_nColorG = 120;
    dlg.m_nColorB = 250;
    dlg.SendCommand(ID_FILE_PLAYSOUND);
    ASSERT_EQ(dlg.m_bSound, 0);
    ASSERT_EQ(dlg.TimerPeriod(1), 29);

    std::vector<std::string> events;
    modal.onMessage = [&](const QString& text) {
        events.push_back("message " + text.toStdString() + " timer " + std::to_string(dlg.TimerPeriod(1)));
    };
    modal.onDialog = [&](platform::Dialog& d) {
        const int id = d.Template().id;
        if (id == IDD_NEWHIGHSCORE) {
            events.push_back("name timer " + std::to_string(dlg.TimerPeriod(1)));
            TypeInto(d, IDC_PLAYER_NAME, QStringLiteral("Ada"));
            d.SendCommand(IDOK);
        } else if (id == IDD_HIGHSCORES) {
            // Still the game's body and play area: they go after the list.
            events.push_back("list " + TextOf(d, IDC_HS_NAME10).toStdString() + " "
                             + TextOf(d, IDC_HS_SCORE10).toStdString() + " body "
                             + std::to_string(dlg.m_body.GetSize())
                             + (dlg.m_playArea.Window() ? " play area" : " no play area"));
            d.SendCommand(IDC_HS_OK);
        } else {
            events.push_back("dialog " + std::to_string(id));
            d.SendCommand(IDCANCEL);
        }
        return d.Result();
    };
    TickUntilOver();

    const std::vector<std::string> want = {
        "message Game over!   Score: 10 timer -1",
        "name timer -1",
        "list Ada 10 body 126 play area",
    };
    EXPECT_EQ(events, want);
    EXPECT_EQ(dlg.m_highScores.m_names[9], "Ada");
    EXPECT_EQ(dlg.m_highScores.m_scores[9], 10u);
    EXPECT_TRUE(folder.Exists()) << "the admitted score was saved";

    ExpectResetBody();
    EXPECT_EQ(dlg.m_nScore, 0);
    // The reset refreshes the controls before it zeroes the score: the box
    // shows the final score until the next game's first tick.
    EXPECT_EQ(TextOf(dlg, IDC_SCORE), "10");
    EXPECT_EQ(dlg.m_nInterval, 30);
    EXPECT_EQ(dlg.TimerPeriod(1), -1);
    EXPECT_EQ(dlg.m_playArea.Window(), nullptr);
    EXPECT_EQ(dlg.m_playArea.m_nDirection, DIR_RIGHT);
    EXPECT_EQ(dlg.m_nColorR, 10);
    EXPECT_EQ(dlg.m_nColorG, 120);
    EXPECT_EQ(dlg.m_nColorB, 250);
    EXPECT_EQ(dlg.m_bSound, 0);
    EXPECT_TRUE(sound.beeps.size() == 1) << "only the block eaten while the sound was on";

    // Ready for the next game, at the reset period.
    dlg.SendCommand(IDC_START);
    EXPECT_EQ(dlg.TimerPeriod(1), 30);
    ASSERT_NE(dlg.m_playArea.Window(), nullptr);
    Tick();
    EXPECT_EQ(TextOf(dlg, IDC_SCORE), "0");
}

TEST_F(GameOverTest, AScoreNotAdmittedShowsOnlyTheMessage)
{
    PlayAndEat(0);
    dlg.m_nInterval = 12;   // a speed picked in the settings holds until the game over
    TickUntilOver();
    EXPECT_EQ(modal.messages, std::vector<QString>{QStringLiteral("Game over!   Score: 0")});
    EXPECT_TRUE(modal.dialogs.empty()) << "no name dialog, no list";
    EXPECT_FALSE(folder.Exists());
    ExpectResetBody();
    EXPECT_EQ(dlg.m_nInterval, 30);
}

TEST_F(GameOverTest, ABodyHitEndsTheTickThere)
{
    // A reversal: the second tick after it lands on the band and ends the game.
    PlayAndEat(0);
    dlg.SendCommand(IDC_LEFT);
    Tick(2);
    ASSERT_EQ(modal.messages.size(), 1u);
    // None of the tick's later steps ran on the fresh body: no line removed,
    // no flag set.
    ExpectResetBody();
    EXPECT_EQ(dlg.m_nDrawLines, 0);
}

TEST_F(GameOverTest, TheLastPictureStaysUntilTheNextGamesFirstTick)
{
    PlayAndEat(2);
    Tick(30);
    const int headX = dlg.m_nHeadX;
    ASSERT_EQ(Pixel(headX, 120), Orange(headX));

    dlg.GameOver();
    const QImage atGameOver = dlg.Surface()->Image().copy();
    ASSERT_EQ(Pixel(headX, 120), Orange(headX));

    dlg.SendCommand(IDC_START);
    EXPECT_TRUE(dlg.Surface()->Image() == atGameOver) << "Start alone repaints nothing";

    Tick();
    EXPECT_EQ(Pixel(headX, 120), kGrey) << "the first tick paints the field again";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Pixel(dlg.m_nFoodX + i, dlg.m_nFoodY + 9), kFood) << i;
}

// The list opened from the menu does not stop the game; when the game ends
// while it is open, the open list shows the new table instead of opening a
// second time.
TEST_F(GameOverTest, AGameOverWhileTheListIsOpenUpdatesThatList)
{
    PlayAndEat(3);   // 30 points: rank 8 of the default table, 100 down to 10

    int listsOpen = 0, maxListsOpen = 0, timerWhileOpen = 0;
    std::vector<QString> shown;
    modal.onDialog = [&](platform::Dialog& d) {
        if (d.Template().id == IDD_NEWHIGHSCORE) {
            TypeInto(d, IDC_PLAYER_NAME, QStringLiteral("Bob"));
            d.SendCommand(IDOK);
            return d.Result();
        }
        if (d.Template().id != IDD_HIGHSCORES) {
            d.SendCommand(IDCANCEL);
            return d.Result();
        }
        maxListsOpen = std::max(maxListsOpen, ++listsOpen);
        EXPECT_EQ(TextOf(d, IDC_HS_SCORE8), "30");
        timerWhileOpen = dlg.TimerPeriod(1);
        // The timer keeps ticking inside the list's modal loop.
        for (int i = 0; i < 400 && dlg.m_nFieldReady != 0; ++i)
            dlg.OnTimer(1);
        for (const int id : {IDC_HS_NAME8, IDC_HS_SCORE8, IDC_HS_NAME9, IDC_HS_SCORE9, IDC_HS_SCORE10})
            shown.push_back(TextOf(d, id));
        d.SendCommand(IDC_HS_OK);
        --listsOpen;
        return d.Result();
    };
    dlg.SendCommand(ID_FILE_HIGHSCORES);

    EXPECT_EQ(timerWhileOpen, 27);
    EXPECT_EQ(modal.messages, std::vector<QString>{QStringLiteral("Game over!   Score: 30")});
    EXPECT_EQ(modal.dialogs, (std::vector<int>{IDD_HIGHSCORES, IDD_NEWHIGHSCORE}));
    EXPECT_EQ(maxListsOpen, 1);
    const std::vector<QString> want = {"Bob", "30", "Quillware", "30", "20"};
    EXPECT_EQ(shown, want);
    EXPECT_EQ(dlg.m_highScores.Window(), nullptr) << "the list closed normally";
    ExpectResetBody();
    EXPECT_EQ(dlg.TimerPeriod(1), -1);
}
