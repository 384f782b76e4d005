// Saves of the high-score table that cannot be made, and saves cut off by
// the death of the process: the player is told, the table in memory stays
// as it is, and the file on disk is always a whole table, old or new.

#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "reliability/ChildProcess.h"
#include "reliability/GameProcess.h"
#include "reliability/StepFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Admits 5000 for "Ada" into `table` (the default table) while the file
// cannot be written. Returns what went wrong, or "" when the failure was
// handled: one message naming the file and `reason` (when given), the entry
// kept in memory, and a second save failing the same way.
std::string AdmitWhileSavingFails(CHighScoreDlg& table, const char* reason = nullptr)
{
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    modal.onDialog = EnterName(QStringLiteral("Ada"));
    table.InsertScore(5000);

    if (modal.messages.size() != 1)
        return "expected one message, got " + std::to_string(modal.messages.size());
    const QString& text = modal.messages[0];
    if (!text.contains(QStringLiteral("could not be saved")) || !text.contains(QStringLiteral("HiScores.ini")))
        return "unclear message: " + text.toStdString();
    if (reason && !text.contains(QString::fromUtf8(reason)))
        return "the message does not say \"" + std::string(reason) + "\": " + text.toStdString();
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
    if (modal.messages.size() != 2)
        return "the second failure was not reported";
    return "";
}

std::string AdmitWhileSavingFails(const char* reason = nullptr)
{
    CHighScoreDlg table;
    return AdmitWhileSavingFails(table, reason);
}

