// "HiScores.ini" files the writer never produces: each one loads into ten
// entries without a crash or a read outside the file, shows the
// manipulation message exactly when the checksum disagrees, and stays on
// disk as it was until the next admitted score replaces it.

#include "highscores/HighScoreDlg.h"
#include "reliability/ChildProcess.h"
#include "reliability/StepFaults.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const char* const kDefaultScoreFields[] = {"00100", "00090", "00080", "00070", "00060",
                                           "00050", "00040", "00030", "00020", "00010"};

// The records of the default table; `name` and `score` replace those of one rank.
std::string Records(int rank = 0, const std::string& name = "", const std::string& score = "")
{
    std::string out;
    for (int k = 1; k <= 10; ++k) {
        out += (k == rank) ? name : std::string("Quillware");
        out += '~';
        out += (k == rank && !score.empty()) ? score : std::string(kDefaultScoreFields[k - 1]);
        out += '~';
    }
    return out;
}

std::string Padded(const std::string& name) { return name + std::string(44 - name.size(), ' '); }

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

bool IsManipulationMessage(const QString& text)
{
    return text.startsWith(QStringLiteral("Manipulation recognized! h="));
}

struct MalformedFile {
    const char* label;
    std::string bytes;
    // The manipulation message expected, "" for none, "*" for one whose
    // numbers are not worked out by hand (random bytes).
    const char* message;
    // For a file that passes its check: one entry to look at.
    int rank;
    std::string name;
    std::uint32_t score;
};

void PrintTo(const MalformedFile& file, std::ostream* os) { *os << file.label; }

const MalformedFile kMalformedFiles[] = {
    {"EmptyFile", "", "Manipulation recognized! h=0  i=-90", 0, "", 0},
    {"OneByte", "m", "Manipulation recognized! h=0  i=-87", 0, "", 0},
    // One name field running to the end: the weight of two "Quillware".
    {"NoDelimiterAtAll", "Quillware00100Quillware00090", "Manipulation recognized! h=0  i=-80", 0, "", 0},
    {"TenRecordsNoChecksum", Records(), "Manipulation recognized! h=0  i=510", 0, "", 0},
    {"ChecksumCutShort", Records() + "005", "Manipulation recognized! h=500  i=510", 0, "", 0},
    // Rank 3 loses the weight 5 of its name; the checksum says so.
    {"EmptyNameField", Records(3, "") + "00505", "", 3, Padded(""), 80},
    // The 45th byte counts in the check; the table keeps 44 bytes.
    {"NameOf45Bytes", Records(1, "Quillware" + std::string(35, 'X') + "m") + "00513", "", 1,
     "Quillware" + std::string(35, 'X'), 100},
    // Only 2500 bytes are read: one name of 2500 "a" and nothing else.
    {"NameOf3000Bytes", std::string(3000, 'a') + Records() + "00510", "Manipulation recognized! h=0  i=2410", 0,
     "", 0},
    // A byte other than a digit counts 0 at its place.
    {"LetterBeforeTheDigits", Records(1, "Quillware", "A0100") + "00510", "", 1, Padded("Quillware"), 100},
    {"LetterInPlaceOfADigit", Records(1, "Quillware", "00I00") + "00510", "Manipulation recognized! h=510  i=410",
     0, "", 0},
    {"LetterInTheChecksum", Records() + "005l0", "Manipulation recognized! h=500  i=510", 0, "", 0},
    {"RandomBinaryBytes", RandomBytes(700, 7), "*", 0, "", 0},
    {"RandomBytesWithDelimiters", RandomBytes(400, 11) + "~~~~~~~~~~~~~~~~~~~~~~" + RandomBytes(400, 12), "*", 0,
     "", 0},
    // Everything after the checksum field, and past 2500 bytes, is ignored.
    {"MoreThan2500Bytes", Records() + "00510" + std::string(3000, '7'), "", 10, Padded("Quillware"), 10},
};

