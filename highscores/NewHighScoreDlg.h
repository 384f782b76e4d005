#pragma once
#include "platform/Dialog.h"

#include <string>

// Asks the player for a name for a new high score.
class CNewHighScoreDlg : public platform::Dialog {
public:
    CNewHighScoreDlg();
    void DoDataExchange(platform::DataExchange& dx) override;

    std::string m_strName;
};
