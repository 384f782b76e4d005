// The game tick, replayed from the reset state: scripted requests and ticks
// with the head, direction, body and pixels checked at chosen ticks.

#include "support/GameRig.h"

#include <set>
#include <sstream>

using namespace testing_support;
using namespace game;

namespace {

class TickTest : public GameRig {
protected:
    // Ticks until `tick` ticks have run since the start of the game.
    void TickTo(int tick)
    {
        while (m_ticks < tick) {
            Tick();
            ++m_ticks;
        }
    }

    // After the corners have left the body, the field shows exactly the body
    // lines (every pixel with the green of its column) and grey elsewhere.
    void ExpectFieldShowsTheBody(const char* when)
    {
        std::set<std::pair<int, int>> covered;
        for (std::size_t t = 0; t < dlg.m_body.GetSize() / 3; ++t) {
            const BodyLine l = LineAt(t);
            for (int i = 0; i < 10; ++i)
                covered.insert(IsVertical(l.dir) ? std::make_pair(l.x + i, l.y) : std::make_pair(l.x, l.y + i));
        }
        int wrong = 0;
        std::ostringstream first;
        for (int x = kFieldLeft; x <= kFieldRight; ++x)
            for (int y = kFieldTop; y <= kFieldBottom; ++y) {
                const bool food = x >= dlg.m_nFoodX && x < dlg.m_nFoodX + 10 && y >= dlg.m_nFoodY
                    && y < dlg.m_nFoodY + 10;
                if (food)
                    continue;
                const std::int64_t want = covered.count({x, y}) ? Orange(x) : kGrey;
                if (Pixel(x, y) != want && wrong++ < 3)
                    first << " (" << x << "," << y << ")=" << std::hex << Pixel(x, y) << " want " << want
                          << std::dec;
            }
        EXPECT_EQ(wrong, 0) << when << ":" << first.str();
    }

    int m_ticks = 0;
};

} // namespace

TEST_F(TickTest, FirstTickPaintsTheFieldPlacesFoodAndDrawsNoSnake)
{
    EXPECT_EQ(Pixel(kFieldLeft, kFieldTop), kUnset) << "the title screen shows until the first tick";
    Tick();

    const int fx = dlg.m_nFoodX, fy = dlg.m_nFoodY;
    EXPECT_TRUE(fx >= 11 && fx <= 235 && fy >= 81 && fy <= 297) << fx << "," << fy;
    const QSize size = dlg.Surface()->Size();
    int grey = 0, food = 0, other = 0;
    for (int x = 0; x < size.width(); ++x)
        for (int y = 0; y < size.height(); ++y) {
            const bool inFood = x >= fx && x < fx + 10 && y >= fy && y < fy + 10;
            const bool inField = x >= 11 && x <= 244 && y >= 82 && y <= 307;
            const std::int64_t p = Pixel(x, y);
            if (inFood && p == kFood)
                ++food;
            else if (!inFood && inField && p == kGrey)
                ++grey;
            else if (inFood || inField || p != kUnset)
                ++other;
        }
    EXPECT_EQ(food, 100);
    EXPECT_EQ(grey + food - (fy == 81 ? 10 : 0), 234 * 226) << "the field is 11..244 x 82..307";
    EXPECT_EQ(other, 0) << "no snake line and nothing outside the field";

    EXPECT_EQ(dlg.m_nFieldReady, kMarker);
    EXPECT_EQ(dlg.m_nDrawLines, kMarker);
    EXPECT_EQ(dlg.m_nHeadX, 132);
    EXPECT_EQ(dlg.m_body.GetSize(), 93u);
    EXPECT_EQ(LineAt(0), (BodyLine{101, 120, DIR_RIGHT}));
    EXPECT_EQ(NewestLine(), (BodyLine{132, 120, DIR_RIGHT}));
    EXPECT_EQ(TextOf(dlg, IDC_SCORE), "0");

    // The second tick draws its head line; the first one's stays undrawn.
    ParkFood();
    Tick();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Pixel(133, 120 + i), Orange(133)) << i;
        EXPECT_EQ(Pixel(132, 120 + i), kGrey) << i;
    }
}

