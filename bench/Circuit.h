#pragma once
// A closed route for the snake that covers nearly the whole field, for the
// benchmarks, the program-loop measurement and the differential test.
//
// Twenty-two bands of ten rows run across the field, rows 83 + 10k to
// 92 + 10k for k = 0 to 21: even bands go right, odd bands go left, joined at
// the ends by ten-row downward legs; the last band turns up into a corridor
// of columns 12 to 21, which leads back to band 0. Column 11, column 244 and
// rows 303 to 307 stay free. Along the route the snake can be about 5,100
// lines long before its head reaches its tail.

#include "game/Direction.h"
#include "game/GameCore.h"

#include <cstdint>

namespace circuit {

using game::DIR_DOWN;
using game::DIR_LEFT;
using game::DIR_RIGHT;
using game::DIR_UP;

constexpr std::int32_t kFirstBandTop = 83;
constexpr int kBands = 22;
constexpr std::int32_t kRightTurnX = 244;    // head column at which a right band turns down
constexpr std::int32_t kLeftTurnX = 21;      // ... at which a left band turns down
constexpr std::int32_t kCorridorTurnX = 11;  // ... at which the last band turns up
constexpr std::int32_t kTopTurnY = 82;       // head row at which the corridor turns right

// Where the head will be after this tick's one-pixel move.
inline void NextHead(std::int32_t x, std::int32_t y, std::uint32_t dir, std::int32_t& nx, std::int32_t& ny)
{
    nx = x;
    ny = y;
    switch (dir) {
    case DIR_UP: --ny; break;
    case DIR_RIGHT: ++nx; break;
    case DIR_DOWN: ++ny; break;
    case DIR_LEFT: --nx; break;
    default: break;
    }
}

// The direction to ask for before the next tick of a snake on the route.
inline std::uint32_t Steer(std::int32_t x, std::int32_t y, std::uint32_t dir)
{
    std::int32_t nx, ny;
    NextHead(x, y, dir, nx, ny);
    switch (dir) {
    case DIR_RIGHT:
        return nx == kRightTurnX ? DIR_DOWN : DIR_RIGHT;
    case DIR_LEFT: {
        const int band = (y - kFirstBandTop) / 10;
        if (band == kBands - 1)
            return nx == kCorridorTurnX ? DIR_UP : DIR_LEFT;
        return nx == kLeftTurnX ? DIR_DOWN : DIR_LEFT;
    }
    case DIR_DOWN:
        // The leg on the right ends where an odd band begins, the leg on the
        // left where an even band begins.
        if (x > 128)
            return (ny - kFirstBandTop) % 20 == 0 ? DIR_LEFT : DIR_DOWN;
        return (ny - kFirstBandTop) % 20 == 10 ? DIR_RIGHT : DIR_DOWN;
    case DIR_UP:
        return ny == kTopTurnY ? DIR_RIGHT : DIR_UP;
    default:
        return dir;
    }
}

// True when this tick moves the head straight on (no turn).
inline bool GoesStraight(const game::GameCore& g)
{
    return Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir) == g.m_nDir;
}

// Puts a fresh 31-line snake on the route, in the corridor heading up, with
// the tested prefix of a new game. Returns the direction the keys must hold.
inline std::uint32_t PlaceSnake(game::GameCore& g)
{
    g.m_body.RemoveAll();
    for (std::int32_t y = 151; y >= 121; --y)
        g.m_body.AddLine(12, y, DIR_UP);
    g.m_nHeadX = 12;
    g.m_nHeadY = 120;
    g.m_nDir = DIR_UP;
    g.m_nRequestedDir = DIR_UP;
    g.m_nTurnDelay = 0;
    g.m_nTestedEntries = game::kStartTestedEntries;
    return DIR_UP;
}

// Moves the food to where the head arrives this tick, so that the tick eats
// it. Only for a tick that goes straight on.
inline void FoodAhead(game::GameCore& g)
{
    NextHead(g.m_nHeadX, g.m_nHeadY, g.m_nDir, g.m_nFoodX, g.m_nFoodY);
}

// The food out of the head's way for this tick: in the far corner of the
// field from the head, which no tick's move, turn and eating reach can span.
// Set before every tick, it keeps a snake from eating.
inline void FoodAway(game::GameCore& g)
{
    g.m_nFoodX = g.m_nHeadX < 128 ? 225 : 11;
    g.m_nFoodY = g.m_nHeadY < 195 ? 290 : 81;
}

} // namespace circuit