// The names in the current folder other than the ones given: what a save
// left behind.
std::vector<std::string> LeftBehind(std::initializer_list<std::string> expected)
{
    std::vector<std::string> extra;
    for (const QString& name : QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (std::find(expected.begin(), expected.end(), name.toStdString()) == expected.end())
            extra.push_back(name.toStdString());
    return extra;
}

// AdmitWhileSavingFails with the system's words for `error`; then the old
// file must be whole and nothing but `expected` in the folder.
std::string AdmitKeepingTheOldFile(CHighScoreDlg& table, int error, const std::string& old,
                                   std::initializer_list<std::string> expected)
{
    if (std::string problem = AdmitWhileSavingFails(table, std::strerror(error)); !problem.empty())
        return problem;
    if (FileBytes("HiScores.ini") != old)
        return "the old file changed: " + std::to_string(FileBytes("HiScores.ini").size()) + " bytes now";
    if (const auto extra = LeftBehind(expected); !extra.empty())
        return "left behind: " + extra.front();
    return "";
}

// Runs `body` in a child process and turns what it said into the test's
// verdict: nothing passes, a reason it cannot run here skips, anything else
// fails with it.
#define EXPECT_CHILD_PASSES(body)                                                    \
    do {                                                                             \
        const std::string said_ = reliability::RunInChildSaying(body);               \
        if (reliability::IsCannotRunHere(said_))                                     \
            GTEST_SKIP() << said_;                                                   \
        EXPECT_EQ(said_, "");                                                        \
    } while (0)

// In a child process: makes the scratch folder closed to new files (mode
// 555) for a process without root, runs `body` as such a process and opens
// the folder again. Root would write there all the same, so a root child
// gives up root first.
std::string InClosedFolder(const ScratchFolder& folder, const std::function<std::string()>& body)
{
    const QByteArray path = folder.Path().toLocal8Bit();
    if (chmod(path.constData(), 0555) != 0)
        return "the folder cannot be closed";
    std::string said;
    if (reliability::RunningAsRoot() && !reliability::DropRoot()) {
        said = reliability::CannotRunHere("running as root, and the child process cannot give up root");
    } else if (FILE* probe = std::fopen("probe", "w")) {
        std::fclose(probe);
        said = "the folder is writable after all";
    } else {
        said = body();
    }
    // As nobody the folder's mode cannot be changed back: the parent's
    // ScratchFolder removes it as root, or as its owner, all the same.
    chmod(path.constData(), 0755);
    return said;
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
    // Neither may be written: the file is closed too, for a player who owns
    // it as much as for one who does not (else it is rewritten in place).
    ASSERT_EQ(chmod("HiScores.ini", 0444), 0);
    EXPECT_CHILD_PASSES([&] { return InClosedFolder(folder, [] { return AdmitWhileSavingFails(); }); });
    EXPECT_EQ(folder.Read(), old) << "the old file was touched";
    EXPECT_EQ(LeftBehind({"HiScores.ini"}), std::vector<std::string>());
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

// The disk is full: the temporary file can be made, but its bytes find no
// room. A buffered writer only learns this when it hands the bytes on, and
// must not replace the old file then.
TEST(FailedSave, DiskFullKeepsTheOldFile)
{
    ScratchFolder folder;
    const std::string old = OldTable();
    EXPECT_CHILD_PASSES([&]() -> std::string {
        if (!reliability::MountSmallDisk(folder.Path().toStdString(), "16k")) {
            return reliability::CannotRunHere(std::string("no small filesystem can be mounted: ")
                                              + std::strerror(errno));
        }
        folder.Write(old);
        if (FileBytes("HiScores.ini") != old || !reliability::FillDisk("filler"))
            return "the small disk could not be prepared";

        CHighScoreDlg table;
        if (std::string problem = AdmitKeepingTheOldFile(table, ENOSPC, old, {"HiScores.ini", "filler"}); !problem.empty())
            return problem;

        // Room again: the next save writes the table that was kept.
        ScriptedModal modal;
        if (unlink("filler") != 0 || !table.SaveHighScores() || !modal.messages.empty())
            return "the save after freeing room failed";
        if (FileBytes("HiScores.ini") != highscores::FormatHighScores(table.m_names, table.m_scores))
            return "the save after freeing room wrote something else";
        return std::string();
    });
}

// The process may not write files past a size: every save fails, whether
// the limit stops the first byte, one in the middle or the last of the 159
// that the admitted table takes.
TEST(FailedSave, FileSizeLimitKeepsTheOldFile)
{
    for (const rlim_t limit : {rlim_t{0}, rlim_t{100}, rlim_t{158}}) {
        SCOPED_TRACE("limit " + std::to_string(limit) + " bytes");
        ScratchFolder folder;
        const std::string old = OldTable();
        folder.Write(old);
        EXPECT_CHILD_PASSES([&]() -> std::string {
            if (!reliability::LimitFileSize(limit))
                return "the limit could not be set";
            CHighScoreDlg table;
            if (std::string problem = AdmitKeepingTheOldFile(table, EFBIG, old, {"HiScores.ini"}); !problem.empty())
                return problem;

            ScriptedModal modal;
            if (!reliability::LimitFileSize(RLIM_INFINITY) || !table.SaveHighScores() || !modal.messages.empty())
                return "the save without the limit failed";
            return std::string();
        });
    }
}

// Something under the file's name that is not a regular file is never
// replaced, whether it stands there or a link leads to it.
TEST(FailedSave, NeverReplacesWhatIsNotARegularFile)
{
    struct Case {
        const char* what;
        std::function<bool()> make;     // in the scratch folder
        std::function<bool()> intact;   // still what it was
    };
    const auto isFifo = [](const char* path) {
        struct stat st{};
        return stat(path, &st) == 0 && S_ISFIFO(st.st_mode);
    };
    const auto linksTo = [](const char* target) {
        char buffer[256] = {};
        return readlink("HiScores.ini", buffer, sizeof buffer - 1) == static_cast<ssize_t>(std::strlen(target))
            && std::strcmp(buffer, target) == 0;
    };
    const Case cases[] = {
        {"a named pipe", [] { return mkfifo("HiScores.ini", 0644) == 0; },
         [&] { return isFifo("HiScores.ini"); }},
        {"a link to a named pipe",
         [] { return mkfifo("pipe", 0644) == 0 && symlink("pipe", "HiScores.ini") == 0; },
         [&] { return isFifo("pipe") && linksTo("pipe"); }},
        {"a link to a folder",
         [] { return mkdir("folder", 0755) == 0 && symlink("folder", "HiScores.ini") == 0; },
         [&] { return QFileInfo(QStringLiteral("folder")).isDir() && linksTo("folder") && QDir(QStringLiteral("folder")).isEmpty(); }},
        {"a link to nothing", [] { return symlink("nowhere", "HiScores.ini") == 0; },
         [&] { return linksTo("nowhere") && !QFileInfo::exists(QStringLiteral("nowhere")); }},
        // Root makes a device node of its own; anyone else links to the
        // system's, which they could not replace anyway.
        {"a link to a device node",
         [] {
             return reliability::RunningAsRoot()
                 ? mknod("device", S_IFCHR | 0666, makedev(1, 3)) == 0 && symlink("device", "HiScores.ini") == 0
                 : symlink("/dev/null", "HiScores.ini") == 0;
         },
         [&] {
             const char* device = reliability::RunningAsRoot() ? "device" : "/dev/null";
             struct stat st{};
             return linksTo(device) && stat(device, &st) == 0 && S_ISCHR(st.st_mode);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder folder;
        ASSERT_TRUE(c.make());
        EXPECT_EQ(AdmitWhileSavingFails(), "");
        EXPECT_TRUE(c.intact());
        EXPECT_EQ(LeftBehind({"HiScores.ini", "pipe", "folder", "device"}), std::vector<std::string>());
    }
}

// Players keep the file elsewhere through a link of their own: the save
// goes to the file the link leads to, and the link stays.
TEST(LinkedSave, WritesThroughTheLinkToARegularFile)
{
    ScratchFolder folder;
    ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("kept")));
    folder.Write(OldTable(), "kept/scores");
    ASSERT_EQ(symlink("kept/scores", "HiScores.ini"), 0);

    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    table.InsertScore(70);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(folder.Read("kept/scores"), highscores::FormatHighScores(table.m_names, table.m_scores));
    EXPECT_TRUE(QFileInfo(QStringLiteral("HiScores.ini")).isSymLink());
    EXPECT_EQ(LeftBehind({"HiScores.ini", "kept"}), std::vector<std::string>());
    EXPECT_EQ(QDir(QStringLiteral("kept")).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("scores")});
}

// In a folder that everyone may write to and that keeps others' files
// (sticky), a link made by another user is not followed: it could aim a
// save run by root at any file of the system.
TEST(LinkedSave, RefusesAnotherUsersLinkInASharedStickyFolder)
{
    if (!reliability::RunningAsRoot())
        GTEST_SKIP() << "giving a link to another user needs root";
    ScratchFolder secretFolder;
    const std::string secret = "root only\n";
    secretFolder.Write(secret, "secret");
    const std::string secretPath = (secretFolder.Path() + QStringLiteral("/secret")).toStdString();
    ASSERT_EQ(chmod(secretPath.c_str(), 0600), 0);

    ScratchFolder shared;
    ASSERT_EQ(chmod(".", 01777), 0);
    ASSERT_EQ(symlink(secretPath.c_str(), "HiScores.ini"), 0);
    ASSERT_EQ(lchown("HiScores.ini", reliability::kNobody, reliability::kNobody), 0);

    EXPECT_EQ(AdmitWhileSavingFails(), "");
    EXPECT_EQ(FileBytes(secretPath.c_str()), secret);
    EXPECT_TRUE(QFileInfo(QStringLiteral("HiScores.ini")).isSymLink());
    EXPECT_EQ(LeftBehind({"HiScores.ini"}), std::vector<std::string>());

    // The same link made by the player (here root, also the folder's owner)
    // is the player's choice.
    ASSERT_EQ(lchown("HiScores.ini", 0, 0), 0);
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    table.InsertScore(70);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(FileBytes(secretPath.c_str()), highscores::FormatHighScores(table.m_names, table.m_scores));
}

// A save keeps the mode of the file it replaces, and, run by root, its owner:
// a game once run as root must not lock the owner out of the file.
TEST(KeptAttributes, ModeAndOwnerSurviveASave)
{
    ScratchFolder folder;
    folder.Write(OldTable());
    ASSERT_EQ(chmod("HiScores.ini", 0640), 0);
    const bool asRoot = reliability::RunningAsRoot();
    if (asRoot) {
        ASSERT_EQ(chown("HiScores.ini", reliability::kNobody, reliability::kNobody), 0);
    }

    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    table.InsertScore(70);
    EXPECT_TRUE(modal.messages.empty());
    struct stat st{};
    ASSERT_EQ(stat("HiScores.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (asRoot) {
        EXPECT_EQ(st.st_uid, reliability::kNobody);
        EXPECT_EQ(st.st_gid, reliability::kNobody);
    }
    EXPECT_EQ(folder.Read(), highscores::FormatHighScores(table.m_names, table.m_scores));
}

// A folder where no new file may be made, holding a file that may be
// written: the save writes the file in place rather than lose the score.
TEST(InPlaceSave, FolderClosedToNewFilesButFileWritable)
{
    ScratchFolder folder;
    folder.Write(OldTable());
    ASSERT_EQ(chmod("HiScores.ini", 0666), 0);
    EXPECT_CHILD_PASSES([&] {
        return InClosedFolder(folder, []() -> std::string {
            CHighScoreDlg table;
            highscores::DefaultTable(table.m_names, table.m_scores);
            ScriptedModal modal;
            table.InsertScore(70);
            if (!modal.messages.empty())
                return "message: " + modal.messages[0].toStdString();
            if (FileBytes("HiScores.ini") != highscores::FormatHighScores(table.m_names, table.m_scores))
                return "the file does not hold the new table";
            return "";
        });
    });
    EXPECT_EQ(LeftBehind({"HiScores.ini"}), std::vector<std::string>());
}

// Admits 5000 for "Ada" into `table` (the default table) with a fault
// hook in place; the old table stands in the file. Returns what went wrong
// with the file and the message, or "" when the failure was handled.
// `replaced`: the failing step came after the new table took the file's
// place, so the file holds the new table rather than the old.
std::string FailOneStep(int failAt, int error, const std::string& old, bool& replaced)
{
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    ScriptedModal modal;
    modal.onDialog = EnterName(QStringLiteral("Ada"));
    std::vector<platform::FileStep> steps;
    {
        reliability::StepFaults fault(failAt, error);
        table.InsertScore(5000);
        steps = fault.steps;
    }
    if (static_cast<int>(steps.size()) <= failAt)
        return "the save took only " + std::to_string(steps.size()) + " steps";
    const std::string where = reliability::Describe(failAt, steps[failAt], error) + ": ";
    replaced = std::find(steps.begin(), steps.begin() + failAt, platform::FileStep::Replace) != steps.begin() + failAt;
    const std::string fresh = highscores::FormatHighScores(table.m_names, table.m_scores);

    if (modal.messages.size() != 1 || !modal.messages[0].contains(QStringLiteral("HiScores.ini"))
        || !modal.messages[0].contains(QString::fromUtf8(std::strerror(error))))
        return where + "expected one message naming the file and the error, got "
            + (modal.messages.empty() ? std::string("none") : modal.messages[0].toStdString());
    if (FileBytes("HiScores.ini") != (replaced ? fresh : old))
        return where + "the file holds " + std::to_string(FileBytes("HiScores.ini").size()) + " bytes of neither table";
    if (const auto extra = LeftBehind({"HiScores.ini"}); !extra.empty())
        return where + "left behind: " + extra.front();
    if (table.m_names[0] != "Ada" || table.m_scores[0] != 5000)
        return where + "the admitted entry is gone";
    // The cause is gone: the next save writes the table that was kept.
    if (!table.SaveHighScores() || modal.messages.size() != 1 || FileBytes("HiScores.ini") != fresh)
        return where + "the next save did not write the table";
    return "";
}

// Every step of a save that fails, with every error real disks give, leaves
// the old file as it was (a failure after the replace, the new one), says
// so, and keeps the score for the next save.
TEST(FailedSave, EveryStepOfASaveFailsSafely)
{
    const std::string old = OldTable();
    std::vector<platform::FileStep> steps;
    {
        ScratchFolder folder;
        folder.Write(old);
        CHighScoreDlg table;
        highscores::DefaultTable(table.m_names, table.m_scores);
        reliability::StepFaults record;
        ASSERT_TRUE(table.SaveHighScores());
        steps = record.steps;
    }
    ASSERT_GE(steps.size(), 8u);
    for (int failAt = 0; failAt < static_cast<int>(steps.size()); ++failAt)
        for (const int error : reliability::DiskErrors()) {
            ScratchFolder folder;
            folder.Write(old);
            bool replaced = false;
            EXPECT_EQ(FailOneStep(failAt, error, old, replaced), "");
            EXPECT_EQ(replaced, steps[failAt] == platform::FileStep::SyncFolder)
                << reliability::Describe(failAt, steps[failAt], error);
        }
}

// The same for the rewrite in place, in a folder that takes no new file.
TEST(InPlaceSave, EveryStepFailsSafely)
{
    ScratchFolder folder;
    const std::string old = OldTable();
    folder.Write(old);
    ASSERT_EQ(chmod("HiScores.ini", 0666), 0);
    EXPECT_CHILD_PASSES([&] {
        return InClosedFolder(folder, [&]() -> std::string {
            std::vector<platform::FileStep> steps;
            {
                CHighScoreDlg table;
                highscores::DefaultTable(table.m_names, table.m_scores);
                reliability::StepFaults record;
                if (!table.SaveHighScores())
                    return "the save in place failed";
                steps = record.steps;
            }
            if (std::find(steps.begin(), steps.end(), platform::FileStep::OpenInPlace) == steps.end())
                return "the save did not write in place";
            for (int failAt = 0; failAt < static_cast<int>(steps.size()); ++failAt)
                for (const int error : reliability::DiskErrors()) {
                    if (FILE* file = std::fopen("HiScores.ini", "wb")) {
                        const bool written = std::fwrite(old.data(), 1, old.size(), file) == old.size();
                        if (std::fclose(file) != 0 || !written)
                            return "the old table could not be put back";
                    }
                    bool replaced = false;
                    if (std::string problem = FailOneStep(failAt, error, old, replaced); !problem.empty())
                        return problem;
                }
            return "";
        });
    });
}

// A rewrite in place that stops part way, at a file-size limit: the file
// already holds the first bytes of the new table, and gets its old bytes back.
TEST(InPlaceSave, PartlyWrittenFileIsPutBack)
{
    ScratchFolder folder;
    std::vector<std::string> names(10, "Quillware");
    std::vector<std::uint32_t> scores = {100, 90, 80, 70, 60, 50, 40, 30, 20, 10};
    const std::string old = highscores::FormatHighScores(names, scores);   // 165 bytes
    folder.Write(old);
    ASSERT_EQ(chmod("HiScores.ini", 0666), 0);
    EXPECT_CHILD_PASSES([&] {
        return InClosedFolder(folder, [&]() -> std::string {
            // Read back, the names are 44 bytes long: the new table takes 515.
            CHighScoreDlg table;
            ScriptedModal modal;
            table.LoadHighScores();
            if (!reliability::LimitFileSize(300))
                return "the limit could not be set";
            const bool saved = table.SaveHighScores();
            reliability::LimitFileSize(RLIM_INFINITY);
            if (saved || modal.messages.size() != 1 || !modal.messages[0].contains(QString::fromUtf8(std::strerror(EFBIG))))
                return "the failure was not reported";
            if (FileBytes("HiScores.ini") != old)
                return "the old bytes are not back: " + FileBytes("HiScores.ini").substr(0, 40) + "...";
            return "";
        });
    });
}

// A child saves two tables by turns and is killed part way. It reports
// every step of a save, and every save done, and waits before each step
// until the test lets it go on, so the kills fall where the test chooses
// whatever the machine's load: before each step of each kind of save and
// between saves (the file then holds exactly the table of the last save
// that reached its replace), and, letting the child run on, during each
// step (one table or the other). Whatever the moment, the file holds one
// table whole.
TEST(InterruptedSave, FileIsAlwaysTheOldOrTheNewTable)
{
    ScratchFolder folder;
    CHighScoreDlg table;
    highscores::DefaultTable(table.m_names, table.m_scores);
    const std::vector<std::string> namesA = table.m_names, namesB(10, std::string(44, 'k'));
    const std::vector<std::uint32_t> scoresA = table.m_scores, scoresB(10, 4242);
    const std::string bytesA = highscores::FormatHighScores(namesA, scoresA);
    const std::string bytesB = highscores::FormatHighScores(namesB, scoresB);
    ASSERT_EQ(bytesB.size(), 515u);
    constexpr unsigned char kSaveDone = 0xFF;

    // The events of one save of each kind, and one "save done" after each.
    std::vector<unsigned char> cycle;
    {
        folder.Write(bytesA);
        ScriptedModal modal;
        for (const auto* names : {&namesB, &namesA}) {
            reliability::StepFaults record;
            table.m_names = *names;
            table.m_scores = names == &namesB ? scoresB : scoresA;
            ASSERT_TRUE(table.SaveHighScores());
            for (const platform::FileStep step : record.steps)
                cycle.push_back(static_cast<unsigned char>(step));
            cycle.push_back(kSaveDone);
        }
    }
    const auto replace = static_cast<unsigned char>(platform::FileStep::Replace);
    ASSERT_EQ(std::count(cycle.begin(), cycle.end(), replace), 2);
    // The first replace of the cycle is table B's, the second table A's.
    const std::size_t replaceOfB = std::find(cycle.begin(), cycle.end(), replace) - cycle.begin();

    int sawOld = 0, sawNew = 0;
    // Two rounds through the cycle and a bit: kills in the first save of
    // the child, and in later ones after a whole pair of saves.
    const int events = static_cast<int>(cycle.size()) * 2 + 3;
    for (const bool runOn : {false, true})
        for (int killAt = 0; killAt < events; ++killAt) {
            SCOPED_TRACE(std::string(runOn ? "during" : "before") + " event " + std::to_string(killAt));
            // A killed save leaves its temporary file behind; a fresh
            // round starts without them, so its steps are the recorded ones.
            for (const std::string& name : LeftBehind({"HiScores.ini"}))
                ASSERT_EQ(unlink(name.c_str()), 0);
            folder.Write(bytesA);
            int report[2], go[2];
            ASSERT_EQ(pipe(report), 0);
            ASSERT_EQ(pipe(go), 0);
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                close(report[0]);
                close(go[1]);
                const auto tell = [&](unsigned char event) {
                    char answer = 0;
                    if (write(report[1], &event, 1) != 1 || read(go[0], &answer, 1) != 1)
                        _exit(0);   // the test is gone
                };
                platform::SetFileStepHook([&](platform::FileStep step) {
                    tell(static_cast<unsigned char>(step));
                    return 0;
                });
                ScriptedModal modal;
                for (;;) {
                    table.m_names = namesB;
                    table.m_scores = scoresB;
                    if (!table.SaveHighScores())
                        _exit(3);
                    tell(kSaveDone);
                    table.m_names = namesA;
                    table.m_scores = scoresA;
                    if (!table.SaveHighScores())
                        _exit(3);
                    tell(kSaveDone);
                }
            }
            close(report[1]);
            close(go[0]);
            // Let the child through `killAt` events; at the next it waits
            // (or, running on, has been let through and runs).
            const std::string* expected = &bytesA;
            bool inOrder = true;
            for (int event = 0; event <= killAt; ++event) {
                unsigned char seen = 0;
                if (read(report[0], &seen, 1) != 1 || seen != cycle[event % cycle.size()]) {
                    inOrder = false;
                    break;
                }
                if (event == killAt && !runOn)
                    break;
                const char answer = 1;
                if (write(go[1], &answer, 1) != 1) {
                    inOrder = false;
                    break;
                }
                if (seen == replace)
                    expected = event % cycle.size() == replaceOfB ? &bytesB : &bytesA;
            }
            kill(pid, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            close(report[0]);
            close(go[1]);
            ASSERT_TRUE(inOrder) << "the child's saves took other steps than the recorded ones";
            ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself";

            const std::string bytes = folder.Read();
            if (bytes == bytesA)
                ++sawOld;
            else if (bytes == bytesB)
                ++sawNew;
            else
                ADD_FAILURE() << "the file holds " << bytes.size() << " bytes of neither table";
            // Stopped before a step, the file is exactly as the last replace left it.
            if (!runOn) {
                EXPECT_EQ(bytes == bytesB ? "B" : "A", expected == &bytesB ? "B" : "A");
            }
        }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}

namespace {

// `table` read from its bytes, with `name` admitted at rank 1 for a score
// above all: the table a save writes after placing it there.
std::string WithAdaOnTop(const std::string& table, std::uint32_t score = 5000)
{
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    highscores::ParseHighScores(table.data(), table.size(), names, scores);
    names.insert(names.begin(), "Ada");
    scores.insert(scores.begin(), score);
    names.pop_back();
    scores.pop_back();
    return highscores::FormatHighScores(names, scores);
}

// Fails every step of one kind with `error` while `failing` is set.
class FailingStep {
public:
    FailingStep(platform::FileStep step, int error)
    {
        m_previous = platform::SetFileStepHook([this, step, error](platform::FileStep s) {
            return failing && s == step ? error : 0;
        });
    }
    ~FailingStep() { platform::SetFileStepHook(std::move(m_previous)); }
    bool failing = true;

private:
    platform::FileStepHook m_previous;
};

} // namespace

// A table the player may write but not read (mode 0200) loads as the
// defaults, as any unreadable one; an admitted score is then not written
// over it, and once the file reads again the score goes into the table it
// holds.
TEST(UnreadableTable, WriteOnlyTableIsNeverWrittenOver)
{
    ScratchFolder folder;
    const std::string real = OldTable();
    folder.Write(real);
    const bool asRoot = reliability::RunningAsRoot();
    const QByteArray path = folder.Path().toLocal8Bit();
    if (asRoot) {
        ASSERT_EQ(chown(path.constData(), reliability::kNobody, reliability::kNobody), 0);
        ASSERT_EQ(chown("HiScores.ini", reliability::kNobody, reliability::kNobody), 0);
    }
    ASSERT_EQ(chmod("HiScores.ini", 0200), 0);
    EXPECT_CHILD_PASSES([&]() -> std::string {
        if (asRoot && !reliability::DropRoot())
            return reliability::CannotRunHere("running as root, and the child process cannot give up root");
        if (FILE* file = std::fopen("HiScores.ini", "rb")) {
            std::fclose(file);
            return "the file is readable after all";
        }
        CHighScoreDlg table;
        ScriptedModal modal;
        modal.onDialog = EnterName(QStringLiteral("Ada"));
        table.LoadHighScores();
        if (modal.messages.size() != 1 || !modal.messages[0].contains(QStringLiteral("cannot be read")))
            return "the load did not say the file cannot be read";
        table.InsertScore(5000);
        if (modal.messages.size() != 2)
            return "the save said nothing";
        const QString& text = modal.messages[1];
        if (!text.contains(QStringLiteral("could not be saved")) || !text.contains(QStringLiteral("HiScores.ini"))
            || !text.contains(QString::fromUtf8(std::strerror(EACCES))))
            return "unclear message: " + text.toStdString();
        if (table.m_names[0] != "Ada" || table.m_scores[0] != 5000)
            return "the score is not kept";
        if (chmod("HiScores.ini", 0600) != 0)
            return "the file could not be made readable";
        if (FileBytes("HiScores.ini") != real)
            return "the real table was written over";
        if (!table.SaveHighScores() || modal.messages.size() != 2)
            return "the save once the file reads failed";
        if (FileBytes("HiScores.ini") != WithAdaOnTop(real))
            return "the score did not go into the real table";
        return "";
    });
}

// A read error at the start (a bad sector, a disk that came back) brings
// the defaults; the save reads the file again and places the score into the
// table there, or, while the error lasts, writes nothing.
TEST(UnreadableTable, ReadErrorAtTheStartThatClearsLater)
{
    for (const bool lastsToTheSave : {false, true}) {
        SCOPED_TRACE(lastsToTheSave ? "the error lasts to the save" : "the error has cleared by the save");
        ScratchFolder folder;
        const std::string real = OldTable();
        folder.Write(real);
        CHighScoreDlg table;
        ScriptedModal modal;
        modal.onDialog = EnterName(QStringLiteral("Ada"));
        FailingStep fault(platform::FileStep::Read, EIO);
        table.LoadHighScores();
        ASSERT_EQ(modal.messages.size(), 1u);
        EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("cannot be read")));
        EXPECT_EQ(table.m_names[0], "Quillware");

        fault.failing = lastsToTheSave;
        table.InsertScore(5000);
        if (lastsToTheSave) {
            ASSERT_EQ(modal.messages.size(), 2u);
            EXPECT_TRUE(modal.messages[1].contains(QStringLiteral("could not be saved to \"HiScores.ini\"")));
            EXPECT_TRUE(modal.messages[1].contains(QString::fromUtf8(std::strerror(EIO))));
            EXPECT_EQ(folder.Read(), real);
            fault.failing = false;
            EXPECT_TRUE(table.SaveHighScores());
        }
        EXPECT_EQ(modal.messages.size(), lastsToTheSave ? 2u : 1u);
        EXPECT_EQ(folder.Read(), WithAdaOnTop(real));
        // The list shows the table that was written.
        EXPECT_EQ(highscores::FormatHighScores(table.m_names, table.m_scores), folder.Read());
    }
}

