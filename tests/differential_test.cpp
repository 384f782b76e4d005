// The hit test and the food placement look pixels up in a record that the
// tick keeps up to date, instead of scanning the body. These tests hold that
// record against plain implementations that scan the tested lines one by one,
// over many random games, long snakes on a full field and crowded fields.

#include "bench/Circuit.h"
#include "bench/HeadlessGame.h"
#include "game/Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

using namespace game;
using circuit::HeadlessGame;

namespace {

// The hit test as written out for the game: every tested line, entries
// i = 0, 3, 6, ... while i < m_nTestedEntries, is looked at, no early exit.
// A line past the end of the body is not there to be read.
bool ScanHitsBody(const BodyArray& body, std::int32_t testedEntries, std::int32_t testX, std::int32_t testY)
{
    bool hit = false;
    for (std::int64_t i = 0; i < testedEntries; i += 3) {
        if (static_cast<std::size_t>(i) + 2 >= body.GetSize())
            break;
        const auto xs = static_cast<std::int32_t>(body[static_cast<std::size_t>(i)]);
        const auto ys = static_cast<std::int32_t>(body[static_cast<std::size_t>(i) + 1]);
        const std::uint32_t ds = body[static_cast<std::size_t>(i) + 2];
        if ((ds == DIR_UP || ds == DIR_DOWN) && xs <= testX && testX < xs + 10 && testY == ys)
            hit = true;
        if ((ds == DIR_RIGHT || ds == DIR_LEFT) && testX == xs && ys <= testY && testY < ys + 10)
            hit = true;
    }
    return hit;
}

// The same answers for every pixel of a window around the field, worked out
// line by line with the scan's own rules, for long bodies where a scan per
// probe would take too long.
class ScanTable {
public:
    static constexpr int kLeft = -40, kTop = 20, kWidth = 360, kHeight = 360;

    ScanTable(const BodyArray& body, std::int32_t testedEntries)
        : m_hit(static_cast<std::size_t>(kWidth) * kHeight, 0)
    {
        for (std::int64_t i = 0; i < testedEntries; i += 3) {
            if (static_cast<std::size_t>(i) + 2 >= body.GetSize())
                break;
            const auto xs = static_cast<std::int32_t>(body[static_cast<std::size_t>(i)]);
            const auto ys = static_cast<std::int32_t>(body[static_cast<std::size_t>(i) + 1]);
            const std::uint32_t ds = body[static_cast<std::size_t>(i) + 2];
            for (int k = 0; k < 10; ++k) {
                if (ds == DIR_UP || ds == DIR_DOWN)
                    Mark(std::int64_t{xs} + k, ys);
                else if (ds == DIR_RIGHT || ds == DIR_LEFT)
                    Mark(xs, std::int64_t{ys} + k);
            }
        }
    }
    bool Inside(std::int64_t x, std::int64_t y) const
    {
        return x >= kLeft && x < kLeft + kWidth && y >= kTop && y < kTop + kHeight;
    }
    bool Hit(std::int32_t x, std::int32_t y) const
    {
        return m_hit[static_cast<std::size_t>((y - kTop) * kWidth + (x - kLeft))] != 0;
    }

private:
    void Mark(std::int64_t x, std::int64_t y)
    {
        if (Inside(x, y))
            m_hit[static_cast<std::size_t>((y - kTop) * kWidth + (x - kLeft))] = 1;
    }
    std::vector<std::uint8_t> m_hit;
};

struct Food {
    std::int32_t x, y, testX, testY;
    bool found;
};

// Food placement as written out: draw X then Y, probe the 100 pixels of the
// block one by one, draw again on any hit. After 1000 draws the game looks
// at every position in turn, row by row from the last one drawn, with the
// same probes; a field with no free block leaves the last position looked at.
Food ScanPlaceFood(Random& random, const std::function<bool(std::int32_t, std::int32_t)>& hits)
{
    Food f{};
    const auto blockHits = [&](std::int32_t x, std::int32_t y) {
        bool hit = false;
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j) {
                f.testX = x + i;
                f.testY = y + j;
                if (hits(f.testX, f.testY))
                    hit = true;
            }
        return hit;
    };
    for (int draw = 0; draw < 1000; ++draw) {
        f.x = random.rand() % 225 + 11;
        f.y = random.rand() % 217 + 81;
        if (!blockHits(f.x, f.y)) {
            f.found = true;
            return f;
        }
    }
    const int count = 225 * 217;
    const int start = (f.y - 81) * 225 + (f.x - 11);
    for (int n = 0; n < count; ++n) {
        const int k = (start + n) % count;
        f.x = 11 + k % 225;
        f.y = 81 + k / 225;
        if (!blockHits(f.x, f.y)) {
            f.found = true;
            return f;
        }
    }
    return f;
}

