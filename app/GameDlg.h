#pragma once
#include "app/PlayAreaDlg.h"
#include "game/GameCore.h"
#include "highscores/HighScoreDlg.h"
#include "platform/Dialog.h"
#include "platform/Menu.h"

#include <QIcon>
#include <cstdint>
#include <string>

// The main window: the title screen, the buttons, the score box, the menus
// and the playfield drawn pixel by pixel on its client area. It owns every
// piece of game state for the program's whole life.
class CGameDlg : public platform::Dialog, public game::GameCore {
public:
    CGameDlg();
    ~CGameDlg() override;

    // The dialog initialisation: runs when the window is created and again
    // after every game over.
    bool ResetGame();

    void OnStart();
    void OnFileStartgame();
    void OnUp();
    void OnRight();
    void OnDown();
    void OnLeft();
    void PlaySoundKind(int kind) override;
    void GameOver() override;

    // Menus and auxiliary commands.
    void OnFileHighscores();
    void OnFileSettings();
    void OnFilePlaysound();
    void OnFileExit();
    void OnHelpWebsite();
    void OnHelpAbout();
    void OnUpdateFilePlaysound(platform::CCmdUI* pCmdUI);

    // Window messages.
    bool OnInitDialog() override { return ResetGame(); }
    void OnTimer(std::uintptr_t id) override { GameCore::OnTimer(id); }
    void OnSysCommand(unsigned id, std::intptr_t lParam) override;
    bool OnHelpInfo() override;
    void OnInitMenuPopup(QMenu* popup, int index, bool sysMenu) override;
    void DoDataExchange(platform::DataExchange& dx) override;

    std::uint8_t m_bSound = 0;
    CPlayAreaDlg m_playArea;
    CHighScoreDlg m_highScores;
    std::int32_t m_nInitMarker = 0;
    QIcon m_hIcon;
    std::string m_strMessage;

protected:
    platform::PixelSurface& GameSurface() override;
    std::uint32_t PlayAreaDirection() override { return m_playArea.m_nDirection; }
    void FocusPlayArea() override { m_playArea.SetFocus(); }
    void RefreshControls() override
    {
        UpdateData(false);
        DescribeScore();
    }
    void RestartTimer() override { SetTimer(1, static_cast<unsigned>(m_nInterval)); }

private:
    void SetDirection(std::uint32_t direction);
    // The play area, which holds the focus during a game, tells a screen
    // reader the score through its description, as the score box shows it.
    void DescribeScore();
    // Fills and shows the high-score list; when the list is already open
    // (from the menu), it shows the new table instead of opening again.
    void ShowHighScores();
    void ShowAboutBox();
    // Runs the command update of one popup item through the update handlers.
    void DoUpdate(platform::CCmdUI& cmdUI);

    // The score the play area's description gives; -1 for none yet.
    int m_nDescribedScore = -1;
    // Drawing goes nowhere while the window does not exist.
    platform::PixelSurface m_detachedSurface{QSize(1, 1)};
};