// A folder the player may write and enter but not list (mode 0300): it
// cannot be opened, so it cannot be locked by them, yet it takes a new file
// and a rename. The load reads the table there and every admitted score is
// saved, into the table that stands or as the first one; the save leaves no
// other file behind. Root may list any folder, so a root child gives the
// folder to nobody and gives up root first.
TEST(UnlistedFolder, SavesInAFolderThatCannotBeListed)
{
    const bool asRoot = reliability::RunningAsRoot();
    for (const bool tableAtStart : {true, false}) {
        SCOPED_TRACE(tableAtStart ? "a table there" : "no table yet");
        ScratchFolder folder;
        const std::string old = OldTable();
        if (tableAtStart)
            folder.Write(old);
        const QByteArray path = folder.Path().toLocal8Bit();
        if (asRoot) {
            ASSERT_EQ(chown(path.constData(), reliability::kNobody, reliability::kNobody), 0);
            if (tableAtStart) {
                ASSERT_EQ(chown("HiScores.ini", reliability::kNobody, reliability::kNobody), 0);
            }
        }
        ASSERT_EQ(chmod(path.constData(), 0300), 0);
        EXPECT_CHILD_PASSES([&]() -> std::string {
            if (asRoot && !reliability::DropRoot())
                return reliability::CannotRunHere("running as root, and the child process cannot give up root");
            if (const int listing = open(".", O_RDONLY | O_DIRECTORY); listing >= 0) {
                close(listing);
                return "the folder can be listed after all";
            }
            CHighScoreDlg table;
            ScriptedModal modal;
            modal.onDialog = EnterName(QStringLiteral("Ada"));
            table.LoadHighScores();
            if (!modal.messages.empty())
                return "the load said: " + modal.messages[0].toStdString();
            // Names are kept padded to their full width.
            if (tableAtStart && (table.m_names[0].rfind("Old Timer", 0) != 0 || table.m_scores[0] != 900))
                return "the load did not read the table there";
            table.InsertScore(5000);
            if (!modal.messages.empty())
                return "the save said: " + modal.messages[0].toStdString();
            if (FileBytes("HiScores.ini") != highscores::FormatHighScores(table.m_names, table.m_scores)
                || table.m_names[0] != "Ada")
                return "the file does not hold the new table";
            // A second score, into the file the first save made.
            modal.onDialog = EnterName(QStringLiteral("Bo"));
            table.InsertScore(6000);
            if (!modal.messages.empty())
                return "the second save said: " + modal.messages[0].toStdString();
            if (FileBytes("HiScores.ini") != highscores::FormatHighScores(table.m_names, table.m_scores)
                || table.m_names[0] != "Bo" || table.m_names[1] != "Ada")
                return "the file does not hold the second table";
            return "";
        });
        ASSERT_EQ(chmod(path.constData(), 0700), 0);
        EXPECT_EQ(LeftBehind({"HiScores.ini"}), std::vector<std::string>());
    }
}

