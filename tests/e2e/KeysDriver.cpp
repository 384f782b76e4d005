// Types the steering keys into the real main window by their key codes, as a
// keyboard does, on several keyboard layouts in turn, and checks where each
// key press steers the snake. The window system decides what a key code
// means:
//   X11: the layout is loaded into the X server with setxkbmap and the group
//        locked through XKB; the keys are pressed with XTest by key code.
//   Wayland (a wlroots compositor): a virtual keyboard uploads the keymap
//        compiled from the layout's names and sends key codes and modifier
//        states, as a keyboard with that layout would.
// The game is started and its clock stopped, so that the snake stays put
// while the keys set the direction that the next tick would take.
//
// Usage: coilrunner_keys_driver
// Prints one line per layout and exits with 0 when every key did what it
// should, 1 otherwise.

#include "app/GameDlg.h"
#include "game/Direction.h"
#include "platform/Application.h"
#include "res/Icon.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QWindow>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

// Xlib's event names are macros that Qt's enumerations share.
#undef KeyPress
#undef KeyRelease
#undef FocusIn
#undef FocusOut
#undef Expose
#undef None

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace game;

namespace {

int g_failures = 0;

void Fail(const std::string& what)
{
    ++g_failures;
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

// Runs the event loop until the condition holds; the bound is for a hang.
bool ProcessUntil(const std::function<bool()>& condition, int milliseconds = 60000)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

enum Modifier : unsigned { kNone = 0, kShift = 1, kCaps = 2, kAltGr = 4 };

// The keys a test presses, by the names xkb gives the places on the
// keyboard: a keyboard with any layout has the same key codes there.
constexpr const char* kShiftKey = "LFSH";
constexpr const char* kCapsKey = "CAPS";
constexpr const char* kAltGrKey = "RALT";

// --- the keyboards ---------------------------------------------------------------

class Keyboard {
public:
    virtual ~Keyboard() = default;
    // Loads the layout ("us,ru") and locks the group (0 the first).
    virtual bool SetLayout(const std::string& layout, unsigned group) = 0;
    virtual bool LockGroup(unsigned group) = 0;
    // The key code at a place, or 0.
    virtual unsigned KeyCode(const char* place) = 0;
    // Presses (down true) or releases a key.
    virtual bool Key(unsigned keycode, bool down) = 0;
};

// X11: XTest and XKB on a connection of the test's own.
class X11Keyboard final : public Keyboard {
public:
    static std::unique_ptr<X11Keyboard> Open()
    {
        int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        Display* display = XkbOpenDisplay(nullptr, &event, &error, &major, &minor, nullptr);
        if (!display)
            return nullptr;
        int xtestEvent = 0, xtestError = 0;
        if (!XTestQueryExtension(display, &xtestEvent, &xtestError, &major, &minor)
            || !XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
            XCloseDisplay(display);
            return nullptr;
        }
        return std::unique_ptr<X11Keyboard>(new X11Keyboard(display));
    }
    ~X11Keyboard() override { XCloseDisplay(m_display); }

    bool SetLayout(const std::string& layout, unsigned group) override
    {
        // setxkbmap has loaded the keymap into the server when it ends; Qt
        // hears of it before any key pressed after that.
        QProcess setxkbmap;
        setxkbmap.start(QStringLiteral("setxkbmap"),
                        {QStringLiteral("-layout"), QString::fromStdString(layout), QStringLiteral("-variant"),
                         QString(), QStringLiteral("-option"), QString()});
        if (!setxkbmap.waitForFinished(60000) || setxkbmap.exitStatus() != QProcess::NormalExit
            || setxkbmap.exitCode() != 0) {
            Fail("setxkbmap -layout " + layout + " failed: " + setxkbmap.readAllStandardError().toStdString());
            return false;
        }
        return LockGroup(group);
    }

    bool LockGroup(unsigned group) override
    {
        if (!XkbLockGroup(m_display, XkbUseCoreKbd, group))
            return false;
        XSync(m_display, False);
        return true;
    }

    unsigned KeyCode(const char* place) override
    {
        XkbDescPtr xkb = XkbGetMap(m_display, 0, XkbUseCoreKbd);
        unsigned found = 0;
        if (xkb && XkbGetNames(m_display, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys) {
            for (unsigned code = xkb->min_key_code; code <= xkb->max_key_code && !found; ++code)
                if (std::strncmp(xkb->names->keys[code].name, place, XkbKeyNameLength) == 0)
                    found = code;
        }
        if (xkb)
            XkbFreeKeyboard(xkb, 0, True);
        return found;
    }

    bool Key(unsigned keycode, bool down) override
    {
        if (!XTestFakeKeyEvent(m_display, keycode, down ? True : False, CurrentTime))
            return false;
        XSync(m_display, False);
        return true;
    }

private:
    explicit X11Keyboard(Display* display) : m_display(display) {}
    Display* m_display;
};

// Wayland: a virtual keyboard on a connection of the test's own. The
// compositor sends the keymap uploaded here to the focused program, and the
// modifier state sent with each key, group included.
class WaylandKeyboard final : public Keyboard {
public:
    static std::unique_ptr<WaylandKeyboard> Open()
    {
        wl_display* display = wl_display_connect(nullptr);
        if (!display)
            return nullptr;
        std::unique_ptr<WaylandKeyboard> keyboard(new WaylandKeyboard(display));
        wl_registry* registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &kRegistryListener, keyboard.get());
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
        if (!keyboard->m_seat || !keyboard->m_manager) {
            std::fprintf(stderr, "the compositor offers no %s\n",
                         keyboard->m_seat ? "virtual keyboard" : "seat");
            return nullptr;
        }
        keyboard->m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboard->m_manager,
                                                                                      keyboard->m_seat);
        if (wl_display_roundtrip(display) < 0)
            return nullptr;
        return keyboard;
    }

    ~WaylandKeyboard() override
    {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_manager)
            zwp_virtual_keyboard_manager_v1_destroy(m_manager);
        if (m_seat)
            wl_seat_destroy(m_seat);
        wl_display_roundtrip(m_display);
        m_state.reset();
        m_keymap.reset();
        xkb_context_unref(m_context);
        wl_display_disconnect(m_display);
    }

