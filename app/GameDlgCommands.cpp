// The main window's menu commands and auxiliary messages.

#include "app/AboutDlg.h"
#include "app/GameDlg.h"
#include "platform/Shell.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "settings/SettingsDlg.h"

#include <QMenu>
#include <QMenuBar>

void CGameDlg::OnFileHighscores()
{
    ShowHighScores();
}

void CGameDlg::OnFileSettings()
{
    CSettingsDlg dlg;
    dlg.SetValues(m_nColorR, m_nColorG, m_nColorB, m_nInterval);
    dlg.DoModal();
    // Whatever ended the dialog, its values become the window's.
    m_nColorR = dlg.GetColorR();
    m_nColorG = dlg.GetColorG();
    m_nColorB = dlg.GetColorB();
    m_nInterval = dlg.GetInterval();
}

void CGameDlg::OnFilePlaysound()
{
    m_bSound = m_bSound == 1 ? 0 : 1;
}

void CGameDlg::OnFileExit()
{
    OnOK();
}

void CGameDlg::OnHelpWebsite()
{
    platform::ShellOpen(QString::fromLatin1(res::kWebsite));
}

void CGameDlg::ShowAboutBox()
{
    CAboutDlg dlg;
    dlg.DoModal();
}

void CGameDlg::OnHelpAbout()
{
    ShowAboutBox();
}

void CGameDlg::OnSysCommand(unsigned id, std::intptr_t lParam)
{
    if ((id & 0xFFF0u) == IDM_ABOUTBOX)
        ShowAboutBox();
    else
        Dialog::OnSysCommand(id, lParam);
}

// Minimised, the desktop draws the window's icon (m_hIcon, set by ResetGame)
// itself and drags the window with it, so there is no paint-while-minimised
// or drag-icon query to answer here.

bool CGameDlg::OnHelpInfo()
{
    platform::MessageBox(Window(), QStringLiteral("Tach!"));
    return Dialog::OnHelpInfo();
}

void CGameDlg::OnUpdateFilePlaysound(platform::CCmdUI* pCmdUI)
{
    pCmdUI->SetCheck(m_bSound != 0 ? 1 : 0);
}

void CGameDlg::DoUpdate(platform::CCmdUI& cmdUI)
{
    // The sound switch is the only item with an update handler; every other
    // item keeps the state of the template.
    if (cmdUI.m_nID == ID_FILE_PLAYSOUND)
        OnUpdateFilePlaysound(&cmdUI);
}

void CGameDlg::OnInitMenuPopup(QMenu* popup, int, bool)
{
    using platform::GetMenuItemCount;
    using platform::GetMenuItemID;

    platform::CCmdUI state;
    state.m_pMenu = popup;

    // The parent menu: the popup itself when it is the menu being tracked
    // (the window menu), else the menu bar if one of its entries opens it.
    if (popup == GetSystemMenu()) {
        state.m_pParentMenu = popup;
    } else if (QMenuBar* bar = MenuBar()) {
        for (QAction* entry : bar->actions())
            if (entry->menu() == popup) {
                state.m_pParentMenu = bar;
                break;
            }
    }

    state.m_nIndexMax = GetMenuItemCount(popup);
    for (state.m_nIndex = 0; state.m_nIndex < state.m_nIndexMax; ++state.m_nIndex) {
        state.m_nID = GetMenuItemID(popup, state.m_nIndex);
        if (state.m_nID == 0)
            continue;   // a separator
        if (state.m_nID == 0xFFFFFFFFu) {
            // An entry that opens a sub-menu is updated under the identifier
            // of the sub-menu's first item.
            state.m_pSubMenu = platform::GetSubMenu(popup, state.m_nIndex);
            if (!state.m_pSubMenu)
                continue;
            state.m_nID = GetMenuItemID(state.m_pSubMenu, 0);
            if (state.m_nID == 0 || state.m_nID == 0xFFFFFFFFu)
                continue;
            DoUpdate(state);
        } else {
            state.m_pSubMenu = nullptr;
            DoUpdate(state);
        }

        // An update handler may have removed items: step back by as many and
        // past the items that share the identifier just updated.
        const int count = GetMenuItemCount(popup);
        if (count < state.m_nIndexMax) {
            state.m_nIndex -= state.m_nIndexMax - count;
            while (state.m_nIndex < count && GetMenuItemID(popup, state.m_nIndex) == state.m_nID)
                ++state.m_nIndex;
        }
        state.m_nIndexMax = count;
    }
}
