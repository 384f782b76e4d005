#pragma once
// A main window created off-screen with a game started, driven tick by tick,
// for the tests of the tick and of the game over.

#include "app/GameDlg.h"
#include "res/resource.h"
#include "support/MainWindowFixture.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <ostream>
#include <utility>

namespace testing_support {

struct BodyLine {
    std::int32_t x, y;
    std::uint32_t dir;
    bool operator==(const BodyLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const BodyLine& l)
{
    return os << "(" << l.x << ", " << l.y << ", dir " << l.dir << ")";
}

constexpr std::int64_t kGrey = 0x808080;
constexpr std::int64_t kFood = 0xFAFAFA;
constexpr std::int64_t kUnset = -1;

// A snake pixel of the orange scheme (red 250, green base 5, blue 10) for
// column value c: red in the low byte, green = (5 + c) mod 256.
constexpr std::int64_t Orange(int c)
{
    return 0x0A00FA | (static_cast<std::int64_t>((5 + c) & 0xFF) << 8);
}

class GameRig : public MainWindowFixture<> {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        modal.messages.clear();
        modal.dialogs.clear();
        dlg.SendCommand(IDC_START);
    }

    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            dlg.OnTimer(1);
    }

    std::int64_t Pixel(int x, int y) const { return dlg.Surface()->GetPixel(x, y); }

    BodyLine LineAt(std::size_t line) const
    {
        const game::BodyArray& b = dlg.m_body;
        return {static_cast<std::int32_t>(b[3 * line]), static_cast<std::int32_t>(b[3 * line + 1]),
                b[3 * line + 2]};
    }
    BodyLine NewestLine() const { return LineAt(dlg.m_body.GetSize() / 3 - 1); }

    // Where the head will be after the move of the next tick (no turn pending).
    std::pair<int, int> NextHead() const
    {
        int x = dlg.m_nHeadX, y = dlg.m_nHeadY;
        switch (dlg.m_nDir) {
        case game::DIR_UP: --y; break;
        case game::DIR_RIGHT: ++x; break;
        case game::DIR_DOWN: ++y; break;
        case game::DIR_LEFT: --x; break;
        default: break;
        }
        return {x, y};
    }

    // Puts the food block so that the next tick eats it: in the head's row
    // or column, a few pixels into the block.
    void FoodInFrontOfHead()
    {
        const auto [x, y] = NextHead();
        dlg.m_nFoodX = x - 5;
        dlg.m_nFoodY = y - 5;
    }

    // Takes the food off the path of a scripted game: the block is erased and
    // stands, undrawn, in the bottom-right corner of the field.
    void ParkFood()
    {
        dlg.EraseFood();
        dlg.m_nFoodX = 225;
        dlg.m_nFoodY = 290;
    }

    bool GameEnded() const { return !modal.messages.empty(); }

    // The picture of the reset body: 31 lines (X, 120, right) for X = 100..130.
    void ExpectResetBody() const
    {
        ASSERT_EQ(dlg.m_body.GetSize(), 93u);
        for (std::size_t t = 0; t < 31; ++t)
            EXPECT_EQ(LineAt(t), (BodyLine{static_cast<std::int32_t>(100 + t), 120, game::DIR_RIGHT}));
        EXPECT_EQ(dlg.m_nHeadX, 131);
        EXPECT_EQ(dlg.m_nHeadY, 120);
        EXPECT_EQ(dlg.m_nDir, game::DIR_RIGHT);
        EXPECT_EQ(dlg.m_nRequestedDir, game::DIR_RIGHT);
        EXPECT_EQ(dlg.m_nTestedEntries, 89);
        EXPECT_EQ(dlg.m_nFieldReady, 0);
        EXPECT_EQ(dlg.m_nDrawLines, 0);
    }
};

} // namespace testing_support