    bool SetLayout(const std::string& layout, unsigned group) override
    {
        const xkb_rule_names names{"evdev", "pc105", layout.c_str(), "", ""};
        KeymapPtr keymap(xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS), xkb_keymap_unref);
        if (!keymap) {
            Fail("no keymap for the layout " + layout);
            return false;
        }
        std::unique_ptr<char, decltype(&std::free)> text(xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1),
                                                        std::free);
        const size_t size = std::strlen(text.get()) + 1;
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        if (fd < 0 || write(fd, text.get(), size) != static_cast<ssize_t>(size)) {
            if (fd >= 0)
                close(fd);
            Fail("cannot hand over the keymap");
            return false;
        }
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<std::uint32_t>(size));
        close(fd);
        m_keymap = std::move(keymap);
        m_state.reset(xkb_state_new(m_keymap.get()));
        return LockGroup(group);
    }

    bool LockGroup(unsigned group) override
    {
        m_group = group;
        return SendModifiers();
    }

    unsigned KeyCode(const char* place) override
    {
        const xkb_keycode_t code = m_keymap ? xkb_keymap_key_by_name(m_keymap.get(), place) : XKB_KEYCODE_INVALID;
        return code == XKB_KEYCODE_INVALID ? 0 : code;
    }

    bool Key(unsigned keycode, bool down) override
    {
        if (!m_state)
            return false;
        // The modifier state goes with every key, as a keyboard's does.
        xkb_state_update_key(m_state.get(), keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        zwp_virtual_keyboard_v1_key(m_keyboard, ++m_time, keycode - 8,
                                    down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        return SendModifiers();
    }

private:
    using KeymapPtr = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;
    using StatePtr = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

    explicit WaylandKeyboard(wl_display* display)
        : m_display(display), m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
    {
    }

    bool SendModifiers()
    {
        if (!m_state)
            return false;
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, xkb_state_serialize_mods(m_state.get(), XKB_STATE_MODS_DEPRESSED),
                                          xkb_state_serialize_mods(m_state.get(), XKB_STATE_MODS_LATCHED),
                                          xkb_state_serialize_mods(m_state.get(), XKB_STATE_MODS_LOCKED), m_group);
        return wl_display_roundtrip(m_display) >= 0;
    }

    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version)
    {
        auto* self = static_cast<WaylandKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
            self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
            self->m_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        (void)version;
    }
    static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
    static constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

    wl_display* m_display;
    xkb_context* m_context;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_manager = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    KeymapPtr m_keymap{nullptr, xkb_keymap_unref};
    StatePtr m_state{nullptr, xkb_state_unref};
    unsigned m_group = 0;
    std::uint32_t m_time = 0;
};

