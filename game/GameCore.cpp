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

bool GameCore::HitsBody()
{
    bool hit = false;
    const std::size_t size = m_body.GetSize();
    // Every tested line is looked at; the bound also stops at the last whole
    // line, should the tested prefix ever reach past the body.
    for (std::size_t i = 0; static_cast<std::int64_t>(i) < m_nTestedEntries && i + 2 < size; i += 3) {
        const auto xs = static_cast<std::int32_t>(m_body[i]);
        const auto ys = static_cast<std::int32_t>(m_body[i + 1]);
        const std::uint32_t ds = m_body[i + 2];
        if (IsVertical(ds) && xs <= m_nTestX && m_nTestX < xs + kLineLength && m_nTestY == ys)
            hit = true;
        if (IsHorizontal(ds) && m_nTestX == xs && ys <= m_nTestY && m_nTestY < ys + kLineLength)
            hit = true;
    }
    return hit;
}

bool GameCore::FoodBlockHitsBody()
{
    bool hit = false;
    for (int i = 0; i < kFoodSize; ++i)
        for (int j = 0; j < kFoodSize; ++j) {
            m_nTestX = m_nFoodX + i;
            m_nTestY = m_nFoodY + j;
            if (HitsBody())
                hit = true;
        }
    return hit;
}

// Looks through every food position, row by row from the last one drawn,
// for a block clear of the tested body.
bool GameCore::FindFreeFoodPosition()
{
    const int startX = m_nFoodX - kFoodXMin;
    const int startY = m_nFoodY - kFoodYMin;
    const int count = kFoodXRange * kFoodYRange;
    const int start = startY * kFoodXRange + startX;
    for (int n = 0; n < count; ++n) {
        const int k = (start + n) % count;
        m_nFoodX = kFoodXMin + k % kFoodXRange;
        m_nFoodY = kFoodYMin + k / kFoodXRange;
        if (!FoodBlockHitsBody())
            return true;
    }
    return false;
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
    platform::ClientDC dc(GameSurface());
    for (int x = kFieldLeft; x <= kFieldRight; ++x)
        for (int y = kFieldTop; y <= kFieldBottom; ++y)
            dc.SetPixelV(x, y, kBackground);
}

} // namespace game
