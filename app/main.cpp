#include "app/DataFolderStart.h"
#include "app/GameApp.h"
#include "platform/Application.h"
#include "res/Icon.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// The toolkit's own options, which QApplication takes from the command line
// itself (see coilrunner(6)): accepted here, left out of --help and handed on
// untouched.
struct ToolkitOption {
    const char* name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},     {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},       {"qwindowgeometry", true},    {"qwindowicon", true},
    {"qwindowtitle", true}, {"session", true},            {"display", true},
    {"geometry", true},     {"style", true},              {"stylesheet", true},
    {"reverse", false},     {"widgetcount", false},
};

// Ends --help or --version: what was printed must have reached its place
// (stdout is buffered, so a full disk shows only here).
int Printed()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "coilrunner: the output could not be written: %s\n", std::strerror(errno));
    return 1;
}

// Reads the command line before anything needs a display. Gives the exit
// status when the program is to end at once (help, version, a bad option),
// nothing when the game is to start; sets toolkitPicksDisplay when an option
// tells the toolkit where to show the window, and inDataFolder when the game
// is to run in the player's data folder.
std::optional<int> ReadCommandLine(int argc, char* argv[], bool& toolkitPicksDisplay, bool& inDataFolder)
{
    QCommandLineParser parser;
    // Qt's options are single words after one dash (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Quillware Coilrunner, an arcade snake game. Steer the snake with the buttons\n"
        "or the keys Q (up), A (down), N (left) and M (right) and eat the white blocks.\n"
        "The ten best scores are kept in HiScores.ini in the current folder, or with\n"
        "--data-folder, as the menu entry starts the game, in the player's data folder.\n"
        "See coilrunner(6)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption dataFolder(
        QStringLiteral("data-folder"),
        QStringLiteral("Run in the player's data folder, ~/.local/share/coilrunner\n"
                       "(or $XDG_DATA_HOME/coilrunner), made if missing."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(dataFolder);
    for (const ToolkitOption& option : kToolkitOptions) {
        QCommandLineOption toolkit(QString::fromLatin1(option.name));
        if (option.takesValue)
            toolkit.setValueName(QStringLiteral("value"));
        toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(toolkit);
    }

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "coilrunner: %s Try 'coilrunner --help'.\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(help)) {
        // With no application object yet the parser cannot know the
        // program's name and leaves a placeholder for it.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("coilrunner"))),
                   stdout);
        return Printed();
    }
    if (parser.isSet(version)) {
        std::fputs("coilrunner " COILRUNNER_VERSION "\n"
                   "Copyright (c) 2026 Quillware. Free software under the MIT licence.\n",
                   stdout);
        return Printed();
    }
    toolkitPicksDisplay = parser.isSet(QStringLiteral("platform")) || parser.isSet(QStringLiteral("display"));
    inDataFolder = parser.isSet(dataFolder);
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    bool toolkitPicksDisplay = false;
    bool inDataFolder = false;
    if (const std::optional<int> status = ReadCommandLine(argc, argv, toolkitPicksDisplay, inDataFolder))
        return *status;
    // Where an option names the platform or the X display, the toolkit looks
    // there itself.
    QByteArray why;
    if (!toolkitPicksDisplay && !platform::HasDisplay(why)) {
        std::fprintf(stderr, "coilrunner: %s; Quillware Coilrunner needs a desktop session (X11 or Wayland).\n",
                     why.constData());
        return 1;
    }
    // Before the application object: Qt reads its scale factors as it starts.
    platform::UseWholeScaleFactors();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    QApplication::setApplicationVersion(QStringLiteral(COILRUNNER_VERSION));
    // The application id names the installed .desktop file (and its icon): the
    // compositor matches the window to it on Wayland. On X11 the window class
    // comes from the application name, which the .desktop file repeats as
    // StartupWMClass. cmake/Install.cmake defines COILRUNNER_APP_ID.
    QApplication::setDesktopFileName(QStringLiteral(COILRUNNER_APP_ID));
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    if (inDataFolder)
        StartInDataFolder();

    CGameApp theApp;
    theApp.InitInstance();
    return 0;
}
