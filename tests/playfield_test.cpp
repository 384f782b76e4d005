// The hit test against the body lines and the placement of food.

#include "app/GameDlg.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <gtest/gtest.h>

using namespace testing_support;
using namespace game;

namespace {

class PlayfieldTest : public MainWindowFixture<> {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        dlg.m_body.RemoveAll();
    }

    bool Probe(int x, int y)
    {
        dlg.m_nTestX = x;
        dlg.m_nTestY = y;
        return dlg.HitsBody();
    }
};

} // namespace

TEST_F(PlayfieldTest, ALineCoversExactlyItsTenPixels)
{
    dlg.m_body.AddLine(50, 100, DIR_UP);      // row 100, columns 50..59
    dlg.m_body.AddLine(150, 200, DIR_LEFT);   // column 150, rows 200..209
    dlg.m_nTestedEntries = 6;
    const struct { int x, y; bool hit; } cases[] = {
        {50, 100, true}, {59, 100, true}, {60, 100, false}, {49, 100, false},
        {55, 99, false}, {55, 101, false},
        {150, 200, true}, {150, 209, true}, {150, 210, false}, {150, 199, false},
        {151, 205, false}, {149, 205, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Probe(c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST_F(PlayfieldTest, OnlyTheTestedPrefixCounts)
{
    for (int x = 100; x <= 131; ++x)
        dlg.m_body.AddLine(x, 120, DIR_RIGHT);
    dlg.m_nTestedEntries = 89;   // lines 0 to 29
    EXPECT_TRUE(Probe(129, 125));
    EXPECT_FALSE(Probe(130, 125)) << "line 30 is one of the newest lines";
    EXPECT_FALSE(Probe(131, 125));
    dlg.m_nTestedEntries = 91;   // entry 90 starts line 30
    EXPECT_TRUE(Probe(130, 125));
}

TEST_F(PlayfieldTest, AnUnknownDirectionCoversNothing)
{
    dlg.m_body.AddLine(50, 100, 0);
    dlg.m_body.AddLine(60, 100, 7);
    dlg.m_nTestedEntries = 6;
    EXPECT_FALSE(Probe(50, 100));
    EXPECT_FALSE(Probe(60, 100));
}

TEST_F(PlayfieldTest, FoodOverlappingATestedLineInOnePixelIsDrawnAgain)
{
    // The generator is never seeded: the positions it will draw are known.
    Random random;
    const int x0 = random.rand() % 225 + 11, y0 = random.rand() % 217 + 81;
    const int x1 = random.rand() % 225 + 11, y1 = random.rand() % 217 + 81;

    // One tested line touching the first block at its bottom-right pixel only.
    dlg.m_body.AddLine(x0 + 9, y0 + 9, DIR_DOWN);
    dlg.m_nTestedEntries = 3;
    dlg.PlaceFood();

    EXPECT_EQ(dlg.m_nFoodX, x1);
    EXPECT_EQ(dlg.m_nFoodY, y1);
    const platform::PixelSurface& s = *dlg.Surface();
    EXPECT_EQ(s.GetPixel(x1, y1), 0xFAFAFA);
    EXPECT_EQ(s.GetPixel(x1 + 9, y1 + 9), 0xFAFAFA);
    EXPECT_EQ(s.GetPixel(x1 + 10, y1 + 10), -1);
    if (!QRect(x1, y1, 10, 10).contains(x0, y0)) {
        EXPECT_EQ(s.GetPixel(x0, y0), -1) << "the rejected block is not drawn";
    }
}

TEST_F(PlayfieldTest, FoodPositionsStayInRangeAndRepeatFromRunToRun)
{
    CGameDlg other;
    ASSERT_TRUE(other.Create());
    other.m_body.RemoveAll();
    dlg.m_nTestedEntries = other.m_nTestedEntries = 0;
    bool sawRow81 = false;
    for (int n = 0; n < 2000; ++n) {
        dlg.PlaceFood();
        other.PlaceFood();
        ASSERT_EQ(dlg.m_nFoodX, other.m_nFoodX);
        ASSERT_EQ(dlg.m_nFoodY, other.m_nFoodY);
        ASSERT_GE(dlg.m_nFoodX, 11);
        ASSERT_LE(dlg.m_nFoodX, 235);
        ASSERT_GE(dlg.m_nFoodY, 81);
        ASSERT_LE(dlg.m_nFoodY, 297);
        sawRow81 = sawRow81 || dlg.m_nFoodY == 81;
    }
    EXPECT_TRUE(sawRow81) << "the block may cover row 81, above the painted field";
}

TEST_F(PlayfieldTest, AFullFieldLeavesTheGameWithoutFoodInsteadOfHanging)
{
    // Vertical lines on every row and column the food could cover.
    for (int y = 70; y <= 320; ++y)
        for (int x = 0; x <= 260; x += 10)
            dlg.m_body.AddLine(x, y, DIR_UP);
    dlg.m_nTestedEntries = static_cast<int>(dlg.m_body.GetSize());
    dlg.PlaceFood();
    EXPECT_FALSE(dlg.HasFood());

    // One free block left anywhere is found.
    dlg.m_body.RemoveAll();
    for (int y = 70; y <= 320; ++y)
        for (int x = 0; x <= 260; x += 10)
            if (!(y >= 290 && y < 300 && x >= 20 && x < 30))
                dlg.m_body.AddLine(x, y, DIR_UP);
    dlg.m_nTestedEntries = static_cast<int>(dlg.m_body.GetSize());
    dlg.PlaceFood();
    ASSERT_TRUE(dlg.HasFood());
    EXPECT_EQ(dlg.m_nFoodX, 20);
    EXPECT_EQ(dlg.m_nFoodY, 290);
}

TEST_F(PlayfieldTest, EraseAndPaint)
{
    dlg.m_nTestedEntries = 0;
    dlg.PlaceFood();
    dlg.EraseFood();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(dlg.Surface()->GetPixel(dlg.m_nFoodX + i, dlg.m_nFoodY + 9 - i), 0x808080);

    dlg.PaintPlayfield();
    const platform::PixelSurface& s = *dlg.Surface();
    EXPECT_EQ(s.GetPixel(11, 82), 0x808080);
    EXPECT_EQ(s.GetPixel(244, 307), 0x808080);
    EXPECT_EQ(s.GetPixel(10, 82), -1);
    EXPECT_EQ(s.GetPixel(245, 200), -1);
    EXPECT_EQ(s.GetPixel(100, 308), -1);
    int grey = 0;
    for (int y = 0; y < 322; ++y)
        for (int x = 0; x < 258; ++x)
            grey += s.GetPixel(x, y) == 0x808080;
    EXPECT_EQ(grey, 234 * 226);
}

TEST_F(PlayfieldTest, ATickOnABodyShorterThanTheRelayNeedsStaysInsideIt)
{
    // The tick itself never keeps fewer than 32 lines; a body set up by hand
    // must not make the corner relay read past its end.
    dlg.SendCommand(IDC_START);
    dlg.OnTimer(1);
    dlg.m_body.RemoveAll();
    for (int x = 126; x <= 130; ++x)
        dlg.m_body.AddLine(x, 200, DIR_RIGHT);
    dlg.m_nTestedEntries = 3;
    dlg.m_nHeadX = 130;
    dlg.m_nHeadY = 200;
    dlg.m_nFoodX = 20;
    dlg.m_nFoodY = 90;
    dlg.OnTimer(1);
    EXPECT_EQ(dlg.m_nHeadX, 131);
    EXPECT_EQ(dlg.m_body.GetSize(), 15u);
    EXPECT_EQ(dlg.m_body[0], 127u);
}
