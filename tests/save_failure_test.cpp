// Saves of the high-score table that cannot be made, and saves cut off by
// the death of the process: the player is told, the table in memory stays
// as it is, and the file on disk is always a whole table, old or new.

#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "reliability/ChildProcess.h"
#include "res/resource.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Admits 5000 for "Ada" into the default table while the file cannot be
// written. Returns what went wrong, or "" when the failure was handled.
std::string AdmitWhileSavingFails()
{
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    modal.onDialog = [](platform::Dialog& dialog) {
        TypeInto(dialog, IDC_PLAYER_NAME, QStringLiteral("Ada"));
        dialog.SendCommand(platform::IDOK);
        return dialog.Result();
    };
    table.InsertScore(5000);

    if (modal.messages.size() != 1)
        return "expected one message, got " + std::to_string(modal.messages.size());
    const QString& text = modal.messages[0];
    if (!text.contains(QStringLiteral("could not be saved")) || !text.contains(QStringLiteral("HiScores.ini")))
        return "unclear message: " + text.toStdString();
    // The entry stays admitted in memory, the rest moved down by one.
    if (table.m_names.size() != 10 || table.m_scores.size() != 10)
        return "the table lost its ten entries";
    if (table.m_names[0] != "Ada" || table.m_scores[0] != 5000)
        return "the admitted entry is gone";
    for (int k = 1; k < 10; ++k)
        if (table.m_names[k] != "Quillware" || table.m_scores[k] != static_cast<std::uint32_t>(110 - 10 * k))
            return "rank " + std::to_string(k + 1) + " changed";
    // Saving again fails the same way and reports false.
    if (table.SaveHighScores())
        return "a second save claims success";
    return "";
}

std::string OldTable()
{
    std::vector<std::string> names(10, "Old Timer");
    std::vector<std::uint32_t> scores = {900, 800, 700, 600, 500, 400, 300, 200, 100, 50};
    return highscores::FormatHighScores(names, scores);
}

} // namespace

TEST(FailedSave, NameTakenByADirectory)
{
    ScratchFolder folder;
    ASSERT_EQ(mkdir("HiScores.ini", 0755), 0);
    folder.Write("kept", "HiScores.ini/inside");

    EXPECT_EQ(AdmitWhileSavingFails(), "");
    EXPECT_TRUE(QFileInfo(QStringLiteral("HiScores.ini")).isDir());
    EXPECT_EQ(folder.Read("HiScores.ini/inside"), "kept");
}

TEST(FailedSave, FolderNoLongerExists)
{
    ScratchFolder folder;
    ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("gone")));
    ASSERT_TRUE(QDir::setCurrent(folder.Path() + QStringLiteral("/gone")));
    ASSERT_TRUE(QDir(folder.Path()).rmdir(QStringLiteral("gone")));

    EXPECT_EQ(AdmitWhileSavingFails(), "");
    EXPECT_FALSE(QFileInfo::exists(folder.Path() + QStringLiteral("/gone")));
}

TEST(FailedSave, FolderNotWritable)
{
    ScratchFolder folder;
    const std::string old = OldTable();
    folder.Write(old);
    const QByteArray path = folder.Path().toLocal8Bit();
    ASSERT_EQ(chmod(path.constData(), 0555), 0);

    // Root writes into a folder of mode 555 all the same: the save then runs
    // in a child process that has given up root.
    const bool asRoot = reliability::RunningAsRoot();
    const int outcome = reliability::RunInChild([asRoot] {
        if (asRoot && !reliability::DropRoot())
            return 10;
        if (FILE* probe = std::fopen("probe", "w")) {
            std::fclose(probe);
            return 11;   // the folder is writable after all
        }
        const std::string problem = AdmitWhileSavingFails();
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
        return 0;
    });
    chmod(path.constData(), 0755);
    if (outcome == 10)
        GTEST_SKIP() << "running as root, and the child process cannot give up root here";
    EXPECT_EQ(outcome, 0) << "1 see above, 11 folder writable";
    EXPECT_EQ(folder.Read(), old) << "the old file was touched";
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "a failed save left a file behind";
}

TEST(FailedSave, SavesOnceTheCauseIsGone)
{
    ScratchFolder folder;
    ASSERT_EQ(mkdir("HiScores.ini", 0755), 0);
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    table.InsertScore(70);
    ASSERT_EQ(modal.messages.size(), 1u);

    ASSERT_EQ(rmdir("HiScores.ini"), 0);
    EXPECT_TRUE(table.SaveHighScores());
    EXPECT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(folder.Read(), highscores::FormatHighScores(table.m_names, table.m_scores));
    EXPECT_EQ(table.m_names[3], "   ");
    EXPECT_EQ(table.m_scores[3], 70u);
}

// A child saves two tables by turns as fast as it can; it is killed at
// random moments. Whatever the moment, the file holds one table whole.
TEST(InterruptedSave, FileIsAlwaysTheOldOrTheNewTable)
{
    ScratchFolder folder;
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    std::vector<std::string> namesA = table.m_names, namesB(10, std::string(44, 'k'));
    std::vector<std::uint32_t> scoresA = table.m_scores, scoresB(10, 4242);

    ScriptedModal modal;
    auto save = [&](const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores) {
        table.m_names = names;
        table.m_scores = scores;
        return table.SaveHighScores();
    };
    ASSERT_TRUE(save(namesB, scoresB));
    const std::string bytesB = folder.Read();
    const auto started = std::chrono::steady_clock::now();
    constexpr int kTimed = 20;
    for (int n = 0; n < kTimed; ++n)
        ASSERT_TRUE(save(namesA, scoresA));
    const std::string bytesA = folder.Read();
    ASSERT_NE(bytesA, bytesB);
    ASSERT_EQ(bytesB.size(), 515u);
    const auto perSave = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
        / kTimed;

    // Kill moments spread over several saves.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> delay(0, std::max<long>(200, 4 * perSave.count()));
    int sawOld = 0, sawNew = 0;
    constexpr int kRounds = 150;
    for (int round = 0; round < kRounds; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            const char go = 1;
            if (write(ready[1], &go, 1) != 1)
                _exit(1);
            for (;;) {
                save(namesB, scoresB);
                save(namesA, scoresA);
            }
        }
        close(ready[1]);
        char go = 0;
        const bool started = read(ready[0], &go, 1) == 1;
        close(ready[0]);
        if (started)
            usleep(static_cast<useconds_t>(delay(random)));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(started);
        ASSERT_TRUE(WIFSIGNALED(status));

        const std::string bytes = folder.Read();
        if (bytes == bytesA)
            ++sawOld;
        else if (bytes == bytesB)
            ++sawNew;
        else
            FAIL() << "round " << round << ": the file holds " << bytes.size() << " bytes of neither table";
    }
    EXPECT_TRUE(modal.messages.empty());
    std::printf("[          ] one save takes %lld us; killed %d times: %d old, %d new\n",
                static_cast<long long>(perSave.count()), kRounds, sawOld, sawNew);
    // The kills fell both between and within the two kinds of save.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}
