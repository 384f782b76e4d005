// What every window of the application shares, set up at the start: whole
// scale factors (before Qt starts), the dialog font, which a theme's font
// does not replace, and the application's name and icon; and the check that a
// display can be reached at all. It knows nothing of dialogs or of the game.

#include "platform/Application.h"

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
#include <thread>
#include <vector>
#include <wayland-client.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

QString g_displayName;

// --- whole scale factors ------------------------------------------------

// No screen is wider than X11's coordinates reach (32767 pixels), so no
// larger factor could show a window on one. The limit keeps numbers such as
// 1e308 out of Qt's arithmetic; FitScaleFactors brings a factor down to
// what the screens hold once Qt knows them.
constexpr double kMostScaleFactor = 32767;

// The variables changed for Qt's start, with the values they had before.
struct SavedVariable {
    const char* name;
    bool wasSet;
    QByteArray value;
};
std::vector<SavedVariable> g_savedScaling;

// Sets the variable `name` for Qt's start to `value`, or takes it out of
// the environment where `value` is empty.
void SetForStart(const char* name, const QByteArray& value)
{
    g_savedScaling.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

void RestoreScalingEnvironment()
{
    for (const SavedVariable& saved : g_savedScaling) {
        if (saved.wasSet)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
    g_savedScaling.clear();
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

// --- the X server -------------------------------------------------------

// The check's connection to the X server, open until Qt holds its own.
xcb_connection_t* g_heldConnection = nullptr;

void ReleaseHeldConnection()
{
    if (g_heldConnection)
        xcb_disconnect(g_heldConnection);
    g_heldConnection = nullptr;
}

// An X server started without -noreset starts over each time its last client
// leaves, and turns away whoever connects meanwhile; it takes well under a
// second. A display that still refuses after this long is gone.
constexpr std::chrono::seconds kResetBound{3};
constexpr std::chrono::milliseconds kRetryPause{50};

bool XServerAnswers()
{
    if (g_heldConnection)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + kResetBound;
    for (;;) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection) == 0) {
            g_heldConnection = connection;
            return true;
        }
        xcb_disconnect(connection);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kRetryPause);
    }
}

// --- the Wayland compositor ---------------------------------------------

// Connects as Qt's Wayland plugin does (WAYLAND_DISPLAY, else "wayland-0",
// in XDG_RUNTIME_DIR) and lets go at once: a compositor does not start over.
bool CompositorAnswers()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return true;   // a connection handed down by the session: Qt's to use
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!(name && *name == '/') && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return false;  // the client library would fail too, and say so
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    wl_display_disconnect(display);
    return true;
}

// The window systems Qt tries, in its order: QT_QPA_PLATFORM, else the X
// server alone in an X11 session, else Wayland and then X.
QByteArrayList PlatformsToTry()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = qgetenv("XDG_SESSION_TYPE") == "x11" ? "xcb" : "wayland;xcb";
    return platforms.split(';');
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
    if (!g_savedScaling.empty())
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
    // Qt is connected now, and has read its scale factors.
    ReleaseHeldConnection();
    RestoreScalingEnvironment();

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

bool HasDisplay()
{
    for (const QByteArray& entry : PlatformsToTry()) {
        // Options follow the name after a colon (xcb:foo=1).
        const QByteArray name = entry.split(':').constFirst().trimmed();
        if (name.startsWith("wayland")) {
            if (CompositorAnswers())
                return true;
        } else if (name == "xcb") {
            if (!qEnvironmentVariableIsEmpty("DISPLAY") && XServerAnswers())
                return true;
        } else if (!name.isEmpty()) {
            return true;   // offscreen, a framebuffer...: Qt's own start decides
        }
    }
    return false;
}

} // namespace platform
