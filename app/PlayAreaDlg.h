#pragma once
#include "game/Direction.h"
#include "platform/Dialog.h"

#include <cstdint>

// The empty, borderless child window over the playfield. It exists only
// during a game and serves to receive the steering keys.
class CPlayAreaDlg : public platform::Dialog {
public:
    CPlayAreaDlg();

    std::uint32_t GetDirection() const { return m_nDirection; }
    void SetDirection(std::uint32_t direction) { m_nDirection = direction; }

    // Q, A, N and M steer; every other key is left alone.
    void OnKeyDown(unsigned virtualKey) override;

    std::uint32_t m_nDirection = game::DIR_RIGHT;
};
