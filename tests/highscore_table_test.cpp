// Admitting a final score, naming it, saving the table, and the list dialog.

#include "app/GameDlg.h"
#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "highscores/NewHighScoreDlg.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::string Padded(const std::string& name)
{
    return name + std::string(44 - name.size(), ' ');
}

class HighScoreTableTest : public ::testing::Test {
protected:
    void SetUp() override { highscores::DefaultTable(table.m_names, table.m_scores); }

    void SetScores(std::vector<std::uint32_t> scores)
    {
        table.m_scores = std::move(scores);
        for (std::size_t k = 0; k < 10; ++k)
            table.m_names[k] = "N" + std::to_string(k + 1);
    }

    ScratchFolder folder;
    ScriptedModal modal;
    CHighScoreDlg table;
};

} // namespace

TEST_F(HighScoreTableTest, AdmissionRule)
{
    const std::vector<std::uint32_t> falling = {100, 90, 80, 70, 60, 50, 40, 30, 20, 10};
    const struct {
        const char* what;
        std::vector<std::uint32_t> scores;
        std::uint32_t score;
        int rank;   // 0: not admitted
    } cases[] = {
        {"equal to rank 10", falling, 10, 10},
        {"zero", falling, 0, 0},
        {"equal to rank 2 ranks above it", falling, 90, 2},
        {"above all", falling, 1000, 1},
        {"between ranks", falling, 55, 6},
        {"unordered table: highest rank not greater", {100, 40, 90, 30, 80, 20, 70, 10, 60, 0}, 50, 2},
        {"unordered table: only the last rank", {100, 90, 80, 70, 60, 50, 40, 30, 20, 5}, 7, 10},
        {"unsigned comparison", {4000000000u, 90, 80, 70, 60, 50, 40, 30, 20, 10}, 3000000000u, 2},
    };
    for (const auto& c : cases) {
        SetScores(c.scores);
        const std::vector<std::string> namesBefore = table.m_names;
        modal.dialogs.clear();
        modal.onDialog = EnterName(QStringLiteral("New"));
        std::remove("HiScores.ini");

        table.InsertScore(c.score);

        EXPECT_EQ(table.m_bQualified, c.rank ? 1 : 0) << c.what;
        if (!c.rank) {
            EXPECT_TRUE(modal.dialogs.empty()) << c.what;
            EXPECT_EQ(table.m_scores, c.scores) << c.what;
            EXPECT_EQ(table.m_names, namesBefore) << c.what;
            EXPECT_FALSE(folder.Exists()) << c.what;
            continue;
        }
        EXPECT_EQ(modal.dialogs, std::vector<int>{IDD_NEWHIGHSCORE}) << c.what;
        std::vector<std::uint32_t> expected = c.scores;
        expected.insert(expected.begin() + (c.rank - 1), c.score);
        expected.pop_back();
        EXPECT_EQ(table.m_scores, expected) << c.what;
        EXPECT_EQ(table.m_names[c.rank - 1], "New") << c.what;
        for (int k = c.rank; k < 10; ++k)
            EXPECT_EQ(table.m_names[k], namesBefore[k - 1]) << c.what;
        EXPECT_TRUE(folder.Exists()) << c.what;
    }
}

TEST_F(HighScoreTableTest, NamesAsEntered)
{
    const struct { const char* what; std::function<int(platform::Dialog&)> answer; std::string stored; } cases[] = {
        {"empty name", EnterName(QString()), "   "},
        {"escaped", nullptr, "   "},
        {"27 characters", EnterName(QString(27, QLatin1Char('x'))), std::string(27, 'x')},
        {"28 typed, 27 kept", EnterName(QString(28, QLatin1Char('y'))), std::string(27, 'y')},
        {"trailing blanks kept", EnterName(QStringLiteral("Al  ")), "Al  "},
        {"Latin-1 kept byte for byte", EnterName(QStringLiteral("Zo\u00EB")), "Zo\xEB"},
    };
    for (const auto& c : cases) {
        highscores::DefaultTable(table.m_names, table.m_scores);
        modal.onDialog = c.answer;
        table.InsertScore(95);
        EXPECT_EQ(table.m_bQualified, 1) << c.what;
        EXPECT_EQ(table.m_names[1], c.stored) << c.what;
        EXPECT_EQ(table.m_scores[1], 95u) << c.what;
    }
}

