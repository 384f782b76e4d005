#include "app/AboutDlg.h"
#include "res/Templates.h"

CAboutDlg::CAboutDlg() : Dialog(res::kAboutBox) {}