Food ScanPlaceFood(Random& random, const BodyArray& body, std::int32_t testedEntries)
{
    if (body.GetSize() < 900) {
        return ScanPlaceFood(random, [&](std::int32_t x, std::int32_t y) {
            return ScanHitsBody(body, testedEntries, x, y);
        });
    }
    const ScanTable table(body, testedEntries);
    return ScanPlaceFood(random, [&](std::int32_t x, std::int32_t y) { return table.Hit(x, y); });
}

// The game's hit test and the scan agree on every pixel of the window
// around the field, and on a few probes far outside it.
::testing::AssertionResult SameCoverage(HeadlessGame& game)
{
    const BodyArray& body = game.m_body;
    const std::int32_t entries = game.m_nTestedEntries;
    const ScanTable table(body, entries);
    for (std::int32_t y = ScanTable::kTop; y < ScanTable::kTop + ScanTable::kHeight; ++y)
        for (std::int32_t x = ScanTable::kLeft; x < ScanTable::kLeft + ScanTable::kWidth; ++x) {
            game.m_nTestX = x;
            game.m_nTestY = y;
            if (game.HitsBody() != table.Hit(x, y))
                return ::testing::AssertionFailure()
                    << "pixel (" << x << ", " << y << "): hit test " << !table.Hit(x, y) << ", scan "
                    << table.Hit(x, y) << "; " << body.GetSize() / 3 << " lines, tested entries " << entries;
        }
    const struct { std::int32_t x, y; } far[] = {
        {-99991, 5}, {-99990, 5}, {-100000, 5}, {-100001, 5}, {300, 100000}, {300, 100009}, {300, 100010},
        {249, 300}, {250, 300}, {-2147483647, 0}, {2147483647, 2147483647},
    };
    for (const auto& p : far) {
        game.m_nTestX = p.x;
        game.m_nTestY = p.y;
        if (game.HitsBody() != ScanHitsBody(body, entries, p.x, p.y))
            return ::testing::AssertionFailure() << "pixel (" << p.x << ", " << p.y << ") far out";
    }
    return ::testing::AssertionSuccess();
}

// Runs the reference placement alongside every placement the game makes in
// its ticks, from a generator that mirrors the game's own.
class MirroredFood {
public:
    explicit MirroredFood(HeadlessGame& game) : m_game(game)
    {
        // Inside an eating tick the food is placed right after the timer is
        // restarted; the body and the tested prefix are those it sees.
        game.onRestartTimer = [this] { Expect(); };
    }

    // Before a tick: the first tick of a game places food at once.
    void BeforeTick()
    {
        if (m_game.m_nFieldReady == 0)
            Expect();
    }

    ::testing::AssertionResult Check()
    {
        if (!m_pending)
            return ::testing::AssertionSuccess();
        m_pending = false;
        if (m_game.HasFood() != m_expected.found
            || (m_expected.found && (m_game.m_nFoodX != m_expected.x || m_game.m_nFoodY != m_expected.y)))
            return ::testing::AssertionFailure()
                << "food at (" << m_game.m_nFoodX << ", " << m_game.m_nFoodY << ") found " << m_game.HasFood()
                << ", scan placed it at (" << m_expected.x << ", " << m_expected.y << ") found "
                << m_expected.found << "; placement " << m_placements;
        return ::testing::AssertionSuccess();
    }

    int Placements() const { return m_placements; }

private:
    void Expect()
    {
        // Two placements in one tick (the first tick eats): the first is
        // looked at just before the second.
        if (m_pending)
            m_failedEarlier = m_failedEarlier || !Check();
        m_expected = ScanPlaceFood(m_random, m_game.m_body, m_game.m_nTestedEntries);
        m_pending = true;
        ++m_placements;
    }

public:
    bool m_failedEarlier = false;

private:
    HeadlessGame& m_game;
    Random m_random;
    Food m_expected{};
    bool m_pending = false;
    int m_placements = 0;
};

} // namespace

