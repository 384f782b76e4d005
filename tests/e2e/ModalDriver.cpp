// Opens every dialog of the game in turn in the real main window on a
// headless GNOME compositor (mutter), and checks each as a player would see
// and use it: where the compositor put it, in the compositor's own picture,
// and whether it keeps the keyboard when the main window is clicked. The
// click and the Escape key go through the compositor's seat
// (coilrunner_mutter_remote, tests/e2e/mutter.sh), as a player's would; the
// dialogs themselves are opened through the game's own commands.
//
// Each window is found in the picture by its own pixels (QWidget::grab):
// a dialog must stand centred over the main window, within 3 pixels, or as
// near to that as the screen's edges let it; a box shown before the main
// window exists (the start's "Manipulation recognized!") centred on the
// screen. Then a left click on the main window, away from the dialog, and
// Escape: the dialog must close, as it does only where the compositor kept
// the keyboard with it (a blocked main window drops the key).
//
// The dialogs: About, Settings, the list, the F1 boxes ("Tach!" and the
// help), "Please enter an integer.", the game-over box, the name entry and
// the list after it. With "start", only the box of the start, for a
// tampered HiScores.ini.
//
// Usage: coilrunner_modal_driver <all|start> <folder for pictures>
//                                <coilrunner_mutter_remote> <its socket>
// Prints "checked: <title>: <text>" for each dialog; exits with 0 when every
// check held, 1 otherwise.

#include "app/GameApp.h"
#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Dialog.h"
#include "res/Icon.h"
#include "res/resource.h"
#include "tests/e2e/DriverChecks.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unordered_map>
#include <vector>

namespace {

using driver::Check;
using driver::Note;

// A dialog stands where it should within this many pixels.
constexpr int kTolerance = 3;

// --- the compositor, through the remote ---------------------------------------------

QString g_remote, g_socket;
QDir g_shots;

// One request to the remote; false when it failed.
bool Ask(const QStringList& request)
{
    return driver::RunWhileTheGameRuns(g_remote, QStringList{QStringLiteral("ask"), g_socket} + request, g_shots.path())
        == 0;
}

QImage Screenshot()
{
    g_shots.remove(QStringLiteral("shot.png"));
    if (!Ask({QStringLiteral("shot"), QStringLiteral("shot.png")}))
        return {};
    return QImage(g_shots.filePath(QStringLiteral("shot.png"))).convertToFormat(QImage::Format_RGB32);
}

// --- finding a window in the picture -----------------------------------------------

// Where the picture shows `window` (its own pixels, as it draws them): the
// place where at least 90 % of its pixels are equal. A few may differ (a
// blinking text cursor). Sample pixels of rare colours are tried first, so
// that a wrong place fails after a few comparisons.
QRect Find(const QImage& picture, const QImage& window)
{
    if (picture.isNull() || window.isNull() || window.width() > picture.width() || window.height() > picture.height())
        return {};
    std::unordered_map<QRgb, int> counts;
    for (int y = 0; y < window.height(); ++y)
        for (int x = 0; x < window.width(); ++x)
            ++counts[window.pixel(x, y)];
    struct Sample {
        int x, y;
        QRgb colour;
        int count;
    };
    std::vector<Sample> samples;
    for (int y = 0; y < window.height(); y += 3)
        for (int x = 0; x < window.width(); x += 3)
            samples.push_back({x, y, window.pixel(x, y), counts[window.pixel(x, y)]});
    std::stable_sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.count < b.count; });
    const size_t quick = std::min<size_t>(32, samples.size());

    for (int top = 0; top + window.height() <= picture.height(); ++top)
        for (int left = 0; left + window.width() <= picture.width(); ++left) {
            int misses = 0;
            for (size_t i = 0; i < quick && misses <= 3; ++i)
                misses += picture.pixel(left + samples[i].x, top + samples[i].y) == samples[i].colour ? 0 : 1;
            if (misses > 3)
                continue;
            long long equal = 0;
            for (int y = 0; y < window.height(); ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(top + y)) + left;
                const auto* own = reinterpret_cast<const QRgb*>(window.constScanLine(y));
                for (int x = 0; x < window.width(); ++x)
                    equal += line[x] == own[x] ? 1 : 0;
            }
            if (equal * 10 >= 9LL * window.width() * window.height())
                return QRect(left, top, window.width(), window.height());
        }
    return {};
}

