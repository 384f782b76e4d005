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

namespace {

// The rank a final score takes in `scores`: that of the highest-ranked entry
// whose score is not greater (so a score equal to a stored one ranks above
// it); 0 when it reaches none.
int RankFor(const std::vector<std::uint32_t>& scores, std::uint32_t score)
{
    // From rank 10 up; the last match, the highest rank, decides.
    int rank = 0;
    for (int k = kEntries; k >= 1; --k)
        if (score >= scores[k - 1])
            rank = k;
    return rank;
}

// Puts an entry at `rank`; the entries from there down move down by one,
// and the one at rank 10 is dropped.
void PlaceAt(std::vector<std::string>& names, std::vector<std::uint32_t>& scores, int rank, const std::string& name,
             std::uint32_t score)
{
    for (int k = kEntries; k >= rank + 1; --k) {
        names[k - 1] = names[k - 2];
        scores[k - 1] = scores[k - 2];
    }
    names[rank - 1] = name;
    scores[rank - 1] = score;
}

// A name as the table keeps it: control characters (C0, DEL and C1), which
// no list shows, are dropped; nothing left stands as three blanks.
std::string StoredName(const std::string& typed)
{
    std::string name;
    for (const char c : typed) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F && (byte < 0x80 || byte >= 0xA0))
            name.push_back(c);
    }
    return name.empty() ? std::string("   ") : name;
}

} // namespace

void CHighScoreDlg::LoadHighScores()
{
    const platform::ReadResult file = platform::ReadFileStart(kFileName, m_fileBuffer.size());
    if (file.status == platform::ReadResult::Missing) {
        m_known = {KnownFile::Missing, {}};
        DefaultTable(m_names, m_scores);
        return;
    }
    // A file that cannot be opened or read is no tampering: the player is
    // told why, and the defaults stand in for it. The save reads it again.
    if (file.status == platform::ReadResult::Failed) {
        m_known = {KnownFile::Unreadable, {}};
        platform::MessageBox(platform::MainWindow(),
                             QStringLiteral("The high scores in \"%1\" cannot be read: %2")
                                 .arg(QString::fromLatin1(kFileName), file.reason),
                             platform::MB_ICONEXCLAMATION);
        DefaultTable(m_names, m_scores);
        return;
    }

    m_known = {KnownFile::Bytes, file.bytes};
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
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    std::string bytes;
    const auto decide = [&](const platform::ReadResult& now) {
        platform::Update update;
        // Whatever the table there holds would be lost.
        if (now.status == platform::ReadResult::Failed) {
            update.reason = QStringLiteral("the scores it holds cannot be read: %1").arg(now.reason);
            return update;
        }
        names = m_names;
        scores = m_scores;
        // Another game has saved since this one looked: its table, with the
        // scores admitted here placed into it, is the one to write. A file
        // gone or tampered with since is replaced by this game's table, and
        // so is any file under a table that never came from one.
        const bool changed = m_known.kind == KnownFile::Bytes ? m_known.bytes != now.bytes
                                                               : m_known.kind != KnownFile::Nothing;
        if (now.status == platform::ReadResult::Read && changed) {
            std::vector<std::string> fileNames;
            std::vector<std::uint32_t> fileScores;
            if (ParseHighScores(now.bytes.data(), now.bytes.size(), fileNames, fileScores).Matches()) {
                names = std::move(fileNames);
                scores = std::move(fileScores);
                for (const Entry& entry : m_pending)
                    if (const int rank = RankFor(scores, entry.score))
                        PlaceAt(names, scores, rank, entry.name, entry.score);
            }
        }
        update.write = true;
        update.bytes = bytes = FormatHighScores(names, scores);
        return update;
    };
    const platform::FileResult saved = platform::UpdateFileContents(kFileName, m_fileBuffer.size(), decide);
    if (saved.written) {
        m_names = std::move(names);
        m_scores = std::move(scores);
        m_pending.clear();
        m_known = {KnownFile::Bytes, bytes.substr(0, m_fileBuffer.size())};
    }
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
    const int rank = RankFor(m_scores, score);
    if (!rank)
        return;
    m_bQualified = 1;

    CNewHighScoreDlg nameDialog;
    nameDialog.DoModal();

    const std::string name = StoredName(nameDialog.m_strName);
    PlaceAt(m_names, m_scores, rank, name, score);
    m_pending.push_back({name, score});
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