TEST(FastHitTest, RandomGamesWithTurnsReversalsWallsAndOutsideChanges)
{
    HeadlessGame game;
    MirroredFood food(game);
    std::mt19937 rng(20261209);
    const auto chance = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng) == 0; };

    int pokes = 0;
    for (int tick = 0; tick < 20000; ++tick) {
        // Steering: now and then a new direction, a reversal now and then too.
        if (chance(12)) {
            const std::uint32_t d = game.m_nDir;
            const bool vertical = d == DIR_UP || d == DIR_DOWN;
            if (chance(15))
                game.keyDirection = d == DIR_UP ? DIR_DOWN : d == DIR_DOWN ? DIR_UP : d == DIR_LEFT ? DIR_RIGHT : DIR_LEFT;
            else
                game.keyDirection = vertical ? (chance(2) ? DIR_LEFT : DIR_RIGHT) : (chance(2) ? DIR_UP : DIR_DOWN);
        }
        // Food in the head's way makes the snakes grow.
        if (game.HasFood() && game.m_nFieldReady != 0 && chance(6))
            circuit::FoodAhead(game);
        // Changes from outside the tick: an entry, or the tested prefix.
        if (chance(400) && game.m_body.GetSize() >= 36) {
            ++pokes;
            std::uniform_int_distribution<std::size_t> at(0, game.m_body.GetSize() - 1);
            const std::size_t i = at(rng);
            if (i % 3 == 2)
                game.m_body[i] = std::uniform_int_distribution<std::uint32_t>(0, 5)(rng);
            else
                game.m_body[i] += static_cast<std::uint32_t>(std::uniform_int_distribution<int>(-12, 12)(rng));
            if (chance(3))
                game.m_nTestedEntries += std::uniform_int_distribution<int>(-7, 7)(rng);
        }

        food.BeforeTick();
        game.Tick();
        ASSERT_TRUE(food.Check()) << "tick " << tick;
        ASSERT_FALSE(food.m_failedEarlier) << "tick " << tick;
        if (tick % 11 == 0 || game.timerRestarts != 0) {
            ASSERT_TRUE(SameCoverage(game)) << "tick " << tick;
            game.timerRestarts = 0;
        }
    }
    // The games did what they are here for.
    EXPECT_GT(game.gameOvers, 100);
    EXPECT_GT(food.Placements(), 500);
    EXPECT_GT(pokes, 50);
}

TEST(FastHitTest, ALongSnakeOnTheCircuitUntilTheFieldIsFull)
{
    HeadlessGame game;
    MirroredFood food(game);
    food.BeforeTick();
    game.Tick();   // paints the field and places the first food
    ASSERT_TRUE(food.Check());
    game.keyDirection = circuit::PlaceSnake(game);

    std::size_t longest = 0;
    for (int tick = 0; tick < 12000; ++tick) {
        game.keyDirection = circuit::Steer(game.m_nHeadX, game.m_nHeadY, game.m_nDir);
        // Eat every fourth tick until the snake is some 5,000 lines long.
        if (tick % 4 == 0 && game.m_body.GetSize() / 3 < 4990 && game.HasFood() && circuit::GoesStraight(game))
            circuit::FoodAhead(game);
        game.Tick();
        ASSERT_EQ(game.gameOvers, 0) << "tick " << tick;
        ASSERT_TRUE(food.Check()) << "tick " << tick;
        ASSERT_FALSE(food.m_failedEarlier) << "tick " << tick;
        if (tick % 250 == 0) {
            ASSERT_TRUE(SameCoverage(game)) << "tick " << tick;
        }
        longest = std::max(longest, game.m_body.GetSize() / 3);
    }
    ASSERT_TRUE(SameCoverage(game));
    EXPECT_GE(longest, 4990u);
    // The tick kept the record up to date itself: one rebuild, after the
    // snake was put on the circuit by hand.
    EXPECT_LE(game.BodyOccupancy().Rebuilds(), 2u);
}

