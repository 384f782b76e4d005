#include "game/GameCore.h"

namespace game {

void GameCore::DrawLine(platform::ClientDC& dc, std::int32_t x, std::int32_t y, std::uint32_t dir,
                        bool fixedColumn)
{
    // A vertical line is a row segment, a horizontal one a column segment.
    // The green of each pixel follows its column, except where the caller
    // fixes the column value at X for a whole horizontal line.
    for (int i = 0; i < kLineLength; ++i) {
        if (IsVertical(dir))
            dc.SetPixelV(x + i, y, SnakeColor(x + i));
        else
            dc.SetPixelV(x, y + i, SnakeColor(fixedColumn ? x : x + i));
    }
}

void GameCore::OnTimer(std::uintptr_t)
{
    platform::ClientDC dc(GameSurface());

    // The first tick of a game paints the field and places food.
    if (m_nFieldReady == 0) {
        PaintPlayfield();
        PlaceFood();
        m_nFieldReady = kMarker;
    }

    // A key that asked for a new direction becomes the request.
    const std::uint32_t keyDir = PlayAreaDirection();
    if (keyDir != m_nRequestedDir) {
        m_nRequestedDir = keyDir;
        m_nTurnDelay = 10;
    }

    switch (m_nDir) {
    case DIR_UP: --m_nHeadY; break;
    case DIR_RIGHT: ++m_nHeadX; break;
    case DIR_DOWN: ++m_nHeadY; break;
    case DIR_LEFT: --m_nHeadX; break;
    default: break;
    }

    // The wall test looks at the head point only.
    if (m_nHeadX <= kFieldLeft - 1 || m_nHeadX >= kFieldRight + 1
        || m_nHeadY <= kFieldTop - 1 || m_nHeadY >= kFieldBottom + 1) {
        GameOver();
        return;
    }

    ApplyTurn();
    AppendBodyLine(m_nHeadX, m_nHeadY, m_nDir);

    // Ten probes across the new head line against the tested body.
    bool hit = false;
    for (int i = 0; i < kLineLength; ++i) {
        m_nTestX = IsVertical(m_nDir) ? m_nHeadX + i : m_nHeadX;
        m_nTestY = IsVertical(m_nDir) ? m_nHeadY : m_nHeadY + i;
        if (HitsBody())
            hit = true;
    }
    if (hit) {
        GameOver();
        return;
    }

    if (m_nDrawLines != 0)
        DrawLine(dc, m_nHeadX, m_nHeadY, m_nDir, /*fixedColumn=*/true);

    CheckFood();
    RelayTailCorner();

    if (m_nDrawLines != 0) {
        const BodyArray& body = m_body;
        const auto x = static_cast<std::int32_t>(body[0]);
        const auto y = static_cast<std::int32_t>(body[1]);
        const std::uint32_t dir = body[2];
        for (int i = 0; i < kLineLength; ++i) {
            if (IsVertical(dir))
                dc.SetPixelV(x + i, y, kBackground);
            else
                dc.SetPixelV(x, y + i, kBackground);
        }
    }

    m_nDrawLines = kMarker;
    RemoveTailLine();
    RefreshControls();
}

void GameCore::ApplyTurn()
{
    if (m_nTurnDelay == 0)
        m_nDir = m_nRequestedDir;
    else
        --m_nTurnDelay;

    if (m_nDir == m_nRequestedDir)
        return;

    FocusPlayArea();
    // The shift lays the first line of the new direction alongside the last
    // ten lines of the old one, which become the corner block.
    struct Shift { std::uint32_t from, to; int dx, dy; };
    static constexpr Shift kShifts[] = {
        {DIR_UP, DIR_RIGHT, +10, +1},
        {DIR_UP, DIR_LEFT, -1, +1},
        {DIR_RIGHT, DIR_DOWN, -10, +10},
        {DIR_RIGHT, DIR_UP, -10, -1},
        {DIR_DOWN, DIR_LEFT, -1, -10},
        {DIR_DOWN, DIR_RIGHT, +10, -10},
        {DIR_LEFT, DIR_UP, +1, -1},
        {DIR_LEFT, DIR_DOWN, +1, +10},
    };
    for (const Shift& s : kShifts)
        if (s.from == m_nDir && s.to == m_nRequestedDir) {
            m_nHeadX += s.dx;
            m_nHeadY += s.dy;
            break;
        }
    // A reversal turns in place.
    m_nDir = m_nRequestedDir;
}

void GameCore::CheckFood()
{
    if (!m_bHasFood)
        return;
    // Eating reaches one pixel further than the head line: the food block
    // must hold a pixel on the head's row (column) within X .. X + 10
    // (Y .. Y + 10), both ends included.
    const bool onRow = m_nFoodY <= m_nHeadY && m_nHeadY <= m_nFoodY + kFoodSize - 1
        && m_nFoodX <= m_nHeadX + kLineLength && m_nHeadX <= m_nFoodX + kFoodSize - 1;
    const bool onColumn = m_nFoodX <= m_nHeadX && m_nHeadX <= m_nFoodX + kFoodSize - 1
        && m_nFoodY <= m_nHeadY + kLineLength && m_nHeadY <= m_nFoodY + kFoodSize - 1;
    const bool eaten = (IsVertical(m_nDir) && onRow) || (IsHorizontal(m_nDir) && onColumn);
    if (!eaten)
        return;

    m_nScore += 10;
    RefreshControls();
    PlaySoundKind(2);
    if (m_nInterval != kShortestInterval)
        --m_nInterval;
    RestartTimer();
    EraseFood();
    PlaceFood();

    // Eleven copies of the head line: the tail stands still for eleven ticks.
    AppendBodyLine(m_nHeadX, m_nHeadY, m_nDir);
    GrowTestedPrefix(30);
    platform::ClientDC dc(GameSurface());
    for (int copy = 0; copy < 10; ++copy) {
        AppendBodyLine(m_nHeadX, m_nHeadY, m_nDir);
        DrawLine(dc, m_nHeadX, m_nHeadY, m_nDir, /*fixedColumn=*/false);
    }
}

void GameCore::RelayTailCorner()
{
    const BodyArray& e = m_body;
    // The tick keeps at least 32 lines; a shorter body, set up by hand, has
    // no line 10 to relay against.
    if (e.GetSize() < 33)
        return;
    const std::uint32_t oldDir = e[29];
    const std::uint32_t newDir = e[32];
    if (oldDir == newDir)
        return;

    // Lines 0 to 9 change in place: the occupancy record drops them first
    // and takes them again once rewritten.
    SyncOccupancy();
    m_occupancy.BeginRewrite(m_body, 10);

    // The corner block reached the tail: its ten lines of the old direction
    // are laid again as ten lines of the new one over the same pixels,
    // ending next to line 10.
    for (std::size_t t = 0; t < 10; ++t)
        m_body[3 * t + 2] = newDir;

    const auto x10 = static_cast<std::int32_t>(e[30]);
    const auto y10 = static_cast<std::int32_t>(e[31]);
    struct Relay { std::uint32_t from, to; bool alongX; int base, step; };
    static constexpr Relay kRelays[] = {
        {DIR_UP, DIR_RIGHT, true, -10, +1},
        {DIR_UP, DIR_LEFT, true, +10, -1},
        {DIR_RIGHT, DIR_DOWN, false, -10, +1},
        {DIR_RIGHT, DIR_UP, false, +10, -1},
        {DIR_DOWN, DIR_LEFT, true, +10, -1},
        {DIR_DOWN, DIR_RIGHT, true, -10, +1},
        {DIR_LEFT, DIR_UP, false, +10, -1},
        {DIR_LEFT, DIR_DOWN, false, -10, +1},
    };
    for (const Relay& r : kRelays) {
        if (r.from != oldDir || r.to != newDir)
            continue;
        for (int t = 0; t < 10; ++t) {
            const std::int32_t offset = r.base + r.step * t;
            m_body[3 * t] = static_cast<std::uint32_t>(r.alongX ? x10 + offset : x10);
            m_body[3 * t + 1] = static_cast<std::uint32_t>(r.alongX ? y10 : y10 + offset);
        }
        break;
    }
    m_occupancy.EndRewrite(m_body, 10);
    m_occupancy.MarkSynced(m_body, m_nTestedEntries);
}

} // namespace game
