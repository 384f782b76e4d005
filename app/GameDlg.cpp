#include "app/GameDlg.h"
#include "platform/Sound.h"
#include "res/Icon.h"
#include "res/Strings.h"
#include "res/Templates.h"
#include "res/resource.h"

#include <QMenu>

using namespace game;

CGameDlg::CGameDlg() : Dialog(res::kGameDialog, &res::kGameMenu)
{
    m_nScore = 0;
    m_nInitMarker = 0;
    m_hIcon = res::MainIcon();

    OnCommandId(IDC_START, [this] { OnStart(); });
    OnCommandId(ID_FILE_STARTGAME, [this] { OnFileStartgame(); });
    OnCommandId(IDC_UP, [this] { OnUp(); });
    OnCommandId(IDC_RIGHT, [this] { OnRight(); });
    OnCommandId(IDC_DOWN, [this] { OnDown(); });
    OnCommandId(IDC_LEFT, [this] { OnLeft(); });
    OnCommandId(ID_FILE_HIGHSCORES, [this] { OnFileHighscores(); });
    OnCommandId(ID_FILE_SETTINGS, [this] { OnFileSettings(); });
    OnCommandId(ID_FILE_PLAYSOUND, [this] { OnFilePlaysound(); });
    OnCommandId(ID_FILE_EXIT, [this] { OnFileExit(); });
    OnCommandId(ID_HELP_WEBSITE, [this] { OnHelpWebsite(); });
    OnCommandId(ID_HELP_ABOUT, [this] { OnHelpAbout(); });
}

CGameDlg::~CGameDlg()
{
    // The play area is a child of this window: it goes first.
    m_playArea.DestroyWindow();
    DestroyWindow();
}

void CGameDlg::DoDataExchange(platform::DataExchange& dx)
{
    platform::DDX_Text(dx, IDC_SCORE, m_nScore);
}

platform::PixelSurface& CGameDlg::GameSurface()
{
    return Surface() ? *Surface() : m_detachedSurface;
}

bool CGameDlg::ResetGame()
{
    Dialog::OnInitDialog();

    if (m_nInitMarker != kMarker) {
        const char* aboutText = res::LoadString(IDS_ABOUTBOX);
        if (QMenu* sysMenu = GetSystemMenu(); sysMenu && *aboutText) {
            platform::AppendMenu(sysMenu, platform::MF_SEPARATOR, 0, QString());
            platform::AppendMenu(sysMenu, platform::MF_STRING, IDM_ABOUTBOX, QString::fromUtf8(aboutText),
                                 [this](unsigned id) { OnSysCommand(id, 0); });
        }
    }

    if (Window())
        Window()->setWindowIcon(m_hIcon);

    ResetPlayState();
    m_playArea.m_nDirection = DIR_RIGHT;

    if (m_nInitMarker != kMarker) {
        m_nColorR = 250;
        m_nColorG = 5;
        m_nColorB = 10;
        m_highScores.LoadHighScores();
        m_bSound = 1;
    }
    m_nInitMarker = kMarker;

    AppendStartBody();
    return true;
}

void CGameDlg::OnStart()
{
    if (m_nFieldReady != 0)
        return;
    m_playArea.DestroyWindow();
    m_playArea.Create(Client());
    m_nDescribedScore = -1;
    DescribeScore();
    m_playArea.ShowWindow(true);
    // The keys steer from the first tick on.
    m_playArea.SetFocus();
    SetTimer(1, static_cast<unsigned>(m_nInterval));
}

void CGameDlg::OnFileStartgame() { OnStart(); }

void CGameDlg::DescribeScore()
{
    // A listening screen reader is told of every change of the description.
    // The tick refreshes the controls at every step; the text is made only
    // when the score has changed. Nothing of it shows on the screen.
    QWidget* playArea = m_playArea.Window();
    if (!playArea || m_nScore == m_nDescribedScore)
        return;
    m_nDescribedScore = m_nScore;
    playArea->setAccessibleDescription(QStringLiteral("Score: %1").arg(m_nScore));
}

void CGameDlg::SetDirection(std::uint32_t direction)
{
    m_nRequestedDir = direction;
    m_playArea.m_nDirection = direction;
    m_nTurnDelay = 10;
}

void CGameDlg::OnUp() { SetDirection(DIR_UP); }
void CGameDlg::OnRight() { SetDirection(DIR_RIGHT); }
void CGameDlg::OnDown() { SetDirection(DIR_DOWN); }
void CGameDlg::OnLeft() { SetDirection(DIR_LEFT); }

void CGameDlg::PlaySoundKind(int kind)
{
    if (m_bSound != 1)
        return;
    switch (kind) {
    case 1: platform::MessageBeep(platform::MB_ICONASTERISK); break;
    case 2: platform::MessageBeep(platform::MB_ICONEXCLAMATION); break;
    case 3: platform::MessageBeep(platform::MB_ICONHAND); break;
    case 4: platform::MessageBeep(platform::MB_OK); break;
    case 5: platform::MessageBeep(0xFFFFFFFFu); break;
    default: break;
    }
}

void CGameDlg::GameOver()
{
    // The timer goes first, so that no tick runs while the boxes below are up.
    KillTimer(1);
    m_strMessage = "Game over!   Score: " + std::to_string(m_nScore);
    platform::MessageBox(Window(), QString::fromLatin1(m_strMessage.c_str()));

    m_highScores.InsertScore(static_cast<std::uint32_t>(m_nScore));
    if (m_highScores.m_bQualified)
        ShowHighScores();

    m_body.RemoveAll();
    m_playArea.CloseWindow();
    m_playArea.DestroyWindow();
    ResetGame();
}

void CGameDlg::ShowHighScores()
{
    m_highScores.FillDisplay();
    if (m_highScores.Window()) {
        m_highScores.UpdateData(false);
        return;
    }
    m_highScores.DoModal();
}