// --- what the play area receives --------------------------------------------------

// Counts the releases of each key code that reach the play area: once the
// release is in, the press before it has been handled.
class KeyWatch : public QObject {
public:
    std::map<unsigned, int> m_releases;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease)
            ++m_releases[static_cast<QKeyEvent*>(event)->nativeScanCode()];
        return QObject::eventFilter(watched, event);
    }
};

// --- the layouts and what their keys must do ---------------------------------------

struct Press {
    const char* place;
    unsigned modifiers;
    std::uint32_t direction;  // 0: the key must leave the direction alone
    int lockGroup = -1;       // locks this group before the key
};

struct Layout {
    const char* name;
    unsigned group;
    std::vector<Press> presses;
};

const char* DirectionName(std::uint32_t direction)
{
    switch (direction) {
    case DIR_UP: return "up";
    case DIR_RIGHT: return "right";
    case DIR_DOWN: return "down";
    case DIR_LEFT: return "left";
    default: return "nothing";
    }
}

// Places: AD01 beside Tab (Q on a US keyboard), AD02 next to it (W), AC01
// beside Caps Lock (A), AB06 and AB07 the sixth and seventh of the bottom row
// (N, M), AB08 the comma, AC10 the semicolon, AD06 and AB01 (Y and Z).
const std::vector<Layout> kLayouts = {
    {"us", 0,
     {{"AD01", kNone, DIR_UP}, {"AC01", kNone, DIR_DOWN}, {"AB06", kNone, DIR_LEFT}, {"AB07", kNone, DIR_RIGHT},
      {"AD01", kShift, DIR_UP}, {"AC01", kCaps, DIR_DOWN}, {"AD02", kNone, 0}, {"AB08", kNone, 0}}},
    {"fr", 0,
     {{"AD01", kNone, DIR_DOWN}, {"AC01", kNone, DIR_UP}, {"AB06", kNone, DIR_LEFT}, {"AC10", kNone, DIR_RIGHT},
      {"AB07", kNone, 0}, {"AD01", kAltGr, DIR_DOWN}, {"AC10", kShift, DIR_RIGHT}}},
    {"de", 0,
     {{"AD01", kNone, DIR_UP}, {"AC01", kNone, DIR_DOWN}, {"AB06", kNone, DIR_LEFT}, {"AB07", kNone, DIR_RIGHT},
      {"AD01", kAltGr, DIR_UP}, {"AD06", kNone, 0}, {"AB01", kNone, 0}}},
    {"ru", 0,
     {{"AD01", kNone, DIR_UP}, {"AC01", kNone, DIR_DOWN}, {"AB06", kNone, DIR_LEFT}, {"AB07", kNone, DIR_RIGHT},
      {"AD01", kShift, DIR_UP}, {"AC01", kCaps, DIR_DOWN}, {"AB08", kNone, 0}, {"AC10", kNone, 0}}},
    // The second group locked, as a layout switcher leaves it; then switched
    // to the first and back while the game runs.
    {"us,ru", 1,
     {{"AD01", kNone, DIR_UP}, {"AC01", kNone, DIR_DOWN}, {"AB06", kNone, DIR_LEFT}, {"AB07", kNone, DIR_RIGHT},
      {"AB08", kNone, 0}, {"AC01", kShift, DIR_DOWN}, {"AD01", kNone, DIR_UP, 0}, {"AD02", kNone, 0},
      {"AB07", kNone, DIR_RIGHT, 1}, {"AC10", kNone, 0}}},
    {"gr", 0,
     {{"AD01", kNone, DIR_UP}, {"AC01", kNone, DIR_DOWN}, {"AB06", kNone, DIR_LEFT}, {"AB07", kNone, DIR_RIGHT},
      {"AD01", kShift, DIR_UP}, {"AD02", kNone, 0}}},
};

