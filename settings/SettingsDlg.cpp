#include "settings/SettingsDlg.h"
#include "res/Templates.h"
#include "res/resource.h"

CSettingsDlg::CSettingsDlg() : Dialog(res::kSettings)
{
    OnCommandId(IDC_COLOR_ORANGE, [this] { OnColorOrange(); });
    OnCommandId(IDC_COLOR_BLUE, [this] { OnColorBlue(); });
    OnCommandId(IDC_COLOR_GREEN, [this] { OnColorGreen(); });
    OnCommandId(IDC_SPEED_9X, [this] { OnSpeed9x(); });
    OnCommandId(IDC_SPEED_XP, [this] { OnSpeedXp(); });
}

void CSettingsDlg::SetValues(std::int32_t red, std::int32_t green, std::int32_t blue, std::int32_t interval)
{
    m_nColorR = red;
    m_nColorG = green;
    m_nColorB = blue;
    m_nInterval = interval;
}

void CSettingsDlg::OnColorOrange()
{
    m_nColorR = 250;
    m_nColorG = 5;
    m_nColorB = 10;
    DrawPreview();
}

void CSettingsDlg::OnColorBlue()
{
    m_nColorR = 10;
    m_nColorG = 5;
    m_nColorB = 250;
    DrawPreview();
}

void CSettingsDlg::OnColorGreen()
{
    m_nColorR = 50;
    m_nColorG = 5;
    m_nColorB = 50;
    DrawPreview();
}

void CSettingsDlg::OnSpeed9x() { m_nInterval = 15; }

void CSettingsDlg::OnSpeedXp() { m_nInterval = 30; }

void CSettingsDlg::DrawPreview()
{
    // The strip lies on the dialog's pixel surface, so unlike a bare pixel
    // call it stays when the dialog repaints.
    if (!Surface())
        return;
    platform::ClientDC dc(*Surface());
    for (int y = 128; y <= 137; ++y)
        for (int x = 150; x <= 239; ++x)
            dc.SetPixelV(x, y, platform::MakeColor(static_cast<unsigned>(m_nColorR),
                                                   static_cast<unsigned>(m_nColorG + x),
                                                   static_cast<unsigned>(m_nColorB)));
}
