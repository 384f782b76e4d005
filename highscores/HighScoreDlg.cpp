#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "highscores/NewHighScoreDlg.h"
#include "res/Templates.h"
#include "res/resource.h"

#include "platform/FileStore.h"

#include <QString>
#include <algorithm>

using namespace highscores;

CHighScoreDlg::CHighScoreDlg() : Dialog(res::kHighScores)
{
    // The list's OK button is not the standard IDOK, so it is bound here.
    OnCommandId(IDC_HS_OK, [this] { OnOK(); });
}

void CHighScoreDlg::DoDataExchange(platform::DataExchange& dx)
{
    using platform::DDX_Text;
    DDX_Text(dx, IDC_HS_NAME1, m_strName1);
    DDX_Text(dx, IDC_HS_SCORE1, m_strScore1);
    DDX_Text(dx, IDC_HS_NAME2, m_strName2);
    DDX_Text(dx, IDC_HS_NAME3, m_strName3);
    DDX_Text(dx, IDC_HS_SCORE2, m_strScore2);
    DDX_Text(dx, IDC_HS_SCORE3, m_strScore3);
    DDX_Text(dx, IDC_HS_NAME10, m_strName10);
    DDX_Text(dx, IDC_HS_NAME4, m_strName4);
    DDX_Text(dx, IDC_HS_NAME5, m_strName5);
    DDX_Text(dx, IDC_HS_NAME6, m_strName6);
    DDX_Text(dx, IDC_HS_NAME7, m_strName7);
    DDX_Text(dx, IDC_HS_NAME8, m_strName8);
    DDX_Text(dx, IDC_HS_NAME9, m_strName9);
    DDX_Text(dx, IDC_HS_SCORE4, m_strScore4);
    DDX_Text(dx, IDC_HS_SCORE5, m_strScore5);
    DDX_Text(dx, IDC_HS_SCORE6, m_strScore6);
    DDX_Text(dx, IDC_HS_SCORE7, m_strScore7);
    DDX_Text(dx, IDC_HS_SCORE8, m_strScore8);
    DDX_Text(dx, IDC_HS_SCORE9, m_strScore9);
    DDX_Text(dx, IDC_HS_SCORE10, m_strScore10);
}

void CHighScoreDlg::LoadHighScores()
{
    const platform::ReadResult file = platform::ReadFileStart(kFileName, m_fileBuffer.size());
    if (file.status == platform::ReadResult::Missing) {
        DefaultTable(m_names, m_scores);
        return;
    }
    // A file that cannot be opened or read is no tampering: the player is
    // told why, and the defaults stand in for it.
    if (file.status == platform::ReadResult::Failed) {
        platform::MessageBox(platform::MainWindow(),
                             QStringLiteral("The high scores in \"%1\" cannot be read: %2")
                                 .arg(QString::fromLatin1(kFileName), file.reason),
                             platform::MB_ICONEXCLAMATION);
        DefaultTable(m_names, m_scores);
        return;
    }

    std::copy(file.bytes.begin(), file.bytes.end(), m_fileBuffer.begin());
    const ParseResult result = ParseHighScores(m_fileBuffer.data(), file.bytes.size(), m_names, m_scores);
    if (result.Matches())
        return;
    platform::MessageBox(platform::MainWindow(),
                         QString::asprintf("Manipulation recognized! h=%d  i=%d", result.stored, result.computed));
    DefaultTable(m_names, m_scores);
}

bool CHighScoreDlg::SaveHighScores()
{
    const std::string bytes = FormatHighScores(m_names, m_scores);
    const platform::FileResult saved = platform::ReplaceFileContents(kFileName, bytes);
    if (!saved.ok)
        platform::MessageBox(platform::MainWindow(),
                             QStringLiteral("The high scores could not be saved to \"%1\": %2")
                                 .arg(QString::fromLatin1(kFileName), saved.reason),
                             platform::MB_ICONEXCLAMATION);
    return saved.ok;
}

void CHighScoreDlg::InsertScore(std::uint32_t score)
{
    m_bQualified = 0;
    if (m_scores.size() != kEntries || m_names.size() != kEntries)
        return;
    // From rank 10 up; the last match, the highest rank whose score is not
    // greater, decides.
    int rank = 0;
    for (int k = kEntries; k >= 1; --k)
        if (score >= m_scores[k - 1]) {
            rank = k;
            m_bQualified = 1;
        }
    if (!m_bQualified)
        return;

    CNewHighScoreDlg nameDialog;
    nameDialog.DoModal();

    for (int k = kEntries; k >= rank + 1; --k) {
        m_names[k - 1] = m_names[k - 2];
        m_scores[k - 1] = m_scores[k - 2];
    }
    m_names[rank - 1] = nameDialog.m_strName.empty() ? std::string("   ") : nameDialog.m_strName;
    m_scores[rank - 1] = score;
    SaveHighScores();
}

std::string& CHighScoreDlg::NameString(int rank)
{
    std::string* strings[] = {&m_strName1, &m_strName2, &m_strName3, &m_strName4, &m_strName5,
                              &m_strName6, &m_strName7, &m_strName8, &m_strName9, &m_strName10};
    return *strings[rank - 1];
}

std::string& CHighScoreDlg::ScoreString(int rank)
{
    std::string* strings[] = {&m_strScore1, &m_strScore2, &m_strScore3, &m_strScore4, &m_strScore5,
                              &m_strScore6, &m_strScore7, &m_strScore8, &m_strScore9, &m_strScore10};
    return *strings[rank - 1];
}

void CHighScoreDlg::FillDisplay()
{
    for (int k = 1; k <= kEntries && k <= static_cast<int>(m_names.size()); ++k) {
        NameString(k) = m_names[k - 1];
        ScoreString(k) = std::to_string(static_cast<int>(m_scores[k - 1]));
    }
}
