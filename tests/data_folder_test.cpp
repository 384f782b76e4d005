// Started from the menu entry (--data-folder), the game runs in the player's
// data folder: where that folder lies, how it is made, what becomes of a
// table that earlier starts left in the home folder, and what the player
// sees where the data folder cannot be used.

#include "app/DataFolderStart.h"
#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "platform/DataFolder.h"
#include "platform/FileStore.h"
#include "reliability/ChildProcess.h"
#include "support/TestSupport.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Sets (or, with nullopt, unsets) an environment variable for the life of
// the object.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~EnvironmentVariable() { Set(m_old); }

private:
    void Set(const std::optional<std::string>& value)
    {
        if (value)
            setenv(m_name, value->c_str(), 1);
        else
            unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string CurrentFolder()
{
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : "";
}

bool WriteFile(const std::string& path, const std::string& bytes, mode_t mode = 0644)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written && chmod(path.c_str(), mode) == 0;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A table as earlier starts left it: rank 10 holds 0; checksum 4444.
const std::string kHomeTable =
    "Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~"
    "Nobody~00000~04444";

std::string OtherTable()
{
    std::vector<std::string> names(10, "Data Folder");
    std::vector<std::uint32_t> scores = {90, 80, 70, 60, 50, 40, 30, 20, 10, 5};
    return highscores::FormatHighScores(names, scores);
}

// A player with a home folder of their own (HOME), no XDG_DATA_HOME, and a
// start from another folder, as a launcher would leave it.
class MenuStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_top.isValid());
        char real[PATH_MAX];
        ASSERT_TRUE(realpath(m_top.path().toLocal8Bit().constData(), real));
        top = real;
        // Open to other users, for the cases run as a player who is not root.
        ASSERT_EQ(chmod(top.c_str(), 0755), 0);
        home = top + "/home";
        start = top + "/start";
        data = home + "/.local/share/coilrunner";
        ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(start.c_str(), 0755), 0);
        m_home.emplace("HOME", home);
        m_dataHome.emplace("XDG_DATA_HOME", std::nullopt);
        m_previous = CurrentFolder();
        ASSERT_EQ(chdir(start.c_str()), 0);
    }
    void TearDown() override
    {
        if (!m_previous.empty()) {
            EXPECT_EQ(chdir(m_previous.c_str()), 0);
        }
        m_dataHome.reset();
        m_home.reset();
    }

    std::string top, home, start, data;

private:
    QTemporaryDir m_top;
    std::string m_previous;
    std::optional<EnvironmentVariable> m_home, m_dataHome;
};

