// Plays the game in the real main window on a Wayland compositor, with the
// real message boxes and dialogs. A compositor lets no outside program type
// or click into a client, so the input comes through the toolkit from inside
// this process, as events posted to the widgets; what the player sees is
// taken from the compositor by its screenshot tool (weston-screenshooter,
// grim).
//
// The script: Start! is clicked; the screen must show the grey field with
// the orange snake; the snake is steered with the Down button, then the keys
// N and Q, into a wall; the game-over box is answered with Return, a name is
// typed into the name entry and confirmed with Return, the list closed with
// Return; "&Settings" is chosen from the File menu, "&Blue" clicked (the
// screen must show the blue preview strip) and the dialog closed with
// Return; a right click opens the window menu, whose "Inf&o about
// Coilrunner..." opens the About box, closed with Return; "x" and Return in
// the score box bring "Please enter an integer.", closed with Return; "5" and
// Return end the program through OK.
// Every window is checked as it comes: its title, the window it is transient
// for, its fixed size, and its title bar: with "own", the program's caption
// bar without maximise (a compositor that draws no title bars, as Weston);
// with "compositor", none of the program's or the toolkit's, the compositor
// drawing it (one that announces the xdg decoration manager, as sway).
//
// Usage: coilrunner_wayland_driver <own|compositor> <folder for pictures>
//                                  <screenshot command> [its arguments...]
// The screenshot command runs in the folder and leaves one PNG file there.
// Prints "final score: N" and exits with 0 when every check held, 1 otherwise.

#include "app/GameDlg.h"
#include "game/Direction.h"
#include "platform/Application.h"
#include "platform/Dialog.h"
#include "platform/internal/CaptionBar.h"
#include "res/Icon.h"
#include "res/resource.h"
#include "tests/e2e/DriverChecks.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace game;

namespace {

using driver::Check;
using driver::Note;

// --- input, posted as the window system would deliver it ----------------------

// A left click at the middle of the widget, or at `at`.
void Click(QWidget* widget, QPointF at = QPointF(-1, -1))
{
    const Qt::MouseButton button = Qt::LeftButton;
    const QPointF local = at.x() >= 0 ? at : QPointF(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(local);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, local, global, button, button,
                                                        Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, local, global, button,
                                                        Qt::NoButton, Qt::NoModifier));
}

// Key presses alone: Qt 6.4's Wayland input method follows a key release
// in an edit box to the seat's keyboard, and a headless compositor has no
// seat.
void Key(QWidget* widget, int key, const QString& text = QString())
{
    QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
}

void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        Key(widget, c.toUpper().unicode(), QString(c));
}

// --- the compositor's picture --------------------------------------------------

QStringList g_screenshooter;
QDir g_shots;

// What the compositor shows now, or a null image when no picture came.
QImage Screenshot()
{
    for (const QString& old : g_shots.entryList({QStringLiteral("*.png")}))
        g_shots.remove(old);
    // The bound is for a hang: the picture is taken at the compositor's next
    // repaint.
    if (driver::RunWhileTheGameRuns(g_screenshooter.constFirst(), g_screenshooter.mid(1), g_shots.path()) < 0)
        return {};
    const QStringList pictures = g_shots.entryList({QStringLiteral("*.png")});
    return pictures.isEmpty() ? QImage() : QImage(g_shots.filePath(pictures.first())).convertToFormat(QImage::Format_RGB32);
}

// The grey playfield: the rows and columns with at least 100 pixels of
// 0x808080 (the snake and the food interrupt some, text has a few).
QRect GreyField(const QImage& image)
{
    std::vector<int> rows(static_cast<size_t>(image.height())), cols(static_cast<size_t>(image.width()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0x808080) {
                ++rows[static_cast<size_t>(y)];
                ++cols[static_cast<size_t>(x)];
            }
    }
    int top = -1, bottom = -1, left = -1, right = -1;
    for (int y = 0; y < image.height(); ++y)
        if (rows[static_cast<size_t>(y)] >= 100) {
            if (top < 0) top = y;
            bottom = y;
        }
    for (int x = 0; x < image.width(); ++x)
        if (cols[static_cast<size_t>(x)] >= 100) {
            if (left < 0) left = x;
            right = x;
        }
    return top < 0 || left < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& wanted)
{
    int count = 0;
    const QRect box = area.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = box.left(); x <= box.right(); ++x)
            count += wanted(line[x]) ? 1 : 0;
    }
    return count;
}

// --- windows ---------------------------------------------------------------------

QWidget* g_main = nullptr;

// Who draws the title bars: the program ("own") or the compositor.
bool g_ownCaption = true;