TEST(FastHitTest, CrowdedFieldsPlaceFoodWhereTheScanDoes)
{
    std::mt19937 rng(7);
    for (const int percent : {10, 50, 80, 90, 95, 99, 100}) {
        HeadlessGame game;
        Random mirror;
        game.m_body.RemoveAll();
        // Random lines until the share of the food area is covered; a few
        // lines lie partly or far outside the field, and some are untested.
        std::vector<std::uint8_t> covered(234 * 226, 0);
        int coveredCount = 0;
        const int target = 234 * 226 * percent / 100;
        std::uniform_int_distribution<int> dirOf(1, 4), xOf(1, 254), yOf(72, 316);
        int lines = 0;
        while (coveredCount < target && lines < 200000) {
            const std::uint32_t d = static_cast<std::uint32_t>(dirOf(rng));
            const int x = xOf(rng), y = yOf(rng);
            game.m_body.AddLine(x, y, d);
            ++lines;
            for (int k = 0; k < 10; ++k) {
                const int px = (d == DIR_UP || d == DIR_DOWN) ? x + k : x;
                const int py = (d == DIR_UP || d == DIR_DOWN) ? y : y + k;
                if (px >= 11 && px <= 244 && py >= 82 && py <= 307 && !covered[(py - 82) * 234 + (px - 11)]) {
                    covered[(py - 82) * 234 + (px - 11)] = 1;
                    ++coveredCount;
                }
            }
        }
        if (percent == 10 || percent == 80 || percent == 99) {
            game.m_body.AddLine(-100000, 5, DIR_DOWN);
            game.m_body.AddLine(300, 100000, DIR_LEFT);
        }
        game.m_body.AddLine(240, 300, DIR_UP);   // reaches column 249
        game.m_nTestedEntries = static_cast<std::int32_t>(game.m_body.GetSize()) - 4;
        if (percent == 100) {
            // Row 81, over the field's top edge, is free to food: fill it too.
            for (int x = 11; x <= 244; x += 10)
                game.m_body.AddLine(x, 81, DIR_UP);
            game.m_nTestedEntries = static_cast<std::int32_t>(game.m_body.GetSize());
        }

        SCOPED_TRACE(::testing::Message() << percent << "% covered, " << game.m_body.GetSize() / 3 << " lines");
        ASSERT_TRUE(SameCoverage(game));
        // The table itself against the scan, at random probes.
        const ScanTable table(game.m_body, game.m_nTestedEntries);
        for (int n = 0; n < 300; ++n) {
            const int x = std::uniform_int_distribution<int>(0, 260)(rng);
            const int y = std::uniform_int_distribution<int>(70, 320)(rng);
            ASSERT_EQ(table.Hit(x, y), ScanHitsBody(game.m_body, game.m_nTestedEntries, x, y));
        }
        for (int placement = 0; placement < 6; ++placement) {
            game.PlaceFood();
            const Food f = ScanPlaceFood(mirror, game.m_body, game.m_nTestedEntries);
            ASSERT_EQ(game.HasFood(), f.found) << "placement " << placement;
            ASSERT_EQ(game.m_nFoodX, f.x) << "placement " << placement;
            ASSERT_EQ(game.m_nFoodY, f.y) << "placement " << placement;
            ASSERT_EQ(game.m_nTestX, f.testX);
            ASSERT_EQ(game.m_nTestY, f.testY);
        }
        if (percent == 100) {
            EXPECT_FALSE(game.HasFood());
        }
    }
}

TEST(FastHitTest, TestedPrefixEdgesAndPartialLines)
{
    // The tested prefix ends inside a line, at a line boundary, past the
    // body, at zero and below; the body may end in a partial line.
    HeadlessGame game;
    for (const std::int32_t entries : {-5, 0, 1, 2, 3, 4, 88, 89, 90, 91, 92, 93, 1000}) {
        for (const int extra : {0, 1, 2}) {
            game.m_body.RemoveAll();
            for (int x = 100; x <= 131; ++x)
                game.m_body.AddLine(x, 120, DIR_RIGHT);
            for (int e = 0; e < extra; ++e)
                game.m_body.Add(135);
            game.m_nTestedEntries = entries;
            ASSERT_TRUE(SameCoverage(game)) << "tested entries " << entries << ", extra " << extra;
        }
    }
}

TEST(FastHitTest, ABodyAssignedFromAnotherGameIsNoticed)
{
    // Two bodies with the same history of changes but different lines: the
    // one assigned over the other must not pass for the one already counted.
    HeadlessGame a, b;
    a.m_body[0] = 60;   // line 0 moves to column 60
    b.m_body[3] = 70;   // line 1 moves to column 70
    a.m_nTestX = 60;
    a.m_nTestY = 125;
    ASSERT_TRUE(a.HitsBody());
    a.m_body = b.m_body;
    EXPECT_FALSE(a.HitsBody());
    ASSERT_TRUE(SameCoverage(a));
    a.m_body = std::move(b.m_body);
    ASSERT_TRUE(SameCoverage(a));
    ASSERT_TRUE(SameCoverage(b));
}

TEST(FastHitTest, ThePlayfieldPaintSetsTheSamePixelsAsOneCallPerPixel)
{
    // The field is filled in one pass over the image; pixel by pixel it is
    // X = 11 to 244 and Y = 82 to 307 in grey, and nothing else.
    HeadlessGame game;
    platform::PixelSurface expected(game.Pixels().Size());
    for (int x = 11; x <= 244; ++x)
        for (int y = 82; y <= 307; ++y)
            expected.SetPixelV(x, y, 0x808080);
    game.PaintPlayfield();
    EXPECT_TRUE(game.Pixels().Image() == expected.Image());

    // Clipped at the surface's edges like single pixels are.
    platform::PixelSurface filled(QSize(40, 30)), single(QSize(40, 30));
    filled.FillRect(QRect(-5, 20, 60, 20), 0x123456);
    for (int x = -5; x < 55; ++x)
        for (int y = 20; y < 40; ++y)
            single.SetPixelV(x, y, 0x123456);
    EXPECT_TRUE(filled.Image() == single.Image());
    EXPECT_EQ(filled.GetPixel(0, 29), 0x123456);
    EXPECT_EQ(filled.GetPixel(0, 19), -1);
}