// What is typed or pasted into the name box keeps the characters an 8-bit
// name can hold and drops the others, beyond Latin-1 or control characters,
// instead of refusing the whole paste.
TEST_F(HighScoreTableTest, NameBoxKeepsWhatTheFileCanHold)
{
    CNewHighScoreDlg dialog;
    ASSERT_TRUE(dialog.Create());
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_PLAYER_NAME));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 27);
    EXPECT_EQ(dialog.Window()->windowTitle(), QStringLiteral("New High Score!"));
    EXPECT_FALSE(dialog.Window()->windowFlags() & Qt::WindowCloseButtonHint) << "no close box";

    const struct { const char* what; QString pasted; QString kept; } cases[] = {
        {"euro sign", QStringLiteral("abc\u20ACdef"), QStringLiteral("abcdef")},
        {"Latin-1 letters", QStringLiteral("\u00C5sa Zo\u00EB"), QStringLiteral("\u00C5sa Zo\u00EB")},
        {"control characters", QStringLiteral("a\tb\nc\u0001d\u007Fe\u0085f\u009Fg\rh"), QStringLiteral("abcdefgh")},
        {"nothing it can hold", QStringLiteral("\u20AC\U0001F600\n"), QString()},
        {"no-break space and the top of Latin-1", QStringLiteral("x\u00A0\u00FFy"), QStringLiteral("x\u00A0\u00FFy")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        edit->clear();
        QApplication::clipboard()->setText(c.pasted);
        edit->paste();
        EXPECT_EQ(edit->text(), c.kept);
        EXPECT_EQ(edit->cursorPosition(), c.kept.size());
    }
    // Pasted into the middle of a name, the cursor ends behind what was kept.
    edit->setText(QStringLiteral("AB"));
    edit->setCursorPosition(1);
    QApplication::clipboard()->setText(QStringLiteral("x\u20ACy"));
    edit->paste();
    EXPECT_EQ(edit->text(), QStringLiteral("AxyB"));
    EXPECT_EQ(edit->cursorPosition(), 3);
}

// A name that reached the table some other way than the box still keeps no
// control character; one that was nothing else stands as three blanks.
TEST_F(HighScoreTableTest, ControlCharactersAreNeverStored)
{
    const struct { const char* what; QString typed; std::string stored; } cases[] = {
        {"tab, line feed, SOH, DEL, NEL", QStringLiteral("A\tB\nC\u0001D\u007FE\u0085F"), "ABCDEF"},
        {"only control characters", QStringLiteral("\t\n"), "   "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        highscores::DefaultTable(table.m_names, table.m_scores);
        // Past the box's own checks: set as a program would set it.
        modal.onDialog = [&](platform::Dialog& dialog) {
            qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_PLAYER_NAME))->setText(c.typed);
            dialog.SendCommand(IDOK);
            return dialog.Result();
        };
        table.InsertScore(95);
        EXPECT_EQ(table.m_names[1], c.stored);
        EXPECT_NE(folder.Read().find(c.stored + "~00095~"), std::string::npos) << "the file holds the name as stored";
    }
}

TEST_F(HighScoreTableTest, NameBoxHasTheFocusWhenTheDialogOpens)
{
    bool focused = false;
    modal.onDialog = [&](platform::Dialog& dialog) {
        dialog.Window()->show();
        QApplication::setActiveWindow(dialog.Window());
        focused = dialog.GetDlgItem(IDC_PLAYER_NAME)->hasFocus();
        dialog.SendCommand(IDOK);
        return dialog.Result();
    };
    table.InsertScore(50);
    EXPECT_TRUE(focused);
}

TEST_F(HighScoreTableTest, FileAfterAnAdmittedScoreIsByteExact)
{
    std::string file;
    for (int k = 0; k < 10; ++k)
        file += "Quillware~00" + std::to_string(100 - 10 * k).insert(0, k == 0 ? "" : "0") + "~";
    file += "00510";
    ASSERT_EQ(file.size(), 165u);
    folder.Write(file);
    table.m_names.clear();
    table.m_scores.clear();
    table.LoadHighScores();
    ASSERT_TRUE(modal.messages.empty());

    modal.onDialog = EnterName(QStringLiteral("Bob"));
    table.InsertScore(55);

    std::string expected;
    const std::uint32_t scores[] = {100, 90, 80, 70, 60, 55, 50, 40, 30, 20};
    for (int k = 0; k < 10; ++k) {
        char field[6];
        std::snprintf(field, sizeof field, "%05u", scores[k]);
        expected += (k == 5 ? std::string("Bob") : Padded("Quillware")) + "~" + field + "~";
    }
    // Nine names of weight 5, "Bob" of weight 0, scores adding up to 595.
    expected += "00550";
    EXPECT_EQ(folder.Read(), expected);
}