// Another game (or anything else) keeps the table's lock: a game waits a
// while, then says so; the score stays in its table and goes into the
// file at the next save. Readers share the lock with each other.
TEST(LockedTable, AGameThatCannotGetTheLockSaysSoAndKeepsItsScore)
{
    ScratchFolder folder;
    const std::string real = OldTable();
    folder.Write(real);
    const std::chrono::milliseconds patience = platform::SetLockPatience(std::chrono::milliseconds(100));
    const int held = open(folder.Path().toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    CHighScoreDlg table;
    ScriptedModal modal;
    modal.onDialog = EnterName(QStringLiteral("Ada"));
    table.LoadHighScores();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("cannot be read")));
    EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("locked")));
    table.InsertScore(5000);
    ASSERT_EQ(modal.messages.size(), 2u);
    EXPECT_TRUE(modal.messages[1].contains(QStringLiteral("could not be saved to \"HiScores.ini\"")));
    EXPECT_TRUE(modal.messages[1].contains(QStringLiteral("locked")));
    EXPECT_EQ(table.m_names[0], "Ada");
    EXPECT_EQ(folder.Read(), real);

    // A reader's lock keeps writers away, not readers.
    ASSERT_EQ(flock(held, LOCK_SH), 0);
    CHighScoreDlg reader;
    reader.LoadHighScores();
    EXPECT_EQ(modal.messages.size(), 2u);
    EXPECT_EQ(reader.m_scores[0], 900u);
    EXPECT_FALSE(table.SaveHighScores());
    EXPECT_EQ(modal.messages.size(), 3u);

    close(held);
    EXPECT_TRUE(table.SaveHighScores());
    EXPECT_EQ(modal.messages.size(), 3u);
    EXPECT_EQ(folder.Read(), WithAdaOnTop(real));
    platform::SetLockPatience(patience);
}

