// Runs the real main window on a Wayland compositor that leaves the title
// bars to the program (GNOME's mutter) and answers, one line each, what the
// test asks on standard input: whether the window shows the caption bar the
// desktop's settings call for, found in the compositor's own picture of the
// screen; where a part of the bar is on the screen, for a click from
// outside; whether the window menu opened, and which keys reached the
// program before it did. The input comes from outside, through the
// compositor's seat (tests/e2e/gnome_titlebar_test.sh).
//
// Usage: coilrunner_titlebar_driver <folder for pictures> <screenshot command> [its arguments...]
//        The screenshot command runs in the folder and leaves shot.png there.
// Requests (standard input):
//   bar <light|dark> <button layout> <active|inactive>
//        waits until the desktop's settings say so and the bar follows
//        them, then until the compositor shows the window as the program
//        drew it; checks the bar's colours and buttons; "ok <x> <y>" (the
//        window's place on the screen) or "FAIL: ..."
//   where <title|close|minimise>     "at <x> <y>": the middle of that part
//   menu                             waits for the window menu; "ok" when
//                                    it shows with "Inf&o about Coilrunner..."
//   menu-closed                      waits until it is closed again
//   keys                             the keys that reached the program since
//                                    the last request for them
//   about                            opens the About box (modal)
//   about-closed                     waits until it is closed again
//   quit                             ends the program (exit 0)
// Every wait is bounded (60 s), for a hang: the answer is then "FAIL: ...".

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Dialog.h"
#include "platform/internal/CaptionBar.h"
#include "platform/internal/TitleBarSettings.h"
#include "res/Icon.h"
#include "res/resource.h"
#include "tests/support/GnomeBarColours.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {

constexpr int kPatienceMs = 60000;

QStringList g_screenshooter;
QDir g_shots;

void Answer(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Runs the event loop until `done` holds or the bound runs out.
bool WaitFor(const std::function<bool()>& done, int ms = kPatienceMs)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// What the compositor shows now, or a null image.
QImage Screenshot()
{
    g_shots.remove(QStringLiteral("shot.png"));
    QProcess shooter;
    shooter.setWorkingDirectory(g_shots.path());
    shooter.start(g_screenshooter.constFirst(), g_screenshooter.mid(1));
    bool finished = false;
    QObject::connect(&shooter, &QProcess::finished, [&] { finished = true; });
    QObject::connect(&shooter, &QProcess::errorOccurred, [&] { finished = true; });
    if (!WaitFor([&] { return finished; })) {
        shooter.kill();
        shooter.waitForFinished();
        return {};
    }
    return QImage(g_shots.filePath(QStringLiteral("shot.png"))).convertToFormat(QImage::Format_RGB32);
}

// Where `picture` stands in `screen`, pixel for pixel; nullopt where it does
// not. The corners narrow the search down, the whole picture decides.
std::optional<QPoint> Find(const QImage& screen, const QImage& picture)
{
    const int w = picture.width(), h = picture.height();
    for (int y = 0; y + h <= screen.height(); ++y)
        for (int x = 0; x + w <= screen.width(); ++x) {
            if (screen.pixel(x, y) != picture.pixel(0, 0) || screen.pixel(x + w - 1, y) != picture.pixel(w - 1, 0)
                || screen.pixel(x, y + h - 1) != picture.pixel(0, h - 1)
                || screen.pixel(x + w - 1, y + h - 1) != picture.pixel(w - 1, h - 1))
                continue;
            if (screen.copy(x, y, w, h) == picture)
                return QPoint(x, y);
        }
    return std::nullopt;
}

// Records the keys that reach the program's windows: each comes to its
// window first, and from there to the widget with the focus.
class KeyLog : public QObject {
public:
    QStringList keys;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                keys << QKeySequence(key->keyCombination()).toString();
        }
        return QObject::eventFilter(watched, event);
    }
};

class Driver : public QObject {
public:
    Driver(CGameDlg& dlg, KeyLog& log) : m_dlg(dlg), m_log(log)
    {
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input, &QSocketNotifier::activated, this, [this, input] {
            char buffer[1024];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                input->setEnabled(false);
                m_requests.push_back(QStringLiteral("quit"));
                return;
            }
            m_pending += QByteArray(buffer, static_cast<int>(got));
            while (m_pending.contains('\n')) {
                const qsizetype end = m_pending.indexOf('\n');
                m_requests.push_back(QString::fromUtf8(m_pending.left(end)).trimmed());
                m_pending.remove(0, end + 1);
            }
        });
        // Requests are taken one at a time, also inside the modal loops the
        // program runs (the About box).
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (m_busy || m_requests.empty())
                return;
            m_busy = true;
            const QString request = m_requests.front();
            m_requests.pop_front();
            Handle(request.split(QLatin1Char(' '), Qt::SkipEmptyParts));
            m_busy = false;
        });
        m_poll.start(20);
    }

