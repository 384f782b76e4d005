#include "app/PlayAreaDlg.h"
#include "res/Templates.h"

CPlayAreaDlg::CPlayAreaDlg() : Dialog(res::kPlayArea) {}

void CPlayAreaDlg::OnKeyDown(unsigned virtualKey)
{
    // Letter keys carry their upper-case code, so q and Q act alike.
    switch (virtualKey & 0xFFu) {
    case 0x51: m_nDirection = game::DIR_UP; break;     // Q
    case 0x41: m_nDirection = game::DIR_DOWN; break;   // A
    case 0x4E: m_nDirection = game::DIR_LEFT; break;   // N
    case 0x4D: m_nDirection = game::DIR_RIGHT; break;  // M
    default: break;
    }
}