// The system's words in a message read as the locale writes them: here
// Latin-1, where "Gerät" must not come out as "Ger\uFFFDt".
TEST(SaveMessages, TheSystemsWordsReadInTheLocalesCharacterSet)
{
    ScratchFolder folder;
    EXPECT_CHILD_PASSES([&]() -> std::string {
        const char* locale = "de_DE.ISO-8859-1";
        QTemporaryDir made;
        if (!std::setlocale(LC_ALL, locale)) {
            // Not installed here: made for this process alone.
            if (std::system("command -v localedef >/dev/null 2>&1") != 0)
                return reliability::CannotRunHere("no localedef (Debian package locales)");
            const std::string where = made.path().toStdString() + "/" + locale;
            // localedef may end with a warning and a status other than 0
            // after making the locale all the same: setlocale() decides.
            const int status = std::system(("localedef -i de_DE -f ISO-8859-1 '" + where + "' >/dev/null 2>&1").c_str());
            (void)status;
            setenv("LOCPATH", made.path().toLocal8Bit().constData(), 1);
            if (!std::setlocale(LC_ALL, locale))
                return reliability::CannotRunHere(std::string(locale) + " cannot be made (Debian package locales)");
        }
        unsetenv("LANGUAGE");
        const char* words = std::strerror(ENOSPC);
        const QString expected = QString::fromLatin1(words);
        if (!expected.contains(QChar(0xE4)))
            return reliability::CannotRunHere(std::string("the C library's German messages are missing (Debian "
                                                          "package libc-l10n): ") + words);

        CHighScoreDlg table;
        ScriptedModal modal;
        FailingStep fault(platform::FileStep::Write, ENOSPC);
        highscores::DefaultTable(table.m_names, table.m_scores);
        table.InsertScore(5000);
        if (modal.messages.size() != 1 || !modal.messages[0].endsWith(expected))
            return "the save's message reads "
                + (modal.messages.empty() ? std::string("nothing") : modal.messages[0].toStdString());
        CHighScoreDlg loaded;
        folder.Write(OldTable());
        FailingStep readFault(platform::FileStep::Read, ENOSPC);
        loaded.LoadHighScores();
        if (modal.messages.size() != 2 || !modal.messages[1].endsWith(expected))
            return "the load's message does not end with the system's words";
        return "";
    });
}

