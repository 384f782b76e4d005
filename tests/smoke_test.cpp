#include "app/GameDlg.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>

TEST(Smoke, MainWindowOpens)
{
    testing_support::ScratchFolder folder;
    testing_support::ScriptedModal modal;
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.m_body.GetSize(), 93u);
    platform::SetMainDialog(nullptr);
}