private:
    QWidget* Main() const { return m_dlg.Window(); }

    void Handle(const QStringList& words)
    {
        const QString verb = words.value(0);
        if (verb == QLatin1String("bar") && words.size() == 4)
            CheckBar(words[1] == QLatin1String("dark"), words[2], words[3] == QLatin1String("active"));
        else if (verb == QLatin1String("where") && words.size() == 2)
            Where(words[1]);
        else if (verb == QLatin1String("menu"))
            Answer(WaitFor([this] { return m_dlg.GetSystemMenu() && m_dlg.GetSystemMenu()->isVisible(); })
                       ? (HasAbout() ? QStringLiteral("ok") : QStringLiteral("FAIL: no Info about Coilrunner... in the window menu"))
                       : QStringLiteral("FAIL: the window menu did not open"));
        else if (verb == QLatin1String("menu-closed"))
            Answer(WaitFor([this] { return !m_dlg.GetSystemMenu()->isVisible(); }) ? QStringLiteral("ok")
                                                                                   : QStringLiteral("FAIL: the window menu stayed open"));
        else if (verb == QLatin1String("keys")) {
            Answer(QStringLiteral("keys ") + m_log.keys.join(QLatin1Char(' ')));
            m_log.keys.clear();
        } else if (verb == QLatin1String("about")) {
            // The box runs its modal loop from the program's own loop, not
            // from a wait here; it is looked for on the next polls.
            QTimer::singleShot(0, this, [this] { m_dlg.SendCommand(ID_HELP_ABOUT); });
            m_aboutDeadline = QDeadlineTimer(kPatienceMs);
            m_requests.push_front(QStringLiteral("about-open"));
        } else if (verb == QLatin1String("about-open")) {
            if (About())
                Answer(QStringLiteral("ok"));
            else if (m_aboutDeadline.hasExpired())
                Answer(QStringLiteral("FAIL: no About box"));
            else
                m_requests.push_front(QStringLiteral("about-open"));
        } else if (verb == QLatin1String("about-closed")) {
            Answer(WaitFor([this] { return About() == nullptr; }) ? QStringLiteral("ok") : QStringLiteral("FAIL: the About box stayed open"));
        } else if (verb == QLatin1String("quit")) {
            Answer(QStringLiteral("ok"));
            QTimer::singleShot(0, this, [this] { m_dlg.SendCommand(platform::IDCANCEL); });
        } else {
            Answer(QStringLiteral("FAIL: unknown request: ") + words.join(QLatin1Char(' ')));
        }
    }

    QWidget* About() const
    {
        QWidget* top = QApplication::activeModalWidget();
        return top && top != Main() && top->windowTitle() == QLatin1String("Info about Quillware Coilrunner") ? top : nullptr;
    }

    bool HasAbout() const
    {
        for (QAction* action : m_dlg.GetSystemMenu()->actions())
            if (action->data().toUInt() == IDM_ABOUTBOX && action->text() == QLatin1String("Inf&o about Coilrunner..."))
                return true;
        return false;
    }

    // The buttons the layout names that the main window offers: minimise
    // and close, in the layout's order, left corner first.
    static QStringList ButtonsOf(const QString& layout)
    {
        const platform::ButtonLayout parsed = platform::ParseButtonLayout(layout);
        QStringList names;
        for (const auto* corner : {&parsed.left, &parsed.right})
            for (const platform::PlacedItem& item : *corner)
                if (item.place == platform::TitleBarPlace::Minimise)
                    names << QStringLiteral("minimise");
                else if (item.place == platform::TitleBarPlace::Close)
                    names << QStringLiteral("close");
        return names;
    }

    void CheckBar(bool dark, const QString& layout, bool active)
    {
        QWidget* main = Main();
        const platform::TitleBarSettings& settings = platform::DesktopTitleBarSettings();
        if (!WaitFor([&] {
                return settings.dark == dark && settings.buttonLayout == layout && main->isActiveWindow() == active
                    && platform::CaptionButtons(main) == ButtonsOf(layout);
            })) {
            Answer(QStringLiteral("FAIL: the program has gnome=%1 dark=%2 layout \"%3\" %4, buttons %5")
                       .arg(settings.gnome).arg(settings.dark).arg(settings.buttonLayout)
                       .arg(main->isActiveWindow() ? QStringLiteral("active") : QStringLiteral("inactive"),
                            platform::CaptionButtons(main).join(QLatin1Char(','))));
            return;
        }
        if (!settings.gnome || platform::CaptionHeight(main) != platform::kGnomeCaptionHeight) {
            Answer(QStringLiteral("FAIL: no GNOME bar: the caption bar is %1 pixels high").arg(platform::CaptionHeight(main)));
            return;
        }
        // The compositor shows the bar as the program drew it, once it has
        // the frame.
        QWidget* caption = main->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
        QImage own, screen;
        std::optional<QPoint> at;
        WaitFor([&] {
            own = caption->grab().toImage().convertToFormat(QImage::Format_RGB32);
            screen = Screenshot();
            at = Find(screen, own);
            return at.has_value();
        });
        if (!at) {
            screen.save(g_shots.filePath(QStringLiteral("unmatched.png")));
            own.save(g_shots.filePath(QStringLiteral("own.png")));
            Answer(QStringLiteral("FAIL: the screen does not show the bar as the program drew it (unmatched.png, own.png)"));
            return;
        }
        m_at = *at;
        screen.save(g_shots.filePath(QStringLiteral("bar-%1-%2-%3.png")
                                         .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"), QString(layout).replace(QLatin1Char(':'), QLatin1Char('_')),
                                              active ? QStringLiteral("active") : QStringLiteral("inactive"))));
        // The bar as the screen shows it: GNOME's colours for the style.
        const testing_support::GnomeBarColours expected = testing_support::ExpectedGnomeBar(dark, active);
        const int w = main->width();
        QStringList wrong;
        auto expect = [&](int x, int y, QRgb colour, const char* what) {
            const QRgb seen = screen.pixel(m_at.x() + x, m_at.y() + y) & 0xffffff;
            if (seen != colour)
                wrong << QStringLiteral("%1 is #%2, not #%3").arg(QLatin1String(what)).arg(seen, 6, 16, QLatin1Char('0')).arg(colour, 6, 16, QLatin1Char('0'));
        };
        expect(0, 0, expected.bar, "the bar's corner");
        expect(w - 1, 35, expected.bar, "the bar's other corner");
        expect(w / 2, 36, expected.shade, "the shade below the bar");
        for (QToolButton* button : caption->findChildren<QToolButton*>()) {
            const QPoint middle = button->geometry().topLeft() + QPoint(7, 15);
            expect(middle.x(), middle.y(), expected.backing, "a button's backing");
        }
        Answer(wrong.isEmpty() ? QStringLiteral("ok %1 %2").arg(m_at.x()).arg(m_at.y()) : QStringLiteral("FAIL: ") + wrong.join(QStringLiteral("; ")));
    }

    void Where(const QString& part)
    {
        QWidget* caption = Main()->findChild<QWidget*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
        QRect area;
        if (part == QLatin1String("title"))
            area = QRect(0, 0, caption->width(), 36);
        else if (auto* button = caption->findChild<QToolButton*>(part))
            area = button->geometry();
        if (area.isNull())
            Answer(QStringLiteral("FAIL: no ") + part);
        else
            Answer(QStringLiteral("at %1 %2").arg(m_at.x() + area.center().x()).arg(m_at.y() + area.center().y()));
    }

    CGameDlg& m_dlg;
    KeyLog& m_log;
    QTimer m_poll;
    QByteArray m_pending;
    std::deque<QString> m_requests;
    bool m_busy = false;
    QPoint m_at;
    QDeadlineTimer m_aboutDeadline;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder for pictures> <screenshot command> [arguments...]\n", argv[0]);
        return 2;
    }
    g_shots = QDir(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i)
        g_screenshooter << QString::fromLocal8Bit(argv[i]);

    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    KeyLog log;
    app.installEventFilter(&log);

    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    Driver driver(dlg, log);
    QTimer::singleShot(0, [&] {
        WaitFor([&] { return dlg.Window() && dlg.Window()->windowHandle() && dlg.Window()->windowHandle()->isExposed(); });
        Answer(QStringLiteral("ready"));
    });
    dlg.DoModal();
    platform::SetMainDialog(nullptr);
    return 0;
}