namespace {

constexpr uid_t kAnotherUser = 4242;

// Where a game is started, and what it finds there.
struct LinkCase {
    const char* what;
    bool asNobody;          // the player: nobody, or root
    bool followed;          // the link is the player's to follow
    const char* start;      // the folder the game starts in
    const char* reached;    // the file the links lead to
    std::function<bool(const std::string& top)> make;
};

bool MakeFolder(const std::string& path, uid_t owner, mode_t mode)
{
    return mkdir(path.c_str(), mode) == 0 && chown(path.c_str(), owner, owner) == 0 && chmod(path.c_str(), mode) == 0;
}

bool MakeLink(const std::string& target, const std::string& path, uid_t owner)
{
    return symlink(target.c_str(), path.c_str()) == 0 && lchown(path.c_str(), owner, owner) == 0;
}

bool MakeTable(const std::string& path, uid_t owner, mode_t mode, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written && chown(path.c_str(), owner, owner) == 0 && chmod(path.c_str(), mode) == 0;
}

} // namespace

// A link is followed, for the load and the save alike, only where it is the
// player's own; a link on the way to a folder may be root's as well, as
// /home is on some systems. Any other link brings the message at the load
// and at the save, and the file it leads to is never written.
TEST(LinkedTable, OnlyThePlayersOwnLinksAreFollowed)
{
    if (!reliability::RunningAsRoot())
        GTEST_SKIP() << "giving links and folders to other users needs root";
    const uid_t nobody = reliability::kNobody;
    const std::string table = OldTable();
    const std::string profile = "PATH=$HOME/bin:$PATH\n";
    const LinkCase cases[] = {
        {"another user's link in their own folder, to the player's own file", true, false, "theirs", "mine/profile",
         [&](const std::string& top) {
             return MakeFolder(top + "/mine", nobody, 0755) && MakeTable(top + "/mine/profile", nobody, 0644, profile)
                 && MakeFolder(top + "/theirs", kAnotherUser, 0755)
                 && MakeLink(top + "/mine/profile", top + "/theirs/HiScores.ini", kAnotherUser);
         }},
        {"another user's link in their subfolder of a folder open to all, to a root-only file", false, false,
         "open/sub", "secret",
         [&](const std::string& top) {
             return MakeTable(top + "/secret", 0, 0600, table) && MakeFolder(top + "/open", 0, 0777)
                 && MakeFolder(top + "/open/sub", kAnotherUser, 0755)
                 && MakeLink(top + "/secret", top + "/open/sub/HiScores.ini", kAnotherUser);
         }},
        {"another user's link in a sticky folder open to all", false, false, "shared", "secret",
         [&](const std::string& top) {
             return MakeTable(top + "/secret", 0, 0600, table) && MakeFolder(top + "/shared", 0, 01777)
                 && MakeLink(top + "/secret", top + "/shared/HiScores.ini", kAnotherUser);
         }},
        {"the player's own link, through another user's link to a folder", false, false, "play", "elsewhere/scores",
         [&](const std::string& top) {
             return MakeFolder(top + "/elsewhere", 0, 0755) && MakeTable(top + "/elsewhere/scores", 0, 0644, table)
                 && MakeFolder(top + "/play", 0, 0755) && MakeLink(top + "/elsewhere", top + "/play/sub", kAnotherUser)
                 && MakeLink("sub/scores", top + "/play/HiScores.ini", 0);
         }},
        {"root's link standing for the file of a player who is not root", true, false, "play", "kept/scores",
         [&](const std::string& top) {
             return MakeFolder(top + "/kept", nobody, 0755) && MakeTable(top + "/kept/scores", nobody, 0644, table)
                 && MakeFolder(top + "/play", nobody, 0755) && MakeLink("../kept/scores", top + "/play/HiScores.ini", 0);
         }},
        {"root's own link, run as root", false, true, "play", "kept/scores",
         [&](const std::string& top) {
             return MakeFolder(top + "/kept", 0, 0755) && MakeTable(top + "/kept/scores", 0, 0644, table)
                 && MakeFolder(top + "/play", 0, 0755) && MakeLink("../kept/scores", top + "/play/HiScores.ini", 0);
         }},
        {"the player's own link, as a player who is not root", true, true, "play", "kept/scores",
         [&](const std::string& top) {
             return MakeFolder(top + "/kept", nobody, 0755) && MakeTable(top + "/kept/scores", nobody, 0644, table)
                 && MakeFolder(top + "/play", nobody, 0755)
                 && MakeLink("../kept/scores", top + "/play/HiScores.ini", nobody);
         }},
        {"the player's own link through root's link to a folder, as /home may be", true, true, "play", "realhome/scores",
         [&](const std::string& top) {
             return MakeFolder(top + "/realhome", nobody, 0755) && MakeTable(top + "/realhome/scores", nobody, 0644, table)
                 && MakeLink(top + "/realhome", top + "/home", 0) && MakeFolder(top + "/play", nobody, 0755)
                 && MakeLink(top + "/home/scores", top + "/play/HiScores.ini", nobody);
         }},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder folder;
        const std::string top = folder.Path().toStdString();
        ASSERT_EQ(chmod(top.c_str(), 0755), 0);
        ASSERT_TRUE(c.make(top));
        const std::string reached = top + "/" + c.reached;
        const std::string before = FileBytes(reached.c_str());
        const std::string start = top + "/" + c.start;

        EXPECT_CHILD_PASSES([&]() -> std::string {
            if (chdir(start.c_str()) != 0 || (c.asNobody && !reliability::DropRoot()))
                return "the player could not be set up";
            CHighScoreDlg game;
            ScriptedModal modal;
            modal.onDialog = EnterName(QStringLiteral("Ada"));
            game.LoadHighScores();
            game.InsertScore(5000);
            if (c.followed)
                return modal.messages.empty() ? "" : "message: " + modal.messages[0].toStdString();
            if (modal.messages.size() != 2)
                return "expected a message at the load and at the save, got " + std::to_string(modal.messages.size());
            const QString another = QStringLiteral("a link that another user made");
            if (!modal.messages[0].contains(QStringLiteral("cannot be read")) || !modal.messages[0].contains(another))
                return "the load says: " + modal.messages[0].toStdString();
            if (!modal.messages[1].contains(QStringLiteral("could not be saved")) || !modal.messages[1].contains(another))
                return "the save says: " + modal.messages[1].toStdString();
            return "";
        });
        EXPECT_EQ(FileBytes(reached.c_str()), c.followed ? WithAdaOnTop(before) : before);
        EXPECT_TRUE(QFileInfo(QString::fromStdString(start + "/HiScores.ini")).isSymLink());
    }
}