// One game from the reset state that turns through all eight corners:
// counter-clockwise with the buttons, then clockwise with the keys.
TEST_F(TickTest, ReplayTurnsThroughEveryCornerAndRelaysThemAtTheTail)
{
    struct Turn {
        int tick;                // the tick that applies the turn
        int button;              // the request: a button, or else
        unsigned key;            // a key on the play area
        int beforeX, beforeY;    // head before that tick
        int x, y;                // head after the move and the shift
        std::uint32_t dir;
    };
    const Turn turns[] = {
        {11, IDC_UP, 0, 141, 120, 132, 119, DIR_UP},         // right to up: -10, -1
        {37, IDC_LEFT, 0, 132, 94, 131, 94, DIR_LEFT},       // up to left: -1, +1
        {78, IDC_DOWN, 0, 91, 94, 91, 104, DIR_DOWN},        // left to down: +1, +10
        {119, IDC_RIGHT, 0, 91, 144, 101, 135, DIR_RIGHT},   // down to right: +10, -10
        {140, 0, 'A', 121, 135, 112, 145, DIR_DOWN},         // right to down: -10, +10
        {171, 0, 'N', 112, 175, 111, 166, DIR_LEFT},         // down to left: -1, -10
        {202, 0, 'Q', 81, 166, 81, 165, DIR_UP},             // left to up: +1, -1
        {223, 0, 'M', 81, 145, 91, 145, DIR_RIGHT},          // up to right: +10, +1
    };

    TickTo(1);
    ParkFood();
    for (const Turn& turn : turns) {
        SCOPED_TRACE(turn.tick);
        TickTo(turn.tick - 1);
        ASSERT_FALSE(GameEnded());
        EXPECT_EQ(dlg.m_nHeadX, turn.beforeX);
        EXPECT_EQ(dlg.m_nHeadY, turn.beforeY);
        if (m_ticks >= 42)
            ExpectFieldShowsTheBody("before the turn");

        if (turn.button)
            dlg.SendCommand(turn.button);
        else
            dlg.m_playArea.SendKeyDown(turn.key);
        TickTo(turn.tick);
        ASSERT_FALSE(GameEnded());
        EXPECT_EQ(dlg.m_nHeadX, turn.x);
        EXPECT_EQ(dlg.m_nHeadY, turn.y);
        EXPECT_EQ(dlg.m_nDir, turn.dir);
        EXPECT_EQ(NewestLine(), (BodyLine{turn.x, turn.y, turn.dir}));
        // The new line: a row with the green of each column, or a column
        // with the green of its X.
        for (int i = 0; i < 10; ++i) {
            if (IsVertical(turn.dir))
                EXPECT_EQ(Pixel(turn.x + i, turn.y), Orange(turn.x + i)) << i;
            else
                EXPECT_EQ(Pixel(turn.x, turn.y + i), Orange(turn.x)) << i;
        }

        if (turn.tick == 11) {
            // The first corner reaches the tail at tick 32: lines 0..9 (ticks
            // 1..10, columns 132..141 going right) become rows 129..120 going
            // up, ending next to line 10 = (132, 119, up).
            TickTo(31);
            EXPECT_EQ(LineAt(0), (BodyLine{132, 120, DIR_RIGHT}));
            TickTo(32);
            for (int t = 0; t < 9; ++t)
                EXPECT_EQ(LineAt(t), (BodyLine{132, 128 - t, DIR_UP})) << t;
            EXPECT_EQ(LineAt(9), (BodyLine{132, 119, DIR_UP}));
            // The tail erase took row 129 across the corner block.
            for (int x = 132; x <= 141; ++x)
                EXPECT_EQ(Pixel(x, 129), kGrey) << x;
            for (int x = 133; x <= 141; ++x)
                EXPECT_EQ(Pixel(x, 128), Orange(x)) << x;
            // One row a tick after that; the block is gone by tick 41, which
            // the picture checks from tick 42 on confirm.
            TickTo(36);
            for (int x = 133; x <= 141; ++x) {
                EXPECT_EQ(Pixel(x, 125), kGrey) << x;
                EXPECT_EQ(Pixel(x, 124), Orange(x)) << x;
            }
        }
    }
    TickTo(240);
    ASSERT_FALSE(GameEnded());
    EXPECT_EQ(dlg.m_nHeadX, 108);
    EXPECT_EQ(dlg.m_nHeadY, 145);
    ExpectFieldShowsTheBody("at the end");
    EXPECT_EQ(dlg.m_nScore, 0);
    EXPECT_EQ(dlg.m_body.GetSize(), 93u);
}

TEST_F(TickTest, AReversalEndsTheGameOnTheNextTick)
{
    Tick();
    ParkFood();
    dlg.SendCommand(IDC_LEFT);
    Tick();
    ASSERT_FALSE(GameEnded()) << "the reversal itself turns in place";
    EXPECT_EQ(dlg.m_nHeadX, 133);
    EXPECT_EQ(dlg.m_nHeadY, 120);
    EXPECT_EQ(dlg.m_nDir, DIR_LEFT);
    EXPECT_EQ(NewestLine(), (BodyLine{133, 120, DIR_LEFT}));

    Tick();   // the head is back on the band's previous line
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0], "Game over!   Score: 0");
    ExpectResetBody();
}

