// What every window of the application shares, set up at the start: whole
// scale factors (before Qt starts) and their fit to the screens (before the
// main window shows), the dialog font, which a theme's font does not
// replace, and the application's name and icon; and the check that a
// display answers, which tells Qt the window system to use. It knows
// nothing of dialogs or of the game.

#include "platform/Application.h"
#include "platform/internal/DisplayCheck.h"

#include <QApplication>
#include <QByteArrayList>
#include <QFont>
#include <QFontDatabase>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <qpa/qplatformscreen.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

QString g_displayName;

// --- whole scale factors ------------------------------------------------

// No screen is wider than X11's coordinates reach (32767 pixels), so no
// larger factor could show a window on one. The limit keeps numbers such as
// 1e308 out of Qt's arithmetic; FitScaleFactors brings a factor down to
// what the screens hold once Qt knows them.
constexpr double kMostScaleFactor = 32767;

// The variables changed for Qt's start (the scale factors and the platform
// to use), with the values they had before.
struct SavedVariable {
    const char* name;
    bool wasSet;
    QByteArray value;
};
std::vector<SavedVariable> g_savedForStart;

// Sets the variable `name` for Qt's start to `value`, or takes it out of
// the environment where `value` is empty.
void SetForStart(const char* name, const QByteArray& value)
{
    g_savedForStart.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

void RestoreStartEnvironment()
{
    for (const SavedVariable& saved : g_savedForStart) {
        if (saved.wasSet)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
    g_savedForStart.clear();
}

// A theme sets a font of its own for the application, a moment after the
// start (qt6ct) and again whenever the desktop's settings change. The
// program's windows keep the dialog font regardless; what Qt makes by itself
// (tooltips, an edit box's context menu) takes the application's, which is
// put back here, once the theme's change is through.
class ApplicationFontKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ApplicationFontChange && watched == QCoreApplication::instance())
            QMetaObject::invokeMethod(this, [] {
                if (QGuiApplication::font() != DialogFont())
                    QApplication::setFont(DialogFont());
            }, Qt::QueuedConnection);
        return false;
    }
};

QFont MakeDialogFont()
{
    // The condensed face keeps the dialog texts inside their controls at the
    // 6 x 13 pixel cell the layout is measured in.
    const QString family = QFontDatabase::families().contains(QStringLiteral("DejaVu Sans Condensed"))
        ? QStringLiteral("DejaVu Sans Condensed")
        : QStringLiteral("DejaVu Sans");
    // Every attribute is given, and marked as set: a window's font that
    // leaves one open takes it from the application's font, which is the
    // theme's (a theme's style name "Bold" would make every text bold).
    QFont font(family);
    font.setFamilies({family});
    font.setStyleName(QString());
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    font.setStretch(QFont::AnyStretch);
    font.setUnderline(false);
    font.setOverline(false);
    font.setStrikeOut(false);
    font.setFixedPitch(false);
    font.setKerning(true);
    font.setCapitalization(QFont::MixedCase);
    font.setLetterSpacing(QFont::PercentageSpacing, 100);
    font.setWordSpacing(0);
    font.setStyleHint(QFont::AnyStyle, QFont::PreferDefault);
    font.setHintingPreference(QFont::PreferDefaultHinting);
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

// --- the display check --------------------------------------------------

// The window systems Qt tries, in its order: QT_QPA_PLATFORM, else the X
// server alone in an X11 session, else Wayland and then X.
QByteArrayList PlatformsToTry()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = qgetenv("XDG_SESSION_TYPE") == "x11" ? "xcb" : "wayland;xcb";
    return platforms.split(';');
}

// How the player is told of a window system that did not answer.
QByteArray Unanswered(const QByteArray& platform)
{
    QByteArray display = qgetenv(platform == "xcb" ? "DISPLAY" : "WAYLAND_DISPLAY");
    if (display.isEmpty() && platform != "xcb")
        display = "wayland-0";
    const double seconds = static_cast<double>(DisplayPatience().count()) / 1000.0;
    return (platform == "xcb" ? "the X server \"" : "the Wayland compositor \"") + display
        + "\" did not answer within " + QByteArray::number(seconds) + " seconds";
}

} // namespace

QByteArray WholeScaleFactor(const QByteArray& factor)
{
    bool ok = false;
    const double value = factor.toDouble(&ok);
    // Qt would take 0, infinity or a negative number as it stands: no
    // window, or one of 65376 pixels a side.
    if (!ok || !std::isfinite(value) || value <= 0)
        return {};
    return QByteArray::number(std::clamp(std::floor(value + 0.5), 1.0, kMostScaleFactor), 'f', 0);
}

QByteArray WholeScreenScaleFactors(const QByteArray& factors)
{
    // Factors in screen order ("1.5;2") or by screen name ("HDMI-1=1.5").
    QByteArrayList kept;
    for (const QByteArray& entry : factors.split(';')) {
        const qsizetype equals = entry.lastIndexOf('=');
        const QByteArray whole = WholeScaleFactor(equals < 0 ? entry : entry.mid(equals + 1));
        if (!whole.isEmpty())
            kept << (equals < 0 ? whole : entry.left(equals + 1) + whole);
    }
    return kept.join(';');
}

