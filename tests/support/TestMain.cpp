#include "platform/Application.h"
#include "res/Icon.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The suite runs without a display, and outside the desktop's session:
    // its settings (the title bars' in a GNOME session) are the tests' own.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("XDG_CURRENT_DESKTOP");
    ::testing::InitGoogleTest(&argc, argv);
    // As the game does: the HiDPI tests run at fractional factors too.
    platform::UseWholeScaleFactors();
    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    return RUN_ALL_TESTS();
}