TEST_F(TickTest, TwoRequestsBetweenTicksOnlyTheLastCounts)
{
    // Moving right with the head at (132, 120); the next tick moves it to 133.
    const struct {
        int firstButton; unsigned firstKey;
        int secondButton; unsigned secondKey;
        std::uint32_t dir; int x, y;
    } cases[] = {
        {IDC_UP, 0, IDC_DOWN, 0, DIR_DOWN, 123, 130},    // right to down: -10, +10
        {0, 'Q', 0, 'A', DIR_DOWN, 123, 130},
        {IDC_UP, 0, 0, 'A', DIR_DOWN, 123, 130},         // the key overrides the button
        {0, 'Q', IDC_DOWN, 0, DIR_DOWN, 123, 130},
        {IDC_UP, 0, IDC_RIGHT, 0, DIR_RIGHT, 133, 120},  // back to the current one: no turn
        {0, 'Q', 0, 'M', DIR_RIGHT, 133, 120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstButton << "/" << c.firstKey << " then " << c.secondButton
                                        << "/" << c.secondKey);
        if (dlg.m_nFieldReady != 0)
            dlg.GameOver();
        dlg.SendCommand(IDC_START);
        Tick();
        ParkFood();
        ASSERT_EQ(dlg.m_nHeadX, 132);

        if (c.firstButton) dlg.SendCommand(c.firstButton); else dlg.m_playArea.SendKeyDown(c.firstKey);
        if (c.secondButton) dlg.SendCommand(c.secondButton); else dlg.m_playArea.SendKeyDown(c.secondKey);
        Tick();
        EXPECT_EQ(dlg.m_nDir, c.dir);
        EXPECT_EQ(dlg.m_nHeadX, c.x);
        EXPECT_EQ(dlg.m_nHeadY, c.y);
        EXPECT_EQ(dlg.m_nRequestedDir, c.dir);
    }
}

TEST_F(TickTest, FoodIsEatenOnePixelPastTheHeadLine)
{
    // Food corner relative to the head after the move; eaten or not.
    struct Case { int dx, dy; bool eaten; };
    const auto run = [this](const char* what, std::initializer_list<Case> cases) {
        for (const Case& c : cases) {
            const auto [x, y] = NextHead();
            dlg.m_nFoodX = x + c.dx;
            dlg.m_nFoodY = y + c.dy;
            const int before = dlg.m_nScore;
            Tick();
            ASSERT_FALSE(GameEnded());
            EXPECT_EQ(dlg.m_nScore == before + 10, c.eaten) << what << " food at " << c.dx << "," << c.dy;
        }
    };

    Tick();
    // Moving right, the head line is the column X, rows Y..Y+9; the food
    // counts from row Y to row Y + 10.
    run("horizontal", {{-9, 10, true}, {0, 10, true}, {-9, 11, false}, {-5, -9, true}, {-5, -10, false},
                       {1, 0, false}, {-10, 0, false}});

    // Moving up, the head line is the row Y, columns X..X+9; the food counts
    // from column X to column X + 10.
    dlg.SendCommand(IDC_UP);
    ParkFood();
    Tick();
    ASSERT_EQ(dlg.m_nDir, DIR_UP);
    run("vertical", {{10, -9, true}, {11, -9, false}, {-9, 0, true}, {-10, 0, false}, {0, 1, false},
                     {0, -9, true}, {0, -10, false}});
}