// A save killed part way, before or during any of its steps, on a disk so
// slow that the kill falls where the test chooses (each step waits for the
// test), may leave its temporary file; the next save removes it, and
// nothing else: not the player's own copy under a name like the one saves
// used to give, nor another user's file.
TEST(InterruptedSave, NoTemporaryFileOutlivesTheNextSave)
{
    const bool asRoot = reliability::RunningAsRoot();
    std::vector<std::string> kept = {"HiScores.ini", "HiScores.ini.backup", "HiScores.ini.saving-short",
                                     "HiScores.ini.saving-Folder"};
    if (asRoot)
        kept.push_back("HiScores.ini.saving-Others");
    int leftovers = 0;
    for (const bool tableAtStart : {true, false})
        for (const bool during : {false, true})
            for (int killAt = 0;; ++killAt) {
                SCOPED_TRACE(std::string(tableAtStart ? "a table there, " : "no table yet, ")
                             + (during ? "killed during step " : "killed before step ") + std::to_string(killAt));
                ScratchFolder folder;
                if (tableAtStart)
                    folder.Write(OldTable());
                folder.Write(OldTable(), "HiScores.ini.backup");
                folder.Write("", "HiScores.ini.saving-short");
                ASSERT_EQ(mkdir("HiScores.ini.saving-Folder", 0755), 0);
                if (asRoot) {
                    folder.Write("", "HiScores.ini.saving-Others");
                    ASSERT_EQ(chown("HiScores.ini.saving-Others", reliability::kNobody, reliability::kNobody), 0);
                }

                reliability::EventPipe events;
                reliability::GameProcess game('A', events.WriteEnd());
                ASSERT_TRUE(game.Started());
                game.Load();
                ASSERT_TRUE(game.Answer().ok);
                game.Admit(5000, "Ada", true);
                bool finished = false;
                for (int step = 0;; ++step) {
                    const int which = reliability::FirstReadable({events.ReadEnd(), game.AnswerFd()});
                    ASSERT_GE(which, 0) << "the save hangs";
                    if (which == 1) {
                        finished = true;
                        break;
                    }
                    reliability::GameEvent event;
                    ASSERT_TRUE(events.Next(event));
                    if (step == killAt) {
                        if (during)
                            game.Let();
                        break;
                    }
                    game.Let();
                }
                game.Kill();
                if (finished) {
                    EXPECT_GT(killAt, 10) << "the save has fewer steps than it should";
                    break;
                }
                const auto names = [] {
                    std::vector<std::string> found;
                    for (const QString& name : QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                         | QDir::NoDotAndDotDot))
                        found.push_back(name.toStdString());
                    std::sort(found.begin(), found.end());
                    return found;
                };
                std::vector<std::string> expected = kept;
                std::sort(expected.begin(), expected.end());
                if (names() != expected)
                    ++leftovers;

                CHighScoreDlg next;
                ScriptedModal modal;
                next.LoadHighScores();
                next.InsertScore(7000);
                EXPECT_TRUE(modal.messages.empty());
                EXPECT_EQ(names(), expected);
            }
    EXPECT_GT(leftovers, 0) << "no kill left a temporary file: the test shows nothing";
}