// The title, the owner, the size, and the title bar: the program's own with
// these buttons (the toolkit's would offer maximise), or, where the
// compositor draws it, no bar of the program's and none of the toolkit's.
void CheckWindow(QWidget* window, const QString& title, const QStringList& buttons)
{
    Check(window->windowTitle() == title,
          QStringLiteral("the window \"%1\" should be titled \"%2\"").arg(window->windowTitle(), title));
    if (window != g_main)
        Check(window->windowHandle() && window->windowHandle()->transientParent() == g_main->windowHandle(),
              QStringLiteral("\"%1\" is not transient for the main window").arg(title));
    // A frame the toolkit draws shows as margins around the window.
    Check(window->windowHandle() && window->windowHandle()->frameMargins().isNull(),
          QStringLiteral("\"%1\" has a frame drawn by the toolkit").arg(title));
    if (g_ownCaption) {
        Check(window->windowFlags() & Qt::FramelessWindowHint,
              QStringLiteral("\"%1\" carries the toolkit's caption bar").arg(title));
        Check(platform::CaptionButtons(window) == buttons,
              QStringLiteral("\"%1\" has other caption buttons").arg(title));
    } else {
        Check(!(window->windowFlags() & Qt::FramelessWindowHint),
              QStringLiteral("\"%1\" is frameless: the compositor would draw no title bar").arg(title));
        Check(!window->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly),
              QStringLiteral("\"%1\" carries the program's caption bar").arg(title));
    }
    Check(window->minimumSize() == window->maximumSize(), QStringLiteral("\"%1\" may be resized").arg(title));
}

// --- the game, steered at set points of its path ---------------------------------

class DrivenGame : public CGameDlg {
public:
    void OnTimer(std::uintptr_t id) override
    {
        CGameDlg::OnTimer(id);
        if (m_nFieldReady != kMarker)
            return;
        m_bFieldDrawn = true;
        ++m_nTicks;
        // Down with the button, then left and up with the keys, into the top wall.
        if (m_nStep == 0 && m_nDir == DIR_RIGHT && m_nHeadX >= 160) {
            Click(GetDlgItem(IDC_DOWN));
            ++m_nStep;
        } else if (m_nStep == 1 && m_nDir == DIR_DOWN && m_nHeadY >= 200) {
            Key(m_playArea.Window(), Qt::Key_N, QStringLiteral("n"));
            ++m_nStep;
        } else if (m_nStep == 2 && m_nDir == DIR_LEFT && m_nHeadX <= 80) {
            Key(m_playArea.Window(), Qt::Key_Q, QStringLiteral("q"));
            ++m_nStep;
        }
    }

    void GameOver() override
    {
        Check(m_nStep == 3, QStringLiteral("the game ended before every turn was made"));
        CGameDlg::GameOver();
        ++m_nGamesOver;
    }

    int m_nStep = 0;
    int m_nGamesOver = 0;
    // The field stays on the screen after the game, until the next one.
    bool m_bFieldDrawn = false;
    int m_nTicks = 0;   // with the field drawn
};

// A step runs on each poll until it returns true; the deadline bounds a hang.
struct Step {
    QString what;
    std::function<bool()> run;
};

class Script : public QObject {
public:
    Script(DrivenGame& dlg) : m_dlg(dlg)
    {
        // The main window's steps run while it is the top window; the boxes
        // and dialogs it opens are answered by the other timer, which runs
        // inside their modal loops.
        QObject::connect(&m_mainTimer, &QTimer::timeout, this, [this] { Poll(m_mainSteps, m_mainIndex, true); });
        QObject::connect(&m_boxTimer, &QTimer::timeout, this, [this] { Poll(m_boxSteps, m_boxIndex, false); });
        m_mainTimer.start(20);
        m_boxTimer.start(20);
    }

    std::vector<Step> m_mainSteps, m_boxSteps;
    size_t m_mainIndex = 0, m_boxIndex = 0;
    int m_nFinalScore = -1;

    bool Done() const { return m_mainIndex == m_mainSteps.size() && m_boxIndex == m_boxSteps.size(); }

private:
    void Poll(std::vector<Step>& steps, size_t& index, bool mainSteps)
    {
        // A step that waits in an event loop of its own (for a picture)
        // lets this run again inside it: the deadline still holds there.
        if (m_busy) {
            if (!m_deadline.isForever() && m_deadline.hasExpired()) {
                Check(false, QStringLiteral("no progress: ") + m_running);
                std::exit(1);
            }
            return;
        }
        if (index >= steps.size())
            return;
        g_main = platform::MainWindow();
        QWidget* top = QApplication::activeModalWidget();
        if (!g_main || !top || mainSteps != (top == g_main))
            return;
        if (!m_deadline.isForever() && m_deadline.hasExpired()) {
            Check(false, QStringLiteral("no progress: ") + steps[index].what);
            std::exit(1);
        }
        m_busy = true;
        m_running = steps[index].what;
        const bool done = steps[index].run();
        m_busy = false;
        if (done) {
            Note(QStringLiteral("done: ") + steps[index].what);
            ++index;
            m_deadline = QDeadlineTimer(120000);
        }
    }

