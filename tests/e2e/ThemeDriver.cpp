// Opens every window of the game on a real X server, as the desktop's
// platform theme, widget style and scale factor have it, and records what
// each one looks like: its picture as the X server holds it, and a report of
// its size and of every control in it (class, geometry, text), with each
// text checked to be whole and each font checked to be the dialog font.
// tests/e2e/theme_test.sh and scale_test.sh compare what two runs recorded.
//
// The windows, in this order: the "Manipulation recognized!" box (the
// folder's HiScores.ini has a wrong checksum), the main window, the File
// and Help menus, the window menu, the About box, the settings, the list
// "All times greatest", the "Tach!" box and the help box behind it (F1),
// "Please enter an integer." (Exit with x in the score box), "New High
// Score!", the main window during a game, and the game-over box. The game
// is ticked by hand, so every run shows the snake at the same place.
//
// Usage: coilrunner_theme_driver <folder for the pictures and report.txt>
// Prints what the desktop set (the application's font before the game set
// its own, the widget style, the device pixel ratio) and exits with 0 when
// every window came up with its texts whole in the dialog font, 1 when a
// check failed, 2 when a window could not be pictured.
// coilrunner_theme_driver --plugins prints where Qt looks for its plugins.

#include "app/GameApp.h"
#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Modal.h"
#include "res/Icon.h"
#include "res/resource.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLibraryInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTextStream>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

QDir g_out;
QString g_report;
int g_failures = 0;
int g_unpictured = 0;
int g_serial = 0;

void Fail(const QString& what)
{
    ++g_failures;
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(what));
}

// A file name from a window's title or text: "03-all-times-greatest".
QString NameFor(const QString& title)
{
    QString slug = title.toLower();
    slug.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    slug = slug.left(28);
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    while (slug.startsWith(QLatin1Char('-')))
        slug.remove(0, 1);
    return QStringLiteral("%1-%2").arg(++g_serial, 2, 10, QLatin1Char('0')).arg(slug);
}

// Waits until the X server shows the window and it has the keyboard focus
// (a window manager would give it; here it is asked for, so that every run
// pictures the window in the same state), then has it painted. The bound
// is for a hang only.
bool Exposed(QWidget* window)
{
    const QDeadlineTimer deadline(60000);
    const auto waitFor = [&](const std::function<bool()>& done) {
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    };
    if (!waitFor([window] { return window->windowHandle() && window->windowHandle()->isExposed(); }))
        return false;
    window->activateWindow();
    if (!waitFor([window] { return window->isActiveWindow(); }))
        return false;
    QCoreApplication::processEvents();
    window->repaint();
    return true;
}

QString StripMnemonic(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
}

