// "HiScores.ini": its bytes, its checksum, and what loading makes of it.

#include "highscores/HighScoreDlg.h"
#include "highscores/HighScoreFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace highscores;

namespace {

std::string Padded(const std::string& name)
{
    return name + std::string(44 - name.size(), ' ');
}

std::string DefaultFile(int nameLength = 9)
{
    std::string bytes;
    const char* scores[] = {"00100", "00090", "00080", "00070", "00060",
                            "00050", "00040", "00030", "00020", "00010"};
    for (const char* score : scores)
        bytes += (nameLength == 44 ? Padded("Quillware") : "Quillware") + "~" + score + "~";
    return bytes + "00510";
}

class HighScoreFileTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    ScriptedModal modal;
    CHighScoreDlg table;
};

} // namespace

TEST_F(HighScoreFileTest, DefaultTableIsWrittenAsTheWorkedExample)
{
    DefaultTable(table.m_names, table.m_scores);
    ASSERT_TRUE(table.SaveHighScores());
    const std::string bytes = folder.Read();
    EXPECT_EQ(bytes.size(), 165u);
    EXPECT_EQ(bytes, DefaultFile());
}

TEST_F(HighScoreFileTest, ReadBackPadsNamesAndTheNextSaveGrowsTo515Bytes)
{
    folder.Write(DefaultFile());
    table.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    ASSERT_EQ(table.m_names.size(), 10u);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(table.m_names[k], Padded("Quillware"));
        EXPECT_EQ(table.m_scores[k], static_cast<std::uint32_t>(100 - 10 * k));
    }
    ASSERT_TRUE(table.SaveHighScores());
    const std::string bytes = folder.Read();
    EXPECT_EQ(bytes.size(), 515u);
    EXPECT_EQ(bytes, DefaultFile(44));
    EXPECT_EQ(bytes.substr(510), "00510");

    // And that file passes the check as well.
    CHighScoreDlg again;
    again.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(again.m_names, table.m_names);
}

TEST_F(HighScoreFileTest, TamperedChecksumBringsTheMessageAndTheDefaults)
{
    std::string bytes = DefaultFile();
    bytes.replace(bytes.size() - 5, 5, "00500");
    folder.Write(bytes);
    table.LoadHighScores();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0], QStringLiteral("Manipulation recognized! h=500  i=510"));
    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    DefaultTable(names, scores);
    EXPECT_EQ(table.m_names, names);
    EXPECT_EQ(table.m_scores, scores);
    EXPECT_EQ(folder.Read(), bytes) << "the file is not repaired on loading";
}

TEST_F(HighScoreFileTest, SingleEditsThatChangeTheSumAreCaught)
{
    // (offset in the 165-byte file, new byte, caught?)
    const struct { const char* what; std::size_t offset; char byte; bool caught; } cases[] = {
        {"score digit", 13, '1', true},               // rank 1: 00100 -> 00110
        {"a for e (same weight)", 6, 'e', false},     // Quillwere
        {"upper case for upper case", 0, 'Z', false}, // Zuillware
        {"a for n (weight 1 -> 2)", 6, 'n', true},
        {"letter for a space", 2, ' ', true},         // i (3) removed
        {"upper case for s", 0, 's', true},
        {"checksum digit", 164, '1', true},
    };
    for (const auto& c : cases) {
        std::string bytes = DefaultFile();
        bytes[c.offset] = c.byte;
        folder.Write(bytes);
        CHighScoreDlg loaded;
        modal.messages.clear();
        loaded.LoadHighScores();
        EXPECT_EQ(modal.messages.size(), c.caught ? 1u : 0u) << c.what;
        ASSERT_EQ(loaded.m_names.size(), 10u) << c.what;
    }

    // Two scores changed by opposite amounts go unnoticed.
    std::string bytes = DefaultFile();
    bytes[13] = '1';        // rank 1: 00110
    bytes[29] = '8';        // rank 2: 00080
    folder.Write(bytes);
    modal.messages.clear();
    table.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(table.m_scores[0], 110u);
    EXPECT_EQ(table.m_scores[1], 80u);
}

TEST_F(HighScoreFileTest, MissingFileGivesTheDefaultsSilently)
{
    table.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(table.m_names.size(), 10u);
    EXPECT_EQ(table.m_names[0], "Quillware");
    EXPECT_FALSE(folder.Exists());
}

TEST_F(HighScoreFileTest, TildeInANameIsWrittenAsAHyphen)
{
    DefaultTable(table.m_names, table.m_scores);
    table.m_names[3] = "a~b";
    ASSERT_TRUE(table.SaveHighScores());
    EXPECT_EQ(table.m_names[3], "a~b") << "the table keeps its tilde";
    const std::string bytes = folder.Read();
    EXPECT_NE(bytes.find("a-b~00070~"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "00506");   // 510 - 5 + 1: "~" and "-" weigh nothing

    CHighScoreDlg loaded;
    loaded.LoadHighScores();
    EXPECT_TRUE(modal.messages.empty());
    EXPECT_EQ(loaded.m_names[3], Padded("a-b"));
}

// Every table the game writes, it reads back as written, also when the
// checksum does not fit the five-digit field: over 99999 (only scores from
// a hand-made file get there) or below 0 (scores and weights under 90).
TEST_F(HighScoreFileTest, TablesWhoseChecksumDoesNotFitFiveDigitsReadBack)
{
    const struct { const char* what; const char* name; std::uint32_t score; } cases[] = {
        {"over 99999", "Sam", 99999},   // 10 x (4 + 99999) - 90
        {"exactly 100000", "Q", 10009}, // 10 x 10009 - 90
        {"below 0", "   ", 0},          // -90
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        table.m_names.assign(10, c.name);
        table.m_scores.assign(10, c.score);
        ASSERT_TRUE(table.SaveHighScores());
        CHighScoreDlg loaded;
        loaded.LoadHighScores();
        EXPECT_TRUE(modal.messages.empty()) << (modal.messages.empty() ? "" : modal.messages[0].toStdString());
        modal.messages.clear();
        EXPECT_EQ(loaded.m_names, std::vector<std::string>(10, Padded(c.name)));
        EXPECT_EQ(loaded.m_scores, table.m_scores);
    }
}

TEST(HighScoreFormat, LetterWeights)
{
    const struct { const char* name; int weight; } cases[] = {
        {"Sam", 4}, {"SAM", 0}, {"aeinms", 12}, {"Quillware", 5}, {"", 0}, {"   ", 0},
        {"~-09\xE9\xFF", 0}, {"mississippi", 3 + 3 + 2 + 2 + 3 + 2 + 2 + 3 + 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LetterWeight(c.name), c.weight) << c.name;
}

TEST(HighScoreFormat, NumericFields)
{
    const struct { const char* field; int value; } cases[] = {
        {"00100", 100}, {"x0100", 100}, {"99999", 99999}, {"0010x", 100}, {"abcde", 0},
        {"1 2 3", 10203},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadNumericField(c.field, 5, 0), c.value) << c.field;
    // A field cut short by the end of the data counts its missing places as 0.
    EXPECT_EQ(ReadNumericField("001", 3, 0), 100);

    std::string out;
    AppendNumericField(out, 0);
    AppendNumericField(out, 510);
    AppendNumericField(out, 99999);
    EXPECT_EQ(out, "000000051099999");
}
