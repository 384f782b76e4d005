#pragma once
#include "game/BodyArray.h"
#include "game/Direction.h"
#include "game/Occupancy.h"
#include "game/Random.h"
#include "platform/PixelSurface.h"

#include <cstdint>

namespace game {

using platform::COLORREF;

// Playfield geometry, in pixels of the main window's client area.
constexpr int kFieldLeft = 11;
constexpr int kFieldRight = 244;     // inclusive
constexpr int kFieldTop = 82;
constexpr int kFieldBottom = 307;    // inclusive
constexpr COLORREF kBackground = 0x808080;
constexpr COLORREF kFoodColor = 0xFAFAFA;
constexpr int kLineLength = 10;
constexpr int kFoodSize = 10;

// Start of every game.
constexpr int kStartHeadX = 131;
constexpr int kStartHeadY = 120;
constexpr int kStartTestedEntries = 89;
constexpr int kStartInterval = 30;
constexpr int kShortestInterval = 3;

// Marker of the one-shot flags.
constexpr std::int32_t kMarker = 42;

// The game: the snake's state and the tick that moves it. The main window
// derives from it and supplies what the tick needs of a window; tests and
// benchmarks supply the same with plain objects.
class GameCore {
public:
    GameCore() = default;
    virtual ~GameCore() = default;
    GameCore(const GameCore&) = delete;
    GameCore& operator=(const GameCore&) = delete;

    // The tick: one call per expiry of timer 1. The identifier is not looked at.
    void OnTimer(std::uintptr_t id);

    // True when the probe (m_nTestX, m_nTestY) lies on a tested body line.
    bool HitsBody();
    // Draws food positions until one is clear of the tested body, then draws the block.
    void PlaceFood();
    void EraseFood();
    void PaintPlayfield();
    void ApplyTurn();
    void CheckFood();
    void RelayTailCorner();

    // The game part of a reset: head, direction, tested entries, score,
    // period and flags.
    void ResetPlayState();
    // Appends the 31 lines of the start body, (X, 120, DIR_RIGHT) for
    // X = 100 to 130, to m_body.
    void AppendStartBody();

    // Whether a food block stands on the field. Only a field so full that
    // no free block exists leaves the game without one.
    bool HasFood() const { return m_bHasFood; }

    // The record of pixels covered by the tested lines behind HitsBody and
    // PlaceFood. The tick keeps it up to date line by line; a change made to
    // m_body or m_nTestedEntries from outside is noticed at the next hit test
    // and the record is rebuilt then.
    const Occupancy& BodyOccupancy() const { return m_occupancy; }

    // Members of the main window that the game works on.
    std::int32_t m_nDrawLines = 0;
    std::int32_t m_nFieldReady = 0;
    std::int32_t m_nColorB = 0;
    std::int32_t m_nColorG = 0;
    std::int32_t m_nColorR = 0;
    std::int32_t m_nInterval = kStartInterval;
    int m_nScore = 0;
    std::int32_t m_nTestY = 0;
    std::int32_t m_nTestX = 0;
    std::int32_t m_nTurnDelay = 0;
    std::int32_t m_nFoodY = 0;
    std::int32_t m_nFoodX = 0;
    std::int32_t m_nTestedEntries = 0;
    BodyArray m_body;
    std::uint32_t m_nRequestedDir = DIR_RIGHT;
    std::uint32_t m_nDir = DIR_RIGHT;
    std::int32_t m_nHeadY = 0;
    std::int32_t m_nHeadX = 0;

protected:
    // What the tick needs of the window around it.
    virtual platform::PixelSurface& GameSurface() = 0;
    // The direction of the last steering key (the play area's m_nDirection).
    virtual std::uint32_t PlayAreaDirection() = 0;
    virtual void FocusPlayArea() = 0;
    // Shows the members in the controls (the score box).
    virtual void RefreshControls() = 0;
    virtual void PlaySoundKind(int kind) = 0;
    // Starts timer 1 again with m_nInterval.
    virtual void RestartTimer() = 0;
    virtual void GameOver() = 0;

    COLORREF SnakeColor(int column) const
    {
        return platform::MakeColor(static_cast<unsigned>(m_nColorR),
                                   static_cast<unsigned>(m_nColorG + column),
                                   static_cast<unsigned>(m_nColorB));
    }

private:
    void DrawLine(platform::ClientDC& dc, std::int32_t x, std::int32_t y, std::uint32_t dir, bool fixedColumn);
    bool FoodBlockHitsBody();
    bool FindFreeFoodPosition();
    // Changes of the body and of the tested prefix that keep the occupancy
    // record in step.
    void SyncOccupancy();
    void AppendBodyLine(std::int32_t x, std::int32_t y, std::uint32_t dir);
    void RemoveTailLine();
    void GrowTestedPrefix(std::int32_t entries);

    Random m_random;
    bool m_bHasFood = false;
    Occupancy m_occupancy;
};

} // namespace game