QString Rect(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Whether `text` fits `room` in the widget's font: wider or taller, the
// control clips it.
bool Fits(const QWidget* widget, const QRect& room, const QString& text, int flags = Qt::AlignLeft)
{
    const QRect needed = widget->fontMetrics().boundingRect(room, flags, text);
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// One line per control: class, geometry in its parent, text; "CUT" when
// the text does not fit, "FONT" when the control is not in the dialog font.
void ReportControl(QWidget* widget, int depth)
{
    QString text;
    bool whole = true;
    QStyle* style = widget->style();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
        // A left-aligned static does not show trailing blanks.
        QString shown = text;
        while (shown.endsWith(QLatin1Char(' ')))
            shown.chop(1);
        if (!shown.isEmpty() && label->textFormat() != Qt::RichText)
            whole = Fits(label, label->contentsRect(),
                         shown, int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0));
    } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        text = radio->text();
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = text;
        whole = Fits(radio, style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio),
                     StripMnemonic(text), Qt::TextSingleLine);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        text = button->text();
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        if (button->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        whole = Fits(button, style->subElementRect(QStyle::SE_PushButtonContents, &option, button),
                     StripMnemonic(text), Qt::TextSingleLine);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        text = group->title();
        if (!text.isEmpty()) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = text;
            option.lineWidth = 1;
            option.textAlignment = group->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
            whole = group->rect().contains(title) && Fits(group, title, StripMnemonic(text), Qt::TextSingleLine);
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        text = edit->text();
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        const QRect room = style->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        whole = edit->fontMetrics().height() <= room.height()
            && edit->fontMetrics().horizontalAdvance(text) <= room.width();
    }
    QString line = QStringLiteral("%1%2 %3").arg(QString(depth * 2, QLatin1Char(' ')),
                                                  QString::fromLatin1(widget->metaObject()->className()),
                                                  // a window: its size (where it
                                                  // lies is the desktop's)
                                                  widget->isWindow() ? Rect(QRect(QPoint(), widget->size()))
                                                                     : Rect(widget->geometry()));
    if (!text.isEmpty())
        line += QStringLiteral(" \"%1\"").arg(text);
    if (!whole) {
        line += QStringLiteral(" CUT");
        Fail(QStringLiteral("the text \"%1\" does not fit its %2 in %3").arg(text, widget->metaObject()->className(),
                                                                             widget->window()->windowTitle()));
    }
    if (widget->font() != platform::DialogFont()) {
        line += QStringLiteral(" FONT %1").arg(widget->font().toString());
        Fail(QStringLiteral("a %1 in \"%2\" is in %3").arg(widget->metaObject()->className(),
                                                           widget->window()->windowTitle(), widget->font().toString()));
    }
    g_report += line + QLatin1Char('\n');

    if (auto* bar = qobject_cast<QMenuBar*>(widget)) {
        // Every title in the bar, none behind the "»" button of a bar too
        // narrow for them.
        for (QAction* action : bar->actions()) {
            const QRect at = bar->actionGeometry(action);
            const bool shown = !at.isEmpty() && bar->rect().contains(at)
                && Fits(bar, at, StripMnemonic(action->text()), Qt::AlignCenter | Qt::TextSingleLine);
            g_report += QStringLiteral("%1  menu \"%2\" %3%4\n").arg(QString(depth * 2, QLatin1Char(' ')), action->text(),
                                                                    Rect(at), shown ? QString() : QStringLiteral(" CUT"));
            if (!shown)
                Fail(QStringLiteral("the menu bar does not show \"%1\" whole").arg(action->text()));
        }
        if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button")); more && more->isVisible())
            Fail(QStringLiteral("the menu bar folds its menus into a button"));
    }
    if (auto* menu = qobject_cast<QMenu*>(widget)) {
        for (QAction* action : menu->actions())
            g_report += QStringLiteral("%1  item \"%2\" %3%4\n").arg(QString(depth * 2, QLatin1Char(' ')),
                                                                     action->isSeparator() ? QStringLiteral("-") : action->text(),
                                                                     Rect(menu->actionGeometry(action)),
                                                                     action->isChecked() ? QStringLiteral(" checked") : QString());
    }
    for (QObject* child : widget->children())
        if (auto* control = qobject_cast<QWidget*>(child); control && !control->isWindow() && control->isVisibleTo(widget))
            ReportControl(control, depth + 1);
}

// Pictures a shown window as the X server holds it and reports it.
void Record(QWidget* window, const QString& title)
{
    const QString name = NameFor(title);
    g_report += QStringLiteral("== %1 \"%2\" %3x%4\n").arg(name, window->windowTitle())
                    .arg(window->width()).arg(window->height());
    if (!Exposed(window)) {
        ++g_unpictured;
        std::fprintf(stderr, "the window \"%s\" did not come up\n", qPrintable(title));
        return;
    }
    ReportControl(window, 0);
    const QPixmap picture = window->screen()->grabWindow(window->winId());
    if (picture.isNull() || !picture.save(g_out.filePath(name + QStringLiteral(".png")))) {
        ++g_unpictured;
        std::fprintf(stderr, "no picture of \"%s\"\n", qPrintable(title));
    }
}

// Every dialog and message box is shown, recorded and closed at once.
class RecordingModal : public platform::ModalHook {
public:
    int RunDialog(platform::Dialog& dialog) override
    {
        dialog.Window()->show();
        Record(dialog.Window(), dialog.Window()->windowTitle());
        dialog.SendCommand(platform::IDCANCEL);
        return dialog.Result();
    }

    int MessageBox(QWidget* owner, const QString& text, unsigned type) override
    {
        const std::unique_ptr<QMessageBox> box = platform::MakeMessageBox(owner, text, type);
        box->show();
        Record(box.get(), QStringLiteral("box ") + text.section(QLatin1Char('\n'), 0, 0).left(24));
        box->hide();
        return platform::IDOK;
    }
};