TEST_F(HighScoreTableTest, FillDisplayShowsNamesAsStoredAndScoresInDecimal)
{
    table.m_names[0] = Padded("Ann");
    table.m_names[9] = "Zed";
    table.m_scores[0] = 1234;
    table.m_scores[9] = 0;
    table.FillDisplay();
    EXPECT_EQ(table.m_strName1, Padded("Ann"));
    EXPECT_EQ(table.m_strScore1, "1234");
    EXPECT_EQ(table.m_strName10, "Zed");
    EXPECT_EQ(table.m_strScore10, "0");
    EXPECT_EQ(table.m_strName5, "Quillware");
    EXPECT_EQ(table.m_strScore5, "60");
}

using HighScoreListTest = MainWindowFixture<>;

TEST_F(HighScoreListTest, MenuOpensTheListWithEveryRankAtItsControl)
{
    dlg.m_highScores.m_names[2] = Padded("Cleo");
    dlg.m_highScores.m_scores[2] = 85;
    const int nameIds[] = {IDC_HS_NAME1, IDC_HS_NAME2, IDC_HS_NAME3, IDC_HS_NAME4, IDC_HS_NAME5,
                           IDC_HS_NAME6, IDC_HS_NAME7, IDC_HS_NAME8, IDC_HS_NAME9, IDC_HS_NAME10};
    const int scoreIds[] = {IDC_HS_SCORE1, IDC_HS_SCORE2, IDC_HS_SCORE3, IDC_HS_SCORE4, IDC_HS_SCORE5,
                            IDC_HS_SCORE6, IDC_HS_SCORE7, IDC_HS_SCORE8, IDC_HS_SCORE9, IDC_HS_SCORE10};
    QStringList names, scores;
    QString caption;
    QRect okRect;
    modal.onDialog = [&](platform::Dialog& list) {
        caption = list.Window()->windowTitle();
        okRect = list.GetDlgItem(IDC_HS_OK)->geometry();
        for (int k = 0; k < 10; ++k) {
            names << TextOf(list, nameIds[k]);
            scores << TextOf(list, scoreIds[k]);
        }
        list.SendCommand(IDC_HS_OK);
        return list.Result();
    };
    // Through the menu item, as the player chooses it.
    QAction* item = nullptr;
    for (QAction* action : dlg.MenuBar()->actions()[0]->menu()->actions())
        if (action->data().toUInt() == ID_FILE_HIGHSCORES)
            item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();

    EXPECT_EQ(modal.dialogs, std::vector<int>{IDD_HIGHSCORES});
    EXPECT_EQ(caption, QStringLiteral("All times greatest"));
    EXPECT_EQ(okRect, QRect(200, 258, 75, 23));
    ASSERT_EQ(names.size(), 10);
    EXPECT_EQ(names[0], QStringLiteral("Quillware"));
    EXPECT_EQ(names[2], QString::fromLatin1(Padded("Cleo").c_str()));
    EXPECT_EQ(scores[0], QStringLiteral("100"));
    EXPECT_EQ(scores[2], QStringLiteral("85"));
    EXPECT_EQ(scores[9], QStringLiteral("10"));
}

TEST_F(HighScoreListTest, EveryWayOfClosingTheListChangesNothing)
{
    const std::vector<std::string> names = dlg.m_highScores.m_names;
    const std::vector<std::uint32_t> scores = dlg.m_highScores.m_scores;
    const struct { const char* how; std::function<void(platform::Dialog&)> close; int result; } cases[] = {
        {"OK", [](platform::Dialog& d) { d.SendCommand(IDC_HS_OK); }, IDOK},
        {"Return", [](platform::Dialog& d) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QApplication::sendEvent(d.Window(), &key);
         }, IDOK},
        {"Escape", [](platform::Dialog& d) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(d.Window(), &key);
         }, IDCANCEL},
        {"close box", [](platform::Dialog& d) { d.Window()->close(); }, IDCANCEL},
    };
    for (const auto& c : cases) {
        int result = -1;
        bool closed = false;
        modal.onDialog = [&](platform::Dialog& list) {
            list.Window()->show();
            c.close(list);
            closed = list.Window()->isHidden();
            result = list.Result();
            return result;
        };
        dlg.OnFileHighscores();
        EXPECT_TRUE(closed) << c.how;
        EXPECT_EQ(result, c.result) << c.how;
        EXPECT_EQ(dlg.m_highScores.m_names, names) << c.how;
        EXPECT_EQ(dlg.m_highScores.m_scores, scores) << c.how;
        EXPECT_EQ(dlg.m_highScores.Window(), nullptr) << c.how;
    }
    EXPECT_FALSE(folder.Exists());
}