void ExpectTenSoundEntries(const CHighScoreDlg& table)
{
    ASSERT_EQ(table.m_names.size(), 10u);
    ASSERT_EQ(table.m_scores.size(), 10u);
    for (const std::string& name : table.m_names) {
        EXPECT_GE(name.size(), 1u);
        EXPECT_LE(name.size(), 44u);
    }
}

void ExpectDefaultTable(const CHighScoreDlg& table)
{
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(table.m_names[k], "Quillware") << "rank " << k + 1;
        EXPECT_EQ(table.m_scores[k], static_cast<std::uint32_t>(100 - 10 * k)) << "rank " << k + 1;
    }
}

// An admitted score replaces the file with a whole table that loads again
// without complaint.
void ExpectNextAdmittedScoreReplacesTheFile(CHighScoreDlg& table, const ScratchFolder& folder)
{
    ScriptedModal modal;
    table.InsertScore(5000);
    ASSERT_EQ(table.m_bQualified, 1);
    EXPECT_TRUE(modal.messages.empty()) << modal.messages.front().toStdString();

    CHighScoreDlg reloaded;
    ScriptedModal quiet;
    reloaded.LoadHighScores();
    EXPECT_TRUE(quiet.messages.empty()) << "the saved table fails its own check";
    ASSERT_EQ(reloaded.m_names.size(), 10u);
    EXPECT_EQ(reloaded.m_names[0], Padded("   "));
    EXPECT_EQ(reloaded.m_scores[0], 5000u);
    EXPECT_LE(folder.Read().size(), 515u);
}

class MalformedFileTest : public ::testing::TestWithParam<MalformedFile> {};

} // namespace

TEST_P(MalformedFileTest, LoadsTenEntriesAndLeavesTheFileAlone)
{
    const MalformedFile& file = GetParam();
    ScratchFolder folder;
    folder.Write(file.bytes);

    CHighScoreDlg table;
    {
        ScriptedModal modal;
        table.LoadHighScores();
        ExpectTenSoundEntries(table);

        const std::string expected = file.message;
        if (expected.empty()) {
            EXPECT_TRUE(modal.messages.empty()) << modal.messages.front().toStdString();
            EXPECT_EQ(table.m_names[file.rank - 1], file.name);
            EXPECT_EQ(table.m_scores[file.rank - 1], file.score);
        } else {
            ASSERT_EQ(modal.messages.size(), 1u);
            if (expected == "*")
                EXPECT_TRUE(IsManipulationMessage(modal.messages[0])) << modal.messages[0].toStdString();
            else
                EXPECT_EQ(modal.messages[0].toStdString(), expected);
            ExpectDefaultTable(table);
        }
    }
    EXPECT_EQ(folder.Read(), file.bytes) << "the loader changed the file";

    ExpectNextAdmittedScoreReplacesTheFile(table, folder);
}

INSTANTIATE_TEST_SUITE_P(HighScoreFile, MalformedFileTest, ::testing::ValuesIn(kMalformedFiles),
                         [](const ::testing::TestParamInfo<MalformedFile>& info) { return info.param.label; });

TEST(MalformedHighScorePlace, DirectoryNamedLikeTheFile)
{
    ScratchFolder folder;
    ASSERT_EQ(mkdir("HiScores.ini", 0755), 0);

    CHighScoreDlg table;
    ScriptedModal modal;
    table.LoadHighScores();
    ExpectTenSoundEntries(table);
    ExpectDefaultTable(table);
    // The player hears why, but not that the file was tampered with.
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_FALSE(IsManipulationMessage(modal.messages[0]));
    EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("HiScores.ini")));
    EXPECT_TRUE(QFileInfo(QStringLiteral("HiScores.ini")).isDir());
}

TEST(MalformedHighScorePlace, NamedPipeDoesNotBlockTheStart)
{
    // Opening a pipe for reading waits for a writer that never comes: the
    // loader must not try.
    ScratchFolder folder;
    ASSERT_EQ(mkfifo("HiScores.ini", 0644), 0);

    CHighScoreDlg table;
    ScriptedModal modal;
    table.LoadHighScores();
    ExpectTenSoundEntries(table);
    ExpectDefaultTable(table);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_FALSE(IsManipulationMessage(modal.messages[0]));
}

