#pragma once
#include "platform/Dialog.h"

#include <cstdint>

// Picks the snake's colour scheme, with a preview strip, and the clock period.
// Works on copies that the caller hands in before and reads back after.
class CSettingsDlg : public platform::Dialog {
public:
    CSettingsDlg();

    void SetValues(std::int32_t red, std::int32_t green, std::int32_t blue, std::int32_t interval);
    std::int32_t GetColorR() const { return m_nColorR; }
    std::int32_t GetColorG() const { return m_nColorG; }
    std::int32_t GetColorB() const { return m_nColorB; }
    std::int32_t GetInterval() const { return m_nInterval; }

    void OnColorOrange();
    void OnColorBlue();
    void OnColorGreen();
    void OnSpeed9x();
    void OnSpeedXp();
    void DrawPreview();

    std::int32_t m_nInterval = 0;
    std::int32_t m_nColorB = 0;
    std::int32_t m_nColorR = 0;
    std::int32_t m_nColorG = 0;
};