std::string Describe(const Layout& layout, const Press& press, unsigned group)
{
    std::string text = std::string(layout.name) + " group " + std::to_string(group + 1) + ", key " + press.place;
    if (press.modifiers & kShift) text += " with Shift";
    if (press.modifiers & kCaps) text += " with Caps Lock";
    if (press.modifiers & kAltGr) text += " with AltGr";
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());
    const QString platformName = QGuiApplication::platformName();
    std::unique_ptr<Keyboard> keyboard;
    if (platformName == QLatin1String("xcb"))
        keyboard = X11Keyboard::Open();
    else if (platformName.startsWith(QLatin1String("wayland")))
        keyboard = WaylandKeyboard::Open();
    else {
        std::fprintf(stderr, "FAIL: running on \"%s\", neither X11 nor Wayland\n", qPrintable(platformName));
        return 1;
    }
    if (!keyboard) {
        std::fprintf(stderr, "FAIL: no keyboard to type with on %s\n", qPrintable(platformName));
        return 1;
    }
    // A keymap is needed before the first key is pressed.
    if (!keyboard->SetLayout("us", 0))
        return 1;

    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    if (!dlg.Create()) {
        std::fprintf(stderr, "FAIL: the main window was not created\n");
        return 1;
    }
    QWidget* window = dlg.Window();
    window->show();
    window->activateWindow();
    if (!ProcessUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed()
                                   && QApplication::activeWindow() == window; })) {
        std::fprintf(stderr, "FAIL: the main window was not shown and active\n");
        return 1;
    }

    // The game runs; its clock stops, so the snake waits for the keys.
    dlg.OnStart();
    dlg.KillTimer(1);
    QWidget* playArea = dlg.m_playArea.Window();
    if (!playArea || !ProcessUntil([&] { return playArea->hasFocus(); })) {
        std::fprintf(stderr, "FAIL: the play area did not get the keyboard focus\n");
        return 1;
    }
    KeyWatch watch;
    playArea->installEventFilter(&watch);

    auto press = [&](const std::string& what, unsigned keycode, unsigned modifiers) {
        std::vector<unsigned> held;
        for (auto [modifier, place] : {std::pair{kShift, kShiftKey}, {kAltGr, kAltGrKey}})
            if (modifiers & modifier)
                held.push_back(keyboard->KeyCode(place));
        const unsigned caps = keyboard->KeyCode(kCapsKey);
        bool ok = true;
        auto tap = [&](unsigned code) { ok = keyboard->Key(code, true) && keyboard->Key(code, false) && ok; };
        if (modifiers & kCaps)
            tap(caps);
        for (unsigned code : held)
            ok = keyboard->Key(code, true) && ok;
        const int before = watch.m_releases[keycode];
        tap(keycode);
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            ok = keyboard->Key(*it, false) && ok;
        if (modifiers & kCaps)
            tap(caps);
        if (!ok)
            Fail(what + ": the key could not be pressed");
        else if (!ProcessUntil([&] { return watch.m_releases[keycode] > before; }))
            Fail(what + ": the key never reached the play area");
        // The modifiers' own events are handled too before the next key.
        QApplication::processEvents();
    };

    for (const Layout& layout : kLayouts) {
        if (!keyboard->SetLayout(layout.name, layout.group))
            continue;
        unsigned group = layout.group;
        int good = 0;
        for (const Press& p : layout.presses) {
            if (p.lockGroup >= 0) {
                group = static_cast<unsigned>(p.lockGroup);
                if (!keyboard->LockGroup(group))
                    Fail(std::string(layout.name) + ": the group could not be locked");
            }
            const std::string what = Describe(layout, p, group);
            const unsigned keycode = keyboard->KeyCode(p.place);
            if (!keycode) {
                Fail(what + ": no such key");
                continue;
            }
            // The direction before the key: one the key would not set.
            const std::uint32_t before = p.direction == DIR_UP ? DIR_DOWN : DIR_UP;
            dlg.m_playArea.m_nDirection = before;
            const int failures = g_failures;
            press(what, keycode, p.modifiers);
            const std::uint32_t after = dlg.m_playArea.m_nDirection;
            const std::uint32_t expected = p.direction ? p.direction : before;
            if (failures == g_failures && after != expected)
                Fail(what + " (key code " + std::to_string(keycode) + ") steers " +
                     (after == before ? "nothing" : DirectionName(after)) + ", not " + DirectionName(p.direction));
            if (failures == g_failures)
                ++good;
        }
        std::printf("%s: %d of %zu keys as expected\n", layout.name, good, layout.presses.size());
        std::fflush(stdout);
    }

    playArea->removeEventFilter(&watch);
    dlg.m_playArea.DestroyWindow();
    dlg.DestroyWindow();
    platform::SetMainDialog(nullptr);
    keyboard.reset();
    return g_failures == 0 ? 0 : 1;
}