void UseWholeScaleFactors()
{
    static bool done = false;
    if (std::exchange(done, true))
        return;
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // A policy in the environment would win over the program's.
    SetForStart("QT_SCALE_FACTOR_ROUNDING_POLICY", "Round");
    // Qt takes these two as they stand; what is no factor goes.
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        SetForStart("QT_SCALE_FACTOR", WholeScaleFactor(qgetenv("QT_SCALE_FACTOR")));
    if (qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS"))
        SetForStart("QT_SCREEN_SCALE_FACTORS", WholeScreenScaleFactors(qgetenv("QT_SCREEN_SCALE_FACTORS")));
    // Rounded, a screen of 120 DPI gets the factor 1, and Qt would make up
    // for the rest by measuring fonts and styles at 120 DPI.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
}

void FitScaleFactors(QSize window)
{
    if (window.isEmpty())
        return;
    struct Fit {
        QScreen* screen;
        qreal factor;   // the factor it has now
        qreal fits;     // the largest whole factor at which the window fits it
    };
    std::vector<Fit> fits;
    const Fit* tooLarge = nullptr;
    for (QScreen* screen : QGuiApplication::screens()) {
        // The platform's own pixels, which Qt's factor enlarges into.
        const QSize pixels = screen->handle() ? screen->handle()->geometry().size() : QSize();
        const double across = static_cast<double>(pixels.width()) / window.width();
        const double down = static_cast<double>(pixels.height()) / window.height();
        fits.push_back({screen, QHighDpiScaling::factor(screen), std::max(1.0, std::floor(std::min(across, down)))});
    }
    for (const Fit& fit : fits)
        if (fit.factor > fit.fits) {
            tooLarge = &fit;
            break;
        }
    if (!tooLarge)
        return;
    // Qt multiplies a factor for all screens with one for each; the screens'
    // own factors, set now, take the place of both.
    QHighDpiScaling::setGlobalFactor(1);
    for (const Fit& fit : fits)
        QHighDpiScaling::setScreenFactor(fit.screen, std::min(fit.factor, fit.fits));
    // The application's ratio, the largest of the screens', which pictures
    // made for no window in particular (icons) are made at, is kept from
    // the start.
    QGuiApplicationPrivate::resetCachedDevicePixelRatio();
    std::fprintf(stderr, "%s: at the scale factor %g the window (%d x %d pixels) would not fit on the screen "
                         "(%d x %d); it is shown at %g.\n",
                 qPrintable(QCoreApplication::applicationName()), tooLarge->factor,
                 qRound(window.width() * tooLarge->factor), qRound(window.height() * tooLarge->factor),
                 tooLarge->screen->handle()->geometry().width(), tooLarge->screen->handle()->geometry().height(),
                 tooLarge->fits);
}

void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon)
{
    // Qt is connected now, and has read its scale factors and its platform.
    ReleaseXServerConnection();
    RestoreStartEnvironment();

    g_displayName = displayName;
    QApplication::setWindowIcon(icon);

    app.setFont(DialogFont());
    app.installEventFilter(new ApplicationFontKeeper(&app));
}

QFont DialogFont()
{
    // Made at the first call, when the font database can be asked.
    static const QFont font = MakeDialogFont();
    return font;
}

void UseDialogFont(QWidget* window)
{
    window->setFont(DialogFont());
}

QString AppDisplayName() { return g_displayName; }

bool HasDisplay(QByteArray& why)
{
    const QByteArrayList platforms = PlatformsToTry();
    QByteArrayList unanswered;
    for (qsizetype i = 0; i < platforms.size(); ++i) {
        // Options follow the name after a colon (xcb:foo=1).
        const QByteArray name = platforms[i].split(':').constFirst().trimmed();
        DisplayAnswer answer = DisplayAnswer::NotReached;
        if (name.startsWith("wayland"))
            answer = AskCompositor(DisplayPatience());
        else if (name == "xcb" && !qEnvironmentVariableIsEmpty("DISPLAY"))
            answer = AskXServer(DisplayPatience());
        else if (!name.isEmpty() && name != "xcb")
            answer = DisplayAnswer::Answered;   // offscreen, a framebuffer...: Qt's own start decides
        if (answer == DisplayAnswer::Answered) {
            // Qt would try those before it once more, and wait for them
            // without a bound: it is told to start with this one.
            if (i > 0)
                SetForStart("QT_QPA_PLATFORM", platforms.mid(i).join(';'));
            return true;
        }
        if (answer == DisplayAnswer::Silent)
            unanswered << Unanswered(name.startsWith("wayland") ? "wayland" : "xcb");
    }
    why = unanswered.isEmpty() ? QByteArray("no display could be reached") : unanswered.join(", and ");
    return false;
}

} // namespace platform