TEST(MalformedHighScorePlace, FileWithoutReadPermission)
{
    ScratchFolder folder;
    const std::string bytes = Records() + "00510";
    folder.Write(bytes);
    ASSERT_EQ(chmod("HiScores.ini", 0), 0);

    // Root reads a file of mode 000 all the same: the load then runs in a
    // child process that has given up root.
    const bool asRoot = reliability::RunningAsRoot();
    if (asRoot) {
        ASSERT_EQ(chmod(folder.Path().toLocal8Bit().constData(), 0755), 0);
    }
    const int outcome = reliability::RunInChild([asRoot] {
        if (asRoot && !reliability::DropRoot())
            return 10;
        if (QFile(QStringLiteral("HiScores.ini")).open(QIODevice::ReadOnly))
            return 11;   // the file is readable after all
        CHighScoreDlg table;
        ScriptedModal modal;
        table.LoadHighScores();
        if (table.m_names.size() != 10 || table.m_scores.size() != 10)
            return 12;
        if (table.m_names[0] != "Quillware" || table.m_scores[9] != 10)
            return 13;
        if (modal.messages.size() != 1 || IsManipulationMessage(modal.messages[0]))
            return 14;
        return 0;
    });
    chmod("HiScores.ini", 0644);
    if (outcome == 10)
        GTEST_SKIP() << "running as root, and the child process cannot give up root here";
    EXPECT_EQ(outcome, 0) << "11 file readable, 12 not ten entries, 13 not the default table, 14 wrong message";
    EXPECT_EQ(folder.Read(), bytes);
}

TEST(MalformedHighScorePlace, FileThatFailsWhileBeingRead)
{
    // Opening /proc/self/mem succeeds; reading its first bytes fails.
    ScratchFolder folder;
    ASSERT_EQ(symlink("/proc/self/mem", "HiScores.ini"), 0);
    if (QFile(QStringLiteral("HiScores.ini")).open(QIODevice::ReadOnly) == false)
        GTEST_SKIP() << "/proc/self/mem cannot be opened here";

    CHighScoreDlg table;
    ScriptedModal modal;
    table.LoadHighScores();
    ExpectTenSoundEntries(table);
    ExpectDefaultTable(table);
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_FALSE(IsManipulationMessage(modal.messages[0])) << "a read error is no tampering";
}

// A read that fails at any step, also after the first bytes came in, is
// reported as unreadable, never as tampering, and the defaults stand in.
TEST(MalformedHighScorePlace, EveryStepOfALoadThatFailsIsReported)
{
    ScratchFolder folder;
    const std::string bytes = Records() + "00510";
    folder.Write(bytes);
    std::vector<platform::FileStep> steps;
    {
        CHighScoreDlg table;
        ScriptedModal modal;
        reliability::StepFaults record;
        table.LoadHighScores();
        ASSERT_TRUE(modal.messages.empty());
        steps = record.steps;
    }
    // The contents come in one read; a second finds the end.
    ASSERT_GE(std::count(steps.begin(), steps.end(), platform::FileStep::Read), 2);
    for (int failAt = 0; failAt < static_cast<int>(steps.size()); ++failAt)
        for (const int error : reliability::DiskErrors()) {
            SCOPED_TRACE(reliability::Describe(failAt, steps[failAt], error));
            CHighScoreDlg table;
            ScriptedModal modal;
            {
                reliability::StepFaults fault(failAt, error);
                table.LoadHighScores();
            }
            ExpectTenSoundEntries(table);
            ExpectDefaultTable(table);
            ASSERT_EQ(modal.messages.size(), 1u);
            EXPECT_TRUE(modal.messages[0].contains(QStringLiteral("cannot be read")));
            EXPECT_TRUE(modal.messages[0].contains(QString::fromUtf8(std::strerror(error))));
            EXPECT_EQ(folder.Read(), bytes);
        }
}
