#pragma once
#include "platform/Dialog.h"

// The About box: the program's name, version and credits.
class CAboutDlg : public platform::Dialog {
public:
    CAboutDlg();
};
