#include "game/GameCore.h"

namespace game {

namespace {
// Random draws before the food placement looks through every position.
constexpr int kMaxFoodDraws = 1000;
constexpr int kFoodXRange = 225;     // X = 11 .. 235
constexpr int kFoodYRange = 217;     // Y = 81 .. 297
constexpr int kFoodXMin = 11;
constexpr int kFoodYMin = 81;
} // namespace

void GameCore::ResetPlayState()
{
    m_nHeadX = kStartHeadX;
    m_nHeadY = kStartHeadY;
    m_nDir = DIR_RIGHT;
    m_nRequestedDir = DIR_RIGHT;
    m_nTestedEntries = kStartTestedEntries;
    m_nScore = 0;
    m_nInterval = kStartInterval;
    m_nFieldReady = 0;
    m_nDrawLines = 0;
}

void GameCore::AppendStartBody()
{
    for (std::int32_t x = 100; x <= 130; ++x)
        m_body.AddLine(x, kStartHeadY, DIR_RIGHT);
}

void GameCore::SyncOccupancy()
{
    if (!m_occupancy.InSync(m_body, m_nTestedEntries))
        m_occupancy.Rebuild(m_body, m_nTestedEntries);
}

void GameCore::AppendBodyLine(std::int32_t x, std::int32_t y, std::uint32_t dir)
{
    SyncOccupancy();
    m_body.AddLine(x, y, dir);
    m_occupancy.Settle(m_body, m_nTestedEntries);
}

void GameCore::RemoveTailLine()
{
    SyncOccupancy();
    m_occupancy.DropFirstLine(m_body);
    m_body.RemoveFront(3);
    m_occupancy.Settle(m_body, m_nTestedEntries);
}

void GameCore::GrowTestedPrefix(std::int32_t entries)
{
    SyncOccupancy();
    m_nTestedEntries += entries;
    m_occupancy.Settle(m_body, m_nTestedEntries);
}

// The probe hits when a tested line covers its pixel. The lines are not
// scanned: the occupancy record counts, per pixel, the tested lines on it.
bool GameCore::HitsBody()
{
    SyncOccupancy();
    return m_occupancy.Covers(m_nTestX, m_nTestY);
}

// The 100 pixels of the food block against the tested body. The probe is
// left on the last pixel, (X + 9, Y + 9), as a probe-by-probe test leaves it.
bool GameCore::FoodBlockHitsBody()
{
    SyncOccupancy();
    const bool hit = m_occupancy.BlockCovered(m_nFoodX, m_nFoodY, kFoodSize);
    m_nTestX = m_nFoodX + kFoodSize - 1;
    m_nTestY = m_nFoodY + kFoodSize - 1;
    return hit;
}

// Looks through every food position for a block clear of the tested body:
// row by row from the last position drawn, round to the first row after the
// last. A table of covered-pixel sums answers each block at once.
bool GameCore::FindFreeFoodPosition()
{
    SyncOccupancy();
    m_occupancy.PrepareBlockSearch(kFoodXMin, kFoodYMin, kFoodXRange, kFoodYRange, kFoodSize);
    int col = 0, row = 0;
    const bool found = m_occupancy.FirstFreeBlock(m_nFoodX - kFoodXMin, m_nFoodY - kFoodYMin, col, row);
    m_nFoodX = kFoodXMin + col;
    m_nFoodY = kFoodYMin + row;
    // The probe stays where the last of the position's probes put it.
    m_nTestX = m_nFoodX + kFoodSize - 1;
    m_nTestY = m_nFoodY + kFoodSize - 1;
    return found;
}

void GameCore::PlaceFood()
{
    bool found = false;
    for (int draw = 0; draw < kMaxFoodDraws && !found; ++draw) {
        m_nFoodX = m_random.rand() % kFoodXRange + kFoodXMin;
        m_nFoodY = m_random.rand() % kFoodYRange + kFoodYMin;
        found = !FoodBlockHitsBody();
    }
    // A field this crowded gets its free block, if any, by a full search
    // instead of an endless series of draws; with none the game goes on
    // without food.
    if (!found)
        found = FindFreeFoodPosition();
    m_bHasFood = found;
    if (!found)
        return;

    platform::ClientDC dc(GameSurface());
    for (int i = 0; i < kFoodSize; ++i)
        for (int j = 0; j < kFoodSize; ++j)
            dc.SetPixel(m_nFoodX + i, m_nFoodY + j, kFoodColor);
}

void GameCore::EraseFood()
{
    if (!m_bHasFood)
        return;
    platform::ClientDC dc(GameSurface());
    for (int i = 0; i < kFoodSize; ++i)
        for (int j = 0; j < kFoodSize; ++j)
            dc.SetPixelV(m_nFoodX + i, m_nFoodY + j, kBackground);
}

void GameCore::PaintPlayfield()
{
    // Every pixel of X = 11 to 244 and Y = 82 to 307 in one pass over the
    // off-screen image; no one sees the order the pixels change in.
    platform::ClientDC dc(GameSurface());
    dc.FillSolidRect(kFieldLeft, kFieldTop, kFieldRight - kFieldLeft + 1, kFieldBottom - kFieldTop + 1, kBackground);
}

} // namespace game