QImage Pixels(QWidget* window) { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Where a dialog of `size` belongs: centred over `over`, moved as little as
// needed to lie whole on the screen.
QPoint Centred(const QRect& over, const QSize& size, const QSize& screen)
{
    const QPoint centred = over.center() - QPoint(size.width() / 2, size.height() / 2);
    return {std::clamp(centred.x(), 0, screen.width() - size.width()),
            std::clamp(centred.y(), 0, screen.height() - size.height())};
}

bool Near(const QPoint& a, const QPoint& b)
{
    return std::abs(a.x() - b.x()) <= kTolerance && std::abs(a.y() - b.y()) <= kTolerance;
}

QString Text(const QRect& r) { return QStringLiteral("%1x%2 at %3,%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()); }

bool Exposed(QWidget* window) { return window && window->windowHandle() && window->windowHandle()->isExposed(); }

// What a dialog says: a message box's text, else its title.
QString Says(QWidget* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->text().section(QLatin1Char('\n'), 0, 0);
    return dialog->windowTitle();
}

// --- the script ------------------------------------------------------------------------

struct Step {
    QString what;
    std::function<bool()> run;
};

class Script : public QObject {
public:
    Script()
    {
        connect(&m_timer, &QTimer::timeout, this, &Script::Poll);
        m_timer.start(20);
    }

    // The steps run in turn while the main window is the top one; each
    // dialog that comes up is checked by CheckDialog, which the step before
    // it expects by what it says.
    std::vector<Step> m_steps;
    std::vector<QString> m_dialogs;   // what each dialog says (its start), in order
    size_t m_step = 0, m_dialog = 0;
    QWidget* m_main = nullptr;
    QRect m_mainRect;
    QSize m_screen;

    bool Done() const { return m_step == m_steps.size() && m_dialog == m_dialogs.size(); }

private:
    void Poll()
    {
        // A check waits in event loops of its own (for a picture, a click);
        // its deadline holds there too.
        if (!m_deadline.isForever() && m_deadline.hasExpired()) {
            Check(false, QStringLiteral("no progress: ") + m_waitingFor);
            std::exit(1);
        }
        if (m_busy)
            return;
        // A dialog that was clicked away from and given Escape must close.
        if (m_closing) {
            if (m_closing->isVisible())
                return;
            m_closing = nullptr;
            Progress(QStringLiteral("the next window"));
        }
        QWidget* top = QApplication::activeModalWidget();
        if (!top)
            return;
        m_busy = true;
        if (top == platform::MainWindow()) {
            if (m_step < m_steps.size() && m_steps[m_step].run()) {
                Note(QStringLiteral("done: ") + m_steps[m_step].what);
                Progress(++m_step < m_steps.size() ? m_steps[m_step].what : QStringLiteral("the end"));
            }
        } else if (m_dialog < m_dialogs.size() && CheckDialog(top)) {
            ++m_dialog;
        }
        m_busy = false;
    }

    void Progress(const QString& next)
    {
        m_waitingFor = next;
        m_deadline = QDeadlineTimer(120000);
    }

    bool CheckDialog(QWidget* dialog)
    {
        if (!Exposed(dialog))
            return false;
        const QString says = Says(dialog);
        if (!says.startsWith(m_dialogs[m_dialog])) {
            Check(false, QStringLiteral("the dialog \"%1\" came where \"%2\" was expected").arg(says, m_dialogs[m_dialog]));
            std::exit(1);
        }
        m_waitingFor = QStringLiteral("\"%1\" in the compositor's picture").arg(says);
        const QRect found = Find(Screenshot(), Pixels(dialog));
        if (found.isNull())
            return false;   // not drawn yet
        const QPoint wanted = m_main ? Centred(m_mainRect, found.size(), m_screen)
                                     : Centred(QRect(QPoint(0, 0), m_screen), found.size(), m_screen);
        Check(Near(found.topLeft(), wanted),
              QStringLiteral("\"%1\" stands %2, not at %3,%4 (centred over %5)")
                  .arg(says, Text(found))
                  .arg(wanted.x())
                  .arg(wanted.y())
                  .arg(m_main ? QStringLiteral("the main window, ") + Text(m_mainRect) : QStringLiteral("the screen")));
        // A click on the main window, away from the dialog (on the screen
        // where there is no main window yet), then Escape.
        if (m_main) {
            const QRect area = m_mainRect.adjusted(6, 6, -6, -6);
            const QPoint corners[] = {area.bottomLeft(), area.bottomRight(), area.topLeft(), area.topRight()};
            const QRect dialogArea = found.adjusted(-4, -4, 4, 4);
            const QPoint* target = std::find_if(std::begin(corners), std::end(corners),
                                                [&](const QPoint& p) { return !dialogArea.contains(p); });
            Check(target != std::end(corners), QStringLiteral("\"%1\" covers the main window whole").arg(says));
            if (target != std::end(corners))
                Check(Ask({QStringLiteral("click"), QString::number(target->x()), QString::number(target->y())}),
                      QStringLiteral("the click on the main window did not reach the compositor"));
        }
        Check(Ask({QStringLiteral("key"), QStringLiteral("1")}), QStringLiteral("Escape did not reach the compositor"));
        Note(QStringLiteral("checked: %1: %2, %3").arg(dialog->windowTitle(), says, Text(found)));
        m_closing = dialog;
        // Only a dialog that has the keyboard closes with Escape.
        m_waitingFor = QStringLiteral("\"%1\" to close with Escape after a click on the main window").arg(says);
        m_deadline = QDeadlineTimer(60000);
        return true;
    }

    QTimer m_timer;
    bool m_busy = false;
    QPointer<QWidget> m_closing;
    QString m_waitingFor = QStringLiteral("the first window");
    QDeadlineTimer m_deadline{120000};
};

// Runs `call` from the event loop, after the step that asks for it: a
// command that opens a modal dialog returns only when the dialog is closed.
void Later(std::function<void()> call) { QTimer::singleShot(0, qApp, std::move(call)); }

} // namespace

int main(int argc, char* argv[])
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (argc != 5 || (mode != "all" && mode != "start")) {
        std::fprintf(stderr, "usage: %s <all|start> <folder for pictures> <coilrunner_mutter_remote> <socket>\n",
                     argv[0]);
        return 2;
    }
    g_shots = QDir(QString::fromLocal8Bit(argv[2]));
    g_remote = QString::fromLocal8Bit(argv[3]);
    g_socket = QString::fromLocal8Bit(argv[4]);

    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        std::fprintf(stderr, "FAIL: running on \"%s\", not on Wayland\n", qPrintable(QGuiApplication::platformName()));
        return 1;
    }

    // F1 shows the program's help after "Tach!", as in the game.
    platform::SetAppHelp(&CGameApp::OnHelp);
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    Script script;
    script.m_screen = QGuiApplication::primaryScreen()->size();

    const QString stepShown = QStringLiteral("the main window in the compositor's picture");
    const auto findMain = [&] {
        QWidget* main = platform::MainWindow();
        if (!Exposed(main))
            return false;
        script.m_mainRect = Find(Screenshot(), Pixels(main));
        if (script.m_mainRect.isNull())
            return false;
        script.m_main = main;
        Note(QStringLiteral("the main window stands ") + Text(script.m_mainRect));
        return true;
    };

    if (mode == "start") {
        // The box comes before the main window; then the main window ends.
        script.m_dialogs = {QStringLiteral("Manipulation recognized!")};
        QTimer mainShown;
        QObject::connect(&mainShown, &QTimer::timeout, [&] {
            if (script.m_dialog == 1 && Exposed(platform::MainWindow()) && QApplication::activeModalWidget() == platform::MainWindow())
                dlg.EndDialog(platform::IDCANCEL);
        });
        mainShown.start(20);
        dlg.DoModal();
        platform::SetMainDialog(nullptr);
        Check(script.m_dialog == 1, QStringLiteral("the box of the start was not shown"));
        return driver::g_failures == 0 ? 0 : 1;
    }

    QLineEdit* score = nullptr;
    script.m_steps = {
        {stepShown, [&] {
             if (!findMain())
                 return false;
             Later([&] { dlg.OnHelpAbout(); });
             return true;
         }},
        {"File > Settings", [&] { Later([&] { dlg.OnFileSettings(); }); return true; }},
        {"File > Highscores", [&] { Later([&] { dlg.OnFileHighscores(); }); return true; }},
        {"F1", [&] { Later([&] { dlg.OnHelpInfo(); }); return true; }},
        {"x and OK in the score box", [&] {
             score = qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_SCORE));
             score->setText(QStringLiteral("x"));
             Later([&] { dlg.OnCommand(platform::IDOK); });
             return true;
         }},
        {"Start! and a game into the wall", [&] {
             score->setText(QStringLiteral("0"));
             Later([&] { dlg.OnStart(); });
             return true;
         }},
        {"the game over", [&] {
             // The main window is the top one again after the list.
             if (script.m_dialog < script.m_dialogs.size())
                 return false;
             Later([&] { dlg.EndDialog(platform::IDCANCEL); });
             return true;
         }},
    };
    const QString appName = QStringLiteral("Quillware Coilrunner");
    script.m_dialogs = {
        QStringLiteral("Info about Quillware Coilrunner"),
        QStringLiteral("Settings"),
        QStringLiteral("All times greatest"),
        QStringLiteral("Tach!"),
        appName,   // the help: its first line is the program's name
        QStringLiteral("Please enter an integer."),
        QStringLiteral("Game over!   Score: "),
        QStringLiteral("New High Score!"),
        QStringLiteral("All times greatest"),
    };

    dlg.DoModal();
    platform::SetMainDialog(nullptr);
    Check(script.Done(), QStringLiteral("the program ended before every dialog was checked"));
    return driver::g_failures == 0 ? 0 : 1;
}