    DrivenGame& m_dlg;
    QTimer m_mainTimer, m_boxTimer;
    bool m_busy = false;
    QString m_running;
    QDeadlineTimer m_deadline{120000};
};

bool Exposed(QWidget* window) { return window && window->windowHandle() && window->windowHandle()->isExposed(); }

QAction* ActionOf(QMenu* menu, unsigned id)
{
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->data().toUInt() == id)
            return action;
    return nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (argc < 4 || (mode != "own" && mode != "compositor")) {
        std::fprintf(stderr, "usage: %s <own|compositor> <folder for pictures> <screenshot command> [arguments...]\n",
                     argv[0]);
        return 2;
    }
    g_ownCaption = mode == "own";
    g_shots = QDir(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i)
        g_screenshooter << QString::fromLocal8Bit(argv[i]);

    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        std::fprintf(stderr, "FAIL: running on \"%s\", not on Wayland\n", qPrintable(QGuiApplication::platformName()));
        return 1;
    }
    // The program's own finding, from the compositor's announcements.
    Check(platform::DrawsOwnCaption() == g_ownCaption,
          g_ownCaption ? QStringLiteral("the program leaves the title bars to a compositor that draws none")
                       : QStringLiteral("the program draws its own caption bars where the compositor draws them"));

    DrivenGame dlg;
    platform::SetMainDialog(&dlg);
    Script script(dlg);
    const QString appName = QStringLiteral("Quillware Coilrunner");
    QImage picture;
    QRect field;
    int shotAtTick = -1;
    bool aboutShown = false, messageShown = false;

    auto box = [] { return QApplication::activeModalWidget(); };

    script.m_mainSteps = {
        {"the main window shows", [&] {
             if (!Exposed(g_main))
                 return false;
             CheckWindow(g_main, appName, {QStringLiteral("minimise"), QStringLiteral("close")});
             // The client area lies below the menu bar, and that below the
             // program's caption bar where it has one.
             const int top = platform::CaptionHeight(g_main);
             Check(g_ownCaption == (top > 0), QStringLiteral("the main window's caption bar is %1 pixels high").arg(top));
             Check(dlg.MenuBar()->y() == top && dlg.Client()->y() == top + dlg.MenuBar()->height(),
                   QStringLiteral("the menu bar at %1 and the client area at %2, not below a bar of %3")
                       .arg(dlg.MenuBar()->y()).arg(dlg.Client()->y()).arg(top));
             Click(dlg.GetDlgItem(IDC_START));
             return true;
         }},
        {"the compositor shows the field with the snake", [&] {
             // One picture per tick at most, as the game waits while the
             // picture is taken: a game that ended meanwhile would open its
             // box inside the wait, where no step answers it.
             if (!dlg.m_bFieldDrawn || dlg.m_nTicks == shotAtTick)
                 return false;
             shotAtTick = dlg.m_nTicks;
             const int period = dlg.TimerPeriod(1);
             dlg.KillTimer(1);
             picture = Screenshot();
             if (period > 0)
                 dlg.SetTimer(1, static_cast<unsigned>(period));
             field = GreyField(picture);
             if (field.size() != QSize(234, 226))
                 return false;   // not yet drawn on the screen
             // At least the head's line of ten pixels, drawn with the field.
             const int snake = CountPixels(picture, field, [](QRgb p) { return qRed(p) == 250 && qBlue(p) == 10; });
             if (snake < 10)
                 return false;
             picture.save(g_shots.filePath(QStringLiteral("../field.png")));
             return true;
         }},
        {"the game ends", [&] { return dlg.m_nGamesOver == 1; }},
        {"File > Settings", [&] {
             QMenu* file = dlg.MenuBar()->actions().at(0)->menu();
             if (!file->isVisible()) {
                 file->popup(g_main->mapToGlobal(QPoint(0, 0)));
                 return false;
             }
             Key(file, Qt::Key_S, QStringLiteral("s"));
             return true;
         }},
        {"the settings end", [&] { return dlg.m_nColorB == 250; }},
        {"a right click opens the window menu with the About entry", [&] {
             QMenu* menu = dlg.GetSystemMenu();
             if (!menu->isVisible()) {
                 QWidget* target = dlg.Client()->childAt(QPoint(128, 300));
                 if (!target)
                     target = dlg.Client();
                 const QPoint local = target->mapFrom(dlg.Client(), QPoint(128, 300));
                 QCoreApplication::postEvent(target, new QContextMenuEvent(QContextMenuEvent::Mouse, local,
                                                                           target->mapToGlobal(local)));
                 return false;
             }
             Check(ActionOf(menu, IDM_ABOUTBOX) != nullptr, QStringLiteral("no About entry in the window menu"));
             Key(menu, Qt::Key_O, QStringLiteral("o"));
             return true;
         }},
        {"x and Return in the score box", [&] {
             if (!aboutShown)
                 return false;
             // Into the box first, as a click would: where the compositor
             // activates the window (sway does), the focus is still on
             // Start!, and Return would press it.
             QWidget* score = dlg.GetDlgItem(IDC_SCORE);
             score->setFocus(Qt::MouseFocusReason);
             qobject_cast<QLineEdit*>(score)->selectAll();
             Type(score, QStringLiteral("x"));
             Key(score, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
        {"5 and Return in the score box", [&] {
             if (!messageShown)
                 return false;
             // The box's text is selected again after the message: 5 replaces it.
             QWidget* score = dlg.GetDlgItem(IDC_SCORE);
             Type(score, QStringLiteral("5"));
             Key(score, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
    };

    script.m_boxSteps = {
        {"the game-over box", [&] {
             QWidget* b = box();
             if (!Exposed(b))
                 return false;
             auto* message = qobject_cast<QMessageBox*>(b);
             Check(message != nullptr, QStringLiteral("the game-over box is no message box"));
             if (!message)
                 return true;
             CheckWindow(b, appName, {QStringLiteral("close")});
             const QRegularExpressionMatch m =
                 QRegularExpression(QStringLiteral("^Game over!   Score: (\\d+)$")).match(message->text());
             Check(m.hasMatch(), QStringLiteral("game-over text: ") + message->text());
             script.m_nFinalScore = m.captured(1).toInt();
             Key(b, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
        {"the name entry", [&] {
             QWidget* b = box();
             if (!Exposed(b) || b->windowTitle() == appName)
                 return false;
             CheckWindow(b, QStringLiteral("New High Score!"), {});
             QWidget* name = b->findChild<QLineEdit*>();
             Type(name, QStringLiteral("Tessa"));
             Key(name, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
        {"the list", [&] {
             QWidget* b = box();
             if (!Exposed(b) || b->windowTitle() == QStringLiteral("New High Score!"))
                 return false;
             CheckWindow(b, QStringLiteral("All times greatest"), {QStringLiteral("close")});
             Key(b, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
        {"the settings: Blue", [&] {
             QWidget* b = box();
             if (!Exposed(b) || b->windowTitle() != QStringLiteral("Settings"))
                 return false;
             CheckWindow(b, QStringLiteral("Settings"), {QStringLiteral("close")});
             for (QRadioButton* radio : b->findChildren<QRadioButton*>())
                 if (radio->text() == QStringLiteral("&Blue"))
                     Click(radio, QPointF(6, radio->height() / 2.0));   // on the round knob
             return true;
         }},
        {"the compositor shows the blue preview strip", [&] {
             QWidget* b = box();
             picture = Screenshot();
             // 90 x 10 pixels: red 10, blue 250, green 155 to 244 from left to right.
             const int strip = CountPixels(picture, picture.rect(), [](QRgb p) {
                 return qRed(p) == 10 && qBlue(p) == 250 && qGreen(p) >= 155 && qGreen(p) <= 244;
             });
             if (strip != 900)
                 return false;
             picture.save(g_shots.filePath(QStringLiteral("../settings.png")));
             Key(b, Qt::Key_Return, QStringLiteral("\r"));
             return true;
         }},
        {"the About box", [&] {
             QWidget* b = box();
             if (!Exposed(b) || b->windowTitle() == QStringLiteral("Settings"))
                 return false;
             CheckWindow(b, QStringLiteral("Info about Quillware Coilrunner"), {QStringLiteral("close")});
             Key(b, Qt::Key_Return, QStringLiteral("\r"));
             aboutShown = true;
             return true;
         }},
        {"the message for x in the score box", [&] {
             QWidget* b = box();
             auto* message = qobject_cast<QMessageBox*>(b);
             if (!Exposed(b) || !message)
                 return false;
             CheckWindow(b, appName, {QStringLiteral("close")});
             Check(message->text() == QStringLiteral("Please enter an integer."),
                   QStringLiteral("score box message: ") + message->text());
             Key(b, Qt::Key_Return, QStringLiteral("\r"));
             messageShown = true;
             return true;
         }},
    };

    const int result = dlg.DoModal();
    platform::SetMainDialog(nullptr);
    Check(script.Done(), QStringLiteral("the program ended before the script did"));
    Check(result == platform::IDOK, QStringLiteral("the main window ended with %1, not OK").arg(result));
    Check(dlg.m_nScore == 5, QStringLiteral("the score box read back %1, not 5").arg(dlg.m_nScore));
    std::printf("final score: %d\n", script.m_nFinalScore);
    return driver::g_failures == 0 ? 0 : 1;
}