TEST_F(TickTest, EatingGrowsElevenLinesScoresAndSpeedsUp)
{
    Tick();
    ASSERT_EQ(dlg.m_body.GetSize(), 93u);
    FoodInFrontOfHead();   // the head will be at (133, 120)
    const int oldFoodX = dlg.m_nFoodX, oldFoodY = dlg.m_nFoodY;
    Tick();

    EXPECT_EQ(dlg.m_nScore, 10);
    EXPECT_EQ(TextOf(dlg, IDC_SCORE), "10");
    EXPECT_EQ(sound.beeps, std::vector<unsigned>{platform::MB_ICONEXCLAMATION});
    EXPECT_EQ(dlg.m_nInterval, 29);
    EXPECT_EQ(dlg.TimerPeriod(1), 29) << "timer 1 restarted with the new period";
    EXPECT_EQ(dlg.m_nTestedEntries, 89 + 30);

    // The head line and its eleven copies: the snake is eleven lines longer.
    ASSERT_EQ(dlg.m_body.GetSize(), 93u + 33u);
    for (std::size_t t = 30; t < 42; ++t)
        EXPECT_EQ(LineAt(t), (BodyLine{133, 120, DIR_RIGHT})) << t;

    // The copies are drawn with the green of X + k down the column.
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(Pixel(133, 120 + k), Orange(133 + k)) << k;

    // The food moved: the old block is grey (but for the head column), the
    // new one stands clear of it.
    EXPECT_FALSE(dlg.m_nFoodX == oldFoodX && dlg.m_nFoodY == oldFoodY);
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            if (oldFoodX + i != 133) {
                EXPECT_EQ(Pixel(oldFoodX + i, oldFoodY + j), kGrey) << i << "," << j;
            }
            EXPECT_EQ(Pixel(dlg.m_nFoodX + i, dlg.m_nFoodY + j), kFood) << i << "," << j;
        }

    // A plain tick draws its column with the green of X alone, and the
    // length stays.
    ParkFood();
    Tick();
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(Pixel(134, 120 + k), Orange(134)) << k;
    Tick(20);
    EXPECT_EQ(dlg.m_body.GetSize(), 126u);
    EXPECT_EQ(dlg.m_nScore, 10);
}

TEST_F(TickTest, ThePeriodShrinksToThreeMillisecondsAndStaysThere)
{
    Tick();
    for (int eaten = 1; eaten <= 29; ++eaten) {
        FoodInFrontOfHead();
        Tick();
        ASSERT_FALSE(GameEnded());
        ASSERT_EQ(dlg.m_nScore, 10 * eaten);
        const int want = eaten <= 27 ? 30 - eaten : 3;
        EXPECT_EQ(dlg.m_nInterval, want) << eaten;
        EXPECT_EQ(dlg.TimerPeriod(1), want) << eaten;
    }
    EXPECT_EQ(sound.beeps.size(), 29u);
}