void RecordPopup(QMenu* menu, const QString& title)
{
    Record(menu, title);
    menu->hide();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && QByteArray(argv[1]) == "--plugins") {
        std::printf("%s\n", qPrintable(QLibraryInfo::path(QLibraryInfo::PluginsPath)));
        return 0;
    }
    if (argc != 2) {
        std::fputs("usage: coilrunner_theme_driver <folder for the pictures>\n", stderr);
        return 2;
    }
    g_out = QDir(QString::fromLocal8Bit(argv[1]));

    platform::UseWholeScaleFactors();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    const QFont desktopFont = QApplication::font();
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    platform::SetAppHelp(&CGameApp::OnHelp);
    // What a theme does a moment after the start happens now.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    // The same pictures in every run: the pointer over no window (on a
    // server without a window manager the window under it takes the focus,
    // and a button under it is drawn hovered), and a caret that does not blink.
    QScreen* screen = QGuiApplication::primaryScreen();
    QCursor::setPos(screen, screen->geometry().bottomRight());
    QApplication::setCursorFlashTime(0);
    QStyle* style = QApplication::style();
    if (auto* proxy = qobject_cast<QProxyStyle*>(style))   // qt6ct wraps the style it was told
        style = proxy->baseStyle();
    std::printf("desktop font: %s %g\n", qPrintable(desktopFont.family()), desktopFont.pointSizeF());
    std::printf("style: %s\n", qPrintable(style->name()));
    std::printf("device pixel ratio: %g\n", QGuiApplication::primaryScreen()->devicePixelRatio());

    // A table whose checksum does not match: the first box.
    QFile table(QStringLiteral("HiScores.ini"));
    if (!table.open(QIODevice::WriteOnly)
        || table.write("Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~"
                       "Ines~00100~Nobody~00000~04440") < 0)
        return 2;
    table.close();

    RecordingModal modal;
    platform::SetModalHook(&modal);
    {
        CGameDlg dlg;
        platform::SetMainDialog(&dlg);
        if (!dlg.Create())
            return 2;
        QWidget* main = dlg.Window();
        main->show();
        Record(main, main->windowTitle());

        for (QAction* popup : dlg.MenuBar()->actions()) {
            dlg.MenuBar()->setActiveAction(popup);
            RecordPopup(popup->menu(), QStringLiteral("menu ") + StripMnemonic(popup->text()));
        }
        dlg.ShowSystemMenu(main->mapToGlobal(QPoint(128, 200)));
        RecordPopup(dlg.GetSystemMenu(), QStringLiteral("window menu"));

        dlg.SendCommand(ID_HELP_ABOUT);
        dlg.SendCommand(ID_FILE_SETTINGS);
        dlg.SendCommand(ID_FILE_HIGHSCORES);
        dlg.OnHelpInfo();

        // Exit with a score box that holds no number.
        auto* score = qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_SCORE));
        score->setText(QStringLiteral("x"));
        dlg.SendCommand(ID_FILE_EXIT);
        dlg.UpdateData(false);

        dlg.m_highScores.InsertScore(1000);

        // A game, ticked here rather than by the clock: the snake is at the
        // same place in every run when the picture is taken.
        dlg.OnStart();
        for (int tick = 0; tick < 2000; ++tick) {
            dlg.KillTimer(1);
            dlg.OnTimer(1);
            dlg.KillTimer(1);
            if (dlg.m_nFieldReady == 0)
                break;   // the game is over, the main window reset
            if (tick == 40)
                Record(main, QStringLiteral("game"));
        }
        dlg.KillTimer(1);
        dlg.DestroyWindow();
        platform::SetMainDialog(nullptr);
    }
    platform::SetModalHook(nullptr);

    QFile report(g_out.filePath(QStringLiteral("report.txt")));
    if (!report.open(QIODevice::WriteOnly | QIODevice::Text) || report.write(g_report.toUtf8()) < 0)
        return 2;
    report.close();
    std::printf("%d windows recorded, %d checks failed\n", g_serial, g_failures);
    if (g_unpictured)
        return 2;
    return g_failures ? 1 : 0;
}
