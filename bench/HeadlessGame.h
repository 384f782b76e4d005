#pragma once
// The game without a window: the real GameCore with a plain pixel surface,
// steering keys held in a member, and a game over that only counts and
// resets. For the benchmarks and the differential test.

#include "game/GameCore.h"
#include "platform/DialogUnits.h"
#include "platform/PixelSurface.h"
#include "res/Templates.h"

#include <cstdint>
#include <functional>

namespace circuit {

class HeadlessGame : public game::GameCore {
public:
    HeadlessGame()
        : m_surface(QSize(platform::DluToPxX(res::kGameDialog.cx), platform::DluToPxY(res::kGameDialog.cy)))
    {
        Reset();
    }

    // What the main window's reset does to the game.
    void Reset()
    {
        m_body.RemoveAll();
        ResetPlayState();
        AppendStartBody();
        keyDirection = game::DIR_RIGHT;
    }

    void Tick() { OnTimer(1); }
    platform::PixelSurface& Pixels() { return m_surface; }

    std::uint32_t keyDirection = game::DIR_RIGHT;
    int gameOvers = 0;
    int timerRestarts = 0;
    // Runs where the timer is restarted: inside an eating tick, just before
    // the food is erased and placed again.
    std::function<void()> onRestartTimer;

protected:
    platform::PixelSurface& GameSurface() override { return m_surface; }
    std::uint32_t PlayAreaDirection() override { return keyDirection; }
    void FocusPlayArea() override {}
    void RefreshControls() override {}
    void PlaySoundKind(int) override {}
    void RestartTimer() override
    {
        ++timerRestarts;
        if (onRestartTimer)
            onRestartTimer();
    }
    void GameOver() override
    {
        ++gameOvers;
        Reset();
    }

private:
    platform::PixelSurface m_surface;
};

// Starts a game, puts the snake on the circuit and feeds it every fourth
// tick until it is about `lines` lines long (eating adds eleven at a time),
// then lets it stretch out along the route for as many ticks again without
// eating. False if the game ended on the way.
inline bool GrowOnCircuit(HeadlessGame& g, std::size_t lines)
{
    g.Reset();
    g.Tick();   // paints the field and places food
    g.keyDirection = PlaceSnake(g);
    const int before = g.gameOvers;
    for (int tick = 0; g.m_body.GetSize() / 3 + 10 < lines; ++tick) {
        g.keyDirection = Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
        if (tick % 4 == 0 && g.HasFood() && GoesStraight(g))
            FoodAhead(g);
        else
            FoodAway(g);
        g.Tick();
        if (g.gameOvers != before)
            return false;
    }
    for (std::size_t tick = 0; tick < lines; ++tick) {
        g.keyDirection = Steer(g.m_nHeadX, g.m_nHeadY, g.m_nDir);
        FoodAway(g);
        g.Tick();
        if (g.gameOvers != before)
            return false;
    }
    return true;
}

} // namespace circuit
