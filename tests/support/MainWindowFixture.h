#pragma once
// The main window created off-screen in a scratch folder, with its boxes
// answered by `modal` and its sounds recorded by `sound`.

#include "app/GameDlg.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

namespace testing_support {

template <class Base = ::testing::Test>
class MainWindowFixture : public Base {
protected:
    void SetUp() override
    {
        platform::SetMainDialog(&dlg);
        ASSERT_TRUE(dlg.Create());
    }
    void TearDown() override { platform::SetMainDialog(nullptr); }

    ScratchFolder folder;
    ScriptedModal modal;
    RecordingSound sound;
    CGameDlg dlg;
};

// Puts the food right in front of the head, which moves right, and ticks.
inline void EatOnNextTick(CGameDlg& dlg)
{
    ASSERT_TRUE(dlg.HasFood());
    ASSERT_EQ(dlg.m_nDir, game::DIR_RIGHT);
    dlg.m_nFoodX = dlg.m_nHeadX + 1;
    dlg.m_nFoodY = dlg.m_nHeadY;
    const int score = dlg.m_nScore;
    dlg.OnTimer(1);
    ASSERT_EQ(dlg.m_nScore, score + 10);
}

// The popup of the menu bar at `index` ("&File" 0, "&Help" 1).
inline QMenu* Popup(CGameDlg& dlg, int index)
{
    return dlg.MenuBar()->actions().at(index)->menu();
}

} // namespace testing_support