TEST_F(TickTest, RelayTailCornerRewritesTheBlockForEachTurn)
{
    // Line 10 at (X10, Y10) = (150, 200) in the new direction; lines 0..9 in
    // the old one. Each pair gives line t at (150 + ax * t + bx, 200 + ay * t + by).
    const struct {
        std::uint32_t from, to;
        int bx, ax, by, ay;
    } cases[] = {
        {DIR_UP, DIR_RIGHT, -10, 1, 0, 0},
        {DIR_UP, DIR_LEFT, 10, -1, 0, 0},
        {DIR_RIGHT, DIR_DOWN, 0, 0, -10, 1},
        {DIR_RIGHT, DIR_UP, 0, 0, 10, -1},
        {DIR_DOWN, DIR_LEFT, 10, -1, 0, 0},
        {DIR_DOWN, DIR_RIGHT, -10, 1, 0, 0},
        {DIR_LEFT, DIR_UP, 0, 0, 10, -1},
        {DIR_LEFT, DIR_DOWN, 0, 0, -10, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
        dlg.m_body.RemoveAll();
        for (int t = 0; t < 10; ++t)
            dlg.m_body.AddLine(60 + t, 90 + t, c.from);
        dlg.m_body.AddLine(150, 200, c.to);
        dlg.m_body.AddLine(151, 201, c.to);
        dlg.RelayTailCorner();
        for (int t = 0; t < 10; ++t)
            EXPECT_EQ(LineAt(t), (BodyLine{150 + c.bx + c.ax * t, 200 + c.by + c.ay * t, c.to})) << t;
        EXPECT_EQ(LineAt(10), (BodyLine{150, 200, c.to}));
        EXPECT_EQ(LineAt(11), (BodyLine{151, 201, c.to}));
    }

    // A reversal at the tail changes only the directions; lines that agree
    // are left alone.
    for (const std::uint32_t line9 : {DIR_LEFT, DIR_RIGHT}) {
        dlg.m_body.RemoveAll();
        for (int t = 0; t < 10; ++t)
            dlg.m_body.AddLine(60 + t, 90, line9);
        dlg.m_body.AddLine(150, 200, DIR_RIGHT);
        dlg.RelayTailCorner();
        for (int t = 0; t < 10; ++t)
            EXPECT_EQ(LineAt(t), (BodyLine{60 + t, 90, DIR_RIGHT})) << t;
    }
}

TEST_F(TickTest, TheWallTestLooksAtTheHeadPointOnly)
{
    // The head is put next to each wall, moving towards it; the reset body is
    // far away. One more pixel is legal, the next one ends the game.
    const struct {
        std::uint32_t dir;
        int x, y;          // head before the tick
        bool ends;
    } cases[] = {
        {DIR_RIGHT, 243, 200, false}, {DIR_RIGHT, 244, 200, true},
        {DIR_LEFT, 12, 200, false},   {DIR_LEFT, 11, 200, true},
        {DIR_UP, 150, 83, false},     {DIR_UP, 150, 82, true},
        {DIR_DOWN, 150, 306, false},  {DIR_DOWN, 150, 307, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dir " << c.dir << " from " << c.x << "," << c.y);
        if (dlg.m_nFieldReady == 0) {
            dlg.SendCommand(IDC_START);
            Tick();
        }
        ParkFood();
        modal.messages.clear();
        sound.beeps.clear();
        dlg.m_nHeadX = c.x;
        dlg.m_nHeadY = c.y;
        dlg.m_nDir = dlg.m_nRequestedDir = dlg.m_playArea.m_nDirection = c.dir;
        const auto [nx, ny] = NextHead();
        // Food the new head would eat, and the pixels its line would cover.
        dlg.m_nFoodX = nx;
        dlg.m_nFoodY = ny;
        std::vector<std::int64_t> before;
        for (int i = 0; i < 10; ++i)
            before.push_back(IsVertical(c.dir) ? Pixel(nx + i, ny) : Pixel(nx, ny + i));

        Tick();
        if (!c.ends) {
            EXPECT_FALSE(GameEnded());
            EXPECT_EQ(dlg.m_nScore, 10);
            // Eaten, so the line was drawn again with the green of X + i.
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(IsVertical(c.dir) ? Pixel(nx + i, ny) : Pixel(nx, ny + i), Orange(nx + i)) << i;
            dlg.GameOver();
            continue;
        }
        ASSERT_EQ(modal.messages.size(), 1u);
        EXPECT_EQ(modal.messages[0], "Game over!   Score: 0") << "nothing eaten";
        EXPECT_TRUE(sound.beeps.empty());
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(IsVertical(c.dir) ? Pixel(nx + i, ny) : Pixel(nx, ny + i), before[static_cast<std::size_t>(i)])
                << "nothing drawn, " << i;
        ExpectResetBody();
    }
}

// Moving right to column 243, a reversal and a turn up put the snake on
// column 244; its rows reach column 253, and a turn right from there shifts
// the head ten pixels past the wall. That line is drawn; the next tick ends
// the game by the wall without testing, drawing or eating anything.
TEST_F(TickTest, ATurnNextToTheWallDrawsPastItBeforeTheGameEnds)
{
    Tick();
    ParkFood();
    Tick(111);
    ASSERT_EQ(dlg.m_nHeadX, 243);

    dlg.SendCommand(IDC_LEFT);
    Tick();
    ASSERT_FALSE(GameEnded());
    EXPECT_EQ(NewestLine(), (BodyLine{244, 120, DIR_LEFT}));

    dlg.m_playArea.SendKeyDown('Q');
    Tick();
    ASSERT_FALSE(GameEnded());
    EXPECT_EQ(NewestLine(), (BodyLine{244, 119, DIR_UP}));
    for (int i = 0; i < 10; ++i)   // green 249..255, then 0, 1, 2
        EXPECT_EQ(Pixel(244 + i, 119), Orange(244 + i)) << i;
    EXPECT_EQ(Pixel(253, 119), 0x0A02FA);

    Tick(5);
    ASSERT_FALSE(GameEnded()) << "moving up along column 244 is legal";
    EXPECT_EQ(NewestLine(), (BodyLine{244, 114, DIR_UP}));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Pixel(244 + i, 114), Orange(244 + i)) << i;

    dlg.SendCommand(IDC_RIGHT);
    Tick();
    ASSERT_FALSE(GameEnded());
    EXPECT_EQ(NewestLine(), (BodyLine{254, 114, DIR_RIGHT}));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Pixel(254, 114 + i), Orange(254)) << i;

    // The next head, (255, 114), would eat this food.
    dlg.m_nFoodX = 255;
    dlg.m_nFoodY = 114;
    Tick();
    ASSERT_EQ(modal.messages.size(), 1u);
    EXPECT_EQ(modal.messages[0], "Game over!   Score: 0");
    EXPECT_TRUE(sound.beeps.empty());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Pixel(255, 114 + i), kUnset) << i;
    ExpectResetBody();
}