std::string HomeFromUserDatabase()
{
    const passwd* entry = getpwuid(geteuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

} // namespace

TEST(DataFolderPlace, FoundByTheBaseDirectoryRules)
{
    const std::string database = HomeFromUserDatabase();
    const struct Case {
        const char* what;
        std::optional<std::string> home, dataHome;
        std::string path, knownHome;
    } cases[] = {
        {"the home folder's data home", "/home/ada", std::nullopt, "/home/ada/.local/share/coilrunner", "/home/ada"},
        {"a home folder ending in slashes", "/home/ada//", std::nullopt, "/home/ada/.local/share/coilrunner", "/home/ada"},
        {"XDG_DATA_HOME", "/home/ada", "/srv/data", "/srv/data/coilrunner", "/home/ada"},
        {"XDG_DATA_HOME ending in a slash", "/home/ada", "/srv/data/", "/srv/data/coilrunner", "/home/ada"},
        {"XDG_DATA_HOME as the root folder", "/home/ada", "/", "/coilrunner", "/home/ada"},
        {"a relative XDG_DATA_HOME is ignored", "/home/ada", "data", "/home/ada/.local/share/coilrunner", "/home/ada"},
        {"an empty XDG_DATA_HOME is ignored", "/home/ada", "", "/home/ada/.local/share/coilrunner", "/home/ada"},
        {"a relative HOME gives way to the user database", "ada", std::nullopt, database + "/.local/share/coilrunner",
         database},
        {"no HOME: the user database", std::nullopt, std::nullopt, database + "/.local/share/coilrunner", database},
        {"an empty HOME: the user database", "", std::nullopt, database + "/.local/share/coilrunner", database},
        {"XDG_DATA_HOME without a home folder", std::nullopt, "/srv/data", "/srv/data/coilrunner", database},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (database.empty() && c.knownHome.empty())
            continue;
        EnvironmentVariable home("HOME", c.home);
        EnvironmentVariable dataHome("XDG_DATA_HOME", c.dataHome);
        const platform::DataFolder folder = platform::FindDataFolder("coilrunner");
        EXPECT_EQ(folder.Path(), c.path);
        EXPECT_EQ(folder.home, c.knownHome);
        EXPECT_TRUE(folder.reason.isEmpty());
    }
}

// The folders that were missing are made, each with mode 700 whatever the
// process's mask, and the last one is entered; folders that were there keep
// their mode. The home folder itself is never made.
TEST_F(MenuStart, TheDataFolderIsMadeWithMode700AndEntered)
{
    ASSERT_EQ(mkdir((home + "/.local").c_str(), 0755), 0);
    const mode_t mask = umask(0277);
    QString reason;
    const bool entered = platform::EnterDataFolder(platform::FindDataFolder("coilrunner"), reason);
    umask(mask);
    ASSERT_TRUE(entered) << reason.toStdString();
    EXPECT_EQ(CurrentFolder(), data);
    EXPECT_EQ(ModeOf(home + "/.local"), 0755u);
    EXPECT_EQ(ModeOf(home + "/.local/share"), 0700u);
    EXPECT_EQ(ModeOf(data), 0700u);
    // Nothing else is put there.
    EXPECT_FALSE(Exists(data + "/HiScores.ini"));

    // XDG_DATA_HOME is made too where it is missing.
    EnvironmentVariable dataHome("XDG_DATA_HOME", top + "/xdg/data");
    ASSERT_TRUE(platform::EnterDataFolder(platform::FindDataFolder("coilrunner"), reason)) << reason.toStdString();
    EXPECT_EQ(CurrentFolder(), top + "/xdg/data/coilrunner");
    EXPECT_EQ(ModeOf(top + "/xdg"), 0700u);
    EXPECT_EQ(ModeOf(top + "/xdg/data/coilrunner"), 0700u);

    // The player's own link on the way is followed.
    ASSERT_EQ(mkdir((top + "/elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(symlink((top + "/elsewhere").c_str(), (top + "/linked").c_str()), 0);
    EnvironmentVariable linked("XDG_DATA_HOME", top + "/linked");
    ASSERT_TRUE(platform::EnterDataFolder(platform::FindDataFolder("coilrunner"), reason)) << reason.toStdString();
    EXPECT_EQ(CurrentFolder(), top + "/elsewhere/coilrunner");
}

TEST_F(MenuStart, ADataFolderThatCannotBeMadeOrEnteredLeavesTheCurrentFolder)
{
    const struct Case {
        const char* what;
        std::function<bool()> make;
        const char* reason;
    } cases[] = {
        {"a file in the data folder's place", [&] {
             return mkdir((home + "/.local").c_str(), 0700) == 0 && mkdir((home + "/.local/share").c_str(), 0700) == 0
                 && WriteFile(data, "not a folder");
         },
         "Not a directory"},
        {"a file in the place of .local", [&] { return WriteFile(home + "/.local", ""); }, "Not a directory"},
        {"a link to nothing in the place of .local",
         [&] { return symlink((top + "/gone").c_str(), (home + "/.local").c_str()) == 0; }, "No such file or directory"},
        {"no home folder", [&] { return rmdir(home.c_str()) == 0; }, "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(std::system(("rm -rf '" + home + "' && mkdir '" + home + "'").c_str()), 0);
        ASSERT_TRUE(c.make());
        QString reason;
        EXPECT_FALSE(platform::EnterDataFolder(platform::FindDataFolder("coilrunner"), reason));
        EXPECT_EQ(reason, QString::fromUtf8(c.reason));
        EXPECT_EQ(CurrentFolder(), start);
    }
    // The home folder is never made.
    EXPECT_FALSE(Exists(home));
}

TEST_F(MenuStart, ADataFolderOfAnotherUserIsNotEntered)
{
    if (!reliability::RunningAsRoot())
        GTEST_SKIP() << "giving a folder to another user needs root";
    EnvironmentVariable dataHome("XDG_DATA_HOME", top + "/xdg");
    ASSERT_EQ(mkdir((top + "/xdg").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((top + "/xdg/coilrunner").c_str(), 0777), 0);
    ASSERT_EQ(chown((top + "/xdg/coilrunner").c_str(), reliability::kNobody, reliability::kNobody), 0);
    QString reason;
    EXPECT_FALSE(platform::EnterDataFolder(platform::FindDataFolder("coilrunner"), reason));
    EXPECT_EQ(reason, QStringLiteral("it belongs to another user"));
    EXPECT_EQ(CurrentFolder(), start);
}

// The first menu start that finds no table in the data folder copies the
// one earlier starts left in the home folder, byte for byte, whatever it
// holds; the home folder keeps its copy, and the game loads the table it
// always had.
TEST_F(MenuStart, TheHomeFoldersTableIsCopiedOverByteForByte)
{
    const std::string tampered = kHomeTable.substr(0, kHomeTable.size() - 1) + "5";
    const std::string longer = kHomeTable + std::string(3000, 'x');
    for (const std::string& table : {kHomeTable, tampered, longer}) {
        SCOPED_TRACE(table.size());
        ASSERT_EQ(std::system(("rm -rf '" + home + "/.local'").c_str()), 0);
        ASSERT_EQ(chdir(start.c_str()), 0);
        ASSERT_TRUE(WriteFile(home + "/HiScores.ini", table, 0640));
        ScriptedModal modal;
        EXPECT_TRUE(StartInDataFolder());
        EXPECT_TRUE(modal.messages.empty()) << modal.messages[0].toStdString();
        EXPECT_EQ(CurrentFolder(), data);
        EXPECT_EQ(FileBytes(data + "/HiScores.ini"), table);
        EXPECT_EQ(FileBytes(home + "/HiScores.ini"), table);
        EXPECT_FALSE(Exists(start + "/HiScores.ini"));
    }
    // The copy is the table the game loads, checksum and all.
    ASSERT_TRUE(WriteFile(data + "/HiScores.ini", kHomeTable));
    ScriptedModal modal;
    CHighScoreDlg game;
    game.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    ASSERT_EQ(game.m_names.size(), 10u);
    EXPECT_EQ(game.m_names[0].substr(0, 4), "Ann ");
    EXPECT_EQ(game.m_scores[0], 900u);
    EXPECT_EQ(game.m_names[9].substr(0, 7), "Nobody ");
}

// A table in the data folder is the player's table from then on: the home
// folder's is not copied over it, on this start or a later one.
TEST_F(MenuStart, ATableInTheDataFolderStays)
{
    ASSERT_TRUE(WriteFile(home + "/HiScores.ini", kHomeTable));
    {
        ScriptedModal modal;
        ASSERT_TRUE(StartInDataFolder());
    }
    ASSERT_TRUE(WriteFile(data + "/HiScores.ini", OtherTable()));
    ASSERT_EQ(chdir(home.c_str()), 0);
    ScriptedModal modal;
    EXPECT_TRUE(StartInDataFolder());
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(CurrentFolder(), data);
    EXPECT_EQ(FileBytes(data + "/HiScores.ini"), OtherTable());
    EXPECT_EQ(FileBytes(home + "/HiScores.ini"), kHomeTable);

    // With neither, nothing is made.
    ASSERT_EQ(unlink((data + "/HiScores.ini").c_str()), 0);
    ASSERT_EQ(unlink((home + "/HiScores.ini").c_str()), 0);
    EXPECT_TRUE(StartInDataFolder());
    EXPECT_FALSE(Exists(data + "/HiScores.ini"));
}

// Two starts at once: a table that another start copied, or a game saved,
// between this start's look and its copy stands; nothing is written over it.
TEST_F(MenuStart, ATableThatAppearsWhileTheCopyWaitsForTheLockStands)
{
    ASSERT_TRUE(WriteFile(home + "/HiScores.ini", kHomeTable));
    ASSERT_EQ(std::system(("mkdir -p '" + data + "'").c_str()), 0);
    // Locks are taken for the read in the home folder and for the copy (the
    // look at a name with nothing under it takes none); the other table
    // comes just before the copy's.
    int locks = 0;
    const platform::FileStepHook previous = platform::SetFileStepHook([&](platform::FileStep step) {
        if (step == platform::FileStep::Lock && ++locks == 2)
            WriteFile(data + "/HiScores.ini", OtherTable());
        return 0;
    });
    ScriptedModal modal;
    const bool inDataFolder = StartInDataFolder();
    platform::SetFileStepHook(previous);
    EXPECT_EQ(locks, 2);
    EXPECT_TRUE(inDataFolder);
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(FileBytes(data + "/HiScores.ini"), OtherTable());
    EXPECT_EQ(FileBytes(home + "/HiScores.ini"), kHomeTable);
}

// What stands in the home folder under the table's name is read as the game
// reads a table: the player's own link is followed, a link to nothing is no
// table; anything that cannot be read keeps the game in the folder it was
// started in, where it was before, with one message that says why.
TEST_F(MenuStart, WhatStandsInTheHomeFolderIsReadByTheGamesRules)
{
    const std::string kept = top + "/kept";
    const struct Case {
        const char* what;
        std::function<bool()> make;
        bool rootOnly;
        bool inDataFolder;
        std::string copied;   // what the data folder then holds
        const char* reason;   // in the message, when the game stays
    } cases[] = {
        {"the player's own link to a table",
         [&] { return WriteFile(kept, kHomeTable) && symlink(kept.c_str(), (home + "/HiScores.ini").c_str()) == 0; },
         false, true, kHomeTable, nullptr},
        {"a link to nothing", [&] { return symlink(kept.c_str(), (home + "/HiScores.ini").c_str()) == 0; }, false,
         true, "", nullptr},
        {"a folder", [&] { return mkdir((home + "/HiScores.ini").c_str(), 0755) == 0; }, false, false, "",
         "it is not a file"},
        {"a named pipe", [&] { return mkfifo((home + "/HiScores.ini").c_str(), 0644) == 0; }, false, false, "",
         "it is not a file"},
        {"a file larger than any table", [&] { return WriteFile(home + "/HiScores.ini", std::string(70000, 'x')); },
         false, false, "", "it is larger than a table of high scores can be"},
        {"another user's link to a table",
         [&] {
             return WriteFile(kept, kHomeTable) && symlink(kept.c_str(), (home + "/HiScores.ini").c_str()) == 0
                 && lchown((home + "/HiScores.ini").c_str(), reliability::kNobody, reliability::kNobody) == 0;
         },
         true, false, "", "it is a link that another user made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.rootOnly && !reliability::RunningAsRoot())
            continue;
        ASSERT_EQ(std::system(("rm -rf '" + home + "' '" + kept + "' && mkdir '" + home + "'").c_str()), 0);
        ASSERT_EQ(chdir(start.c_str()), 0);
        ASSERT_TRUE(c.make());
        ScriptedModal modal;
        EXPECT_EQ(StartInDataFolder(), c.inDataFolder);
        EXPECT_EQ(CurrentFolder(), c.inDataFolder ? data : start);
        EXPECT_EQ(FileBytes(data + "/HiScores.ini"), c.copied);
        if (c.inDataFolder) {
            EXPECT_TRUE(modal.messages.empty());
            continue;
        }
        ASSERT_EQ(modal.messages.size(), 1u);
        EXPECT_EQ(modal.messages[0],
                  QStringLiteral("The high scores in \"%1/HiScores.ini\" could not be copied to the data folder \"%2\": "
                                 "%3.\n\nThis time they are kept in \"HiScores.ini\" in \"%4\", the folder the game was "
                                 "started from.")
                      .arg(QString::fromStdString(home), QString::fromStdString(data), QString::fromUtf8(c.reason),
                           QString::fromStdString(start)));
        EXPECT_EQ(modal.types[0], platform::MB_ICONEXCLAMATION);
    }
}

// A copy that the disk refuses at any of its steps: the game stays where it
// was started, the data folder holds no table (nor a piece of one), and the
// home folder's table is as it was, to be copied at the next start.
TEST_F(MenuStart, ACopyThatFailsKeepsTheGameWhereItStarted)
{
    using platform::FileStep;
    for (const FileStep failing : {FileStep::CreateTemp, FileStep::Write, FileStep::Sync, FileStep::Replace}) {
        SCOPED_TRACE(static_cast<int>(failing));
        ASSERT_EQ(std::system(("rm -rf '" + home + "/.local'").c_str()), 0);
        ASSERT_EQ(chdir(start.c_str()), 0);
        ASSERT_TRUE(WriteFile(home + "/HiScores.ini", kHomeTable));
        const platform::FileStepHook previous =
            platform::SetFileStepHook([&](FileStep step) { return step == failing ? ENOSPC : 0; });
        ScriptedModal modal;
        const bool inDataFolder = StartInDataFolder();
        platform::SetFileStepHook(previous);
        EXPECT_FALSE(inDataFolder);
        EXPECT_EQ(CurrentFolder(), start);
        ASSERT_EQ(modal.messages.size(), 1u);
        EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("could not be copied to the data folder")));
        EXPECT_TRUE(modal.messages[0].contains(QStringLiteral(": No space left on device.")))
            << modal.messages[0].toStdString();
        EXPECT_EQ(std::system(("test -z \"$(ls -A '" + data + "')\"").c_str()), 0) << "something was left in the data folder";
        EXPECT_EQ(FileBytes(home + "/HiScores.ini"), kHomeTable);
    }
}

// The data folder cannot be made: the game starts where it was started, as
// it did before, and says so once, in a box and on standard error (where
// launchers keep it). The box shows paths as they are, never as markup.
TEST_F(MenuStart, ADataFolderThatCannotBeMadeGivesOneMessage)
{
    ASSERT_TRUE(WriteFile(home + "/.local", ""));
    ASSERT_TRUE(WriteFile(home + "/HiScores.ini", kHomeTable));
    ScriptedModal modal;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(StartInDataFolder());
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(CurrentFolder(), start);
    const QString expected =
        QStringLiteral("The high scores cannot be kept in the data folder \"%1\": Not a directory.\n\n"
                       "This time they are kept in \"HiScores.ini\" in \"%2\", the folder the game was started from.")
            .arg(QString::fromStdString(data), QString::fromStdString(start));
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0], expected);
    EXPECT_EQ(printed, "coilrunner: " + QString(expected).replace(QStringLiteral("\n\n"), QStringLiteral(" ")).toStdString() + "\n");
    EXPECT_EQ(FileBytes(home + "/HiScores.ini"), kHomeTable);
    EXPECT_FALSE(Exists(start + "/HiScores.ini"));

    const std::unique_ptr<QMessageBox> box =
        platform::MakeMessageBox(nullptr, QStringLiteral("in \"/home/<b>ada</b>\""), platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

// A home folder that takes no new folder (read-only, for a player who is
// not root): the same, with the system's reason.
TEST_F(MenuStart, AReadOnlyHomeKeepsTheGameWhereItStarted)
{
    ASSERT_TRUE(WriteFile(home + "/HiScores.ini", kHomeTable));
    if (reliability::RunningAsRoot()) {
        ASSERT_EQ(chown(home.c_str(), reliability::kNobody, reliability::kNobody), 0);
    }
    ASSERT_EQ(chmod(home.c_str(), 0555), 0);
    const std::string said = reliability::RunInChildSaying([&]() -> std::string {
        if (reliability::RunningAsRoot() && !reliability::DropRoot())
            return reliability::CannotRunHere("running as root, and the child process cannot give up root");
        ScriptedModal modal;
        if (StartInDataFolder())
            return "the game went into the data folder";
        if (CurrentFolder() != start)
            return "the game runs in " + CurrentFolder();
        if (modal.messages.size() != 1)
            return "expected one message, got " + std::to_string(modal.messages.size());
        if (!modal.messages[0].contains(QStringLiteral(": Permission denied.\n\nThis time they are kept in")))
            return "the message says: " + modal.messages[0].toStdString();
        return "";
    });
    chmod(home.c_str(), 0755);
    if (reliability::IsCannotRunHere(said))
        GTEST_SKIP() << said;
    EXPECT_EQ(said, "");
    EXPECT_FALSE(Exists(home + "/.local"));
    EXPECT_EQ(FileBytes(home + "/HiScores.ini"), kHomeTable);
}
