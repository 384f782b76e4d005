#include "highscores/NewHighScoreDlg.h"
#include "res/Templates.h"
#include "res/resource.h"

CNewHighScoreDlg::CNewHighScoreDlg() : Dialog(res::kNewHighScore) {}

void CNewHighScoreDlg::DoDataExchange(platform::DataExchange& dx)
{
    platform::DDX_Text(dx, IDC_PLAYER_NAME, m_strName);
    platform::DDV_MaxChars(dx, m_strName, 27);
}
