// Key presses as virtual-key codes: a Qt key by a fixed table, a letter key
// by the keymap of the window system (X11 or Wayland), reached through Qt's
// native interface. It knows nothing of dialogs or of what a key does.

#include "platform/internal/Keys.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QKeyEvent>
#include <qpa/qplatformnativeinterface.h>

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

namespace {

// --- the translation ----------------------------------------------------------

// The letter keys by their place on the keyboard, as xkb names the places
// (row D is the one beside Tab), and the letter a US keyboard has there.
constexpr struct {
    const char* name;
    char letter;
} kLetterKeys[] = {
    {"AD01", 'Q'}, {"AD02", 'W'}, {"AD03", 'E'}, {"AD04", 'R'}, {"AD05", 'T'}, {"AD06", 'Y'},
    {"AD07", 'U'}, {"AD08", 'I'}, {"AD09", 'O'}, {"AD10", 'P'}, {"AC01", 'A'}, {"AC02", 'S'},
    {"AC03", 'D'}, {"AC04", 'F'}, {"AC05", 'G'}, {"AC06", 'H'}, {"AC07", 'J'}, {"AC08", 'K'},
    {"AC09", 'L'}, {"AB01", 'Z'}, {"AB02", 'X'}, {"AB03", 'C'}, {"AB04", 'V'}, {"AB05", 'B'},
    {"AB06", 'N'}, {"AB07", 'M'},
};

bool IsLetterCode(unsigned code) { return code >= 'A' && code <= 'Z'; }

// The virtual-key code of a Latin letter symbol (either case), or 0.
unsigned LatinLetterOf(xkb_keysym_t sym)
{
    if (sym >= XKB_KEY_a && sym <= XKB_KEY_z)
        return 'A' + (sym - XKB_KEY_a);
    if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z)
        return sym;
    return 0;
}

// The layout a key follows while `group` is active: a key with fewer
// layouts than the keymap wraps, clamps or redirects as the keymap says.
xkb_layout_index_t LayoutOfKey(xkb_keymap* keymap, xkb_keycode_t keycode, xkb_layout_index_t group)
{
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap), xkb_state_unref);
    if (!state)
        return 0;
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, group);
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state.get(), keycode);
    return layout == XKB_LAYOUT_INVALID ? 0 : layout;
}

// The symbol at the key's first level (no Shift, no AltGr) in a layout.
xkb_keysym_t BaseSymbol(xkb_keymap* keymap, xkb_keycode_t keycode, xkb_layout_index_t layout)
{
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &syms);
    return count == 1 ? syms[0] : XKB_KEY_NoSymbol;
}

// Whether the key gives the symbol at some level of the layout; Caps Lock
// gives a letter in the other case than the level holds.
bool GivesSymbol(xkb_keymap* keymap, xkb_keycode_t keycode, xkb_layout_index_t layout, xkb_keysym_t sym)
{
    const xkb_keysym_t wanted = xkb_keysym_to_lower(sym);
    const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
    for (xkb_level_index_t level = 0; level < levels; ++level) {
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms);
        for (int i = 0; i < count; ++i)
            if (xkb_keysym_to_lower(syms[i]) == wanted)
                return true;
    }
    return false;
}

// The groups in which the key gives the symbol.
std::vector<xkb_layout_index_t> GroupsGiving(xkb_keymap* keymap, xkb_keycode_t keycode, xkb_keysym_t sym)
{
    std::vector<xkb_layout_index_t> groups;
    if (sym == XKB_KEY_NoSymbol)
        return groups;
    for (xkb_layout_index_t group = 0; group < xkb_keymap_num_layouts(keymap); ++group)
        if (GivesSymbol(keymap, keycode, LayoutOfKey(keymap, keycode, group), sym))
            groups.push_back(group);
    return groups;
}

// The active group: the reported one where the key gives its symbol there
// (or nowhere: the report is all there is), else the first group where it
// does.
xkb_layout_index_t ActiveGroup(xkb_keymap* keymap, const NativeKey& key)
{
    const std::vector<xkb_layout_index_t> groups = GroupsGiving(keymap, key.keycode, key.keysym);
    const bool reported = key.group >= 0 && static_cast<xkb_layout_index_t>(key.group) < xkb_keymap_num_layouts(keymap);
    if (reported) {
        const auto group = static_cast<xkb_layout_index_t>(key.group);
        if (groups.empty() || std::find(groups.begin(), groups.end(), group) != groups.end())
            return group;
    }
    return groups.empty() ? 0 : groups.front();
}

// A group writes Latin when at least half of its letter keys give a Latin
// letter at their first level. A Cyrillic or Greek layout has none there,
// or a stray one; a Latin layout has a few keys of its own (the French M
// place gives a comma, the Turkish I place a dotless i).
bool GroupIsLatin(xkb_keymap* keymap, xkb_layout_index_t group)
{
    int keys = 0, latin = 0;
    for (const auto& key : kLetterKeys) {
        const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap, key.name);
        if (keycode == XKB_KEYCODE_INVALID)
            continue;
        ++keys;
        if (LatinLetterOf(BaseSymbol(keymap, keycode, LayoutOfKey(keymap, keycode, group))))
            ++latin;
    }
    return keys == 0 || 2 * latin >= keys;
}

// The US letter at the key's place, or 0 for a key that is not a letter key.
unsigned UsLetterAt(xkb_keymap* keymap, xkb_keycode_t keycode)
{
    const char* name = xkb_keymap_key_get_name(keymap, keycode);
    if (!name)
        return 0;
    for (const auto& key : kLetterKeys)
        if (std::strcmp(name, key.name) == 0)
            return static_cast<unsigned>(key.letter);
    return 0;
}

bool KnownKey(xkb_keymap* keymap, std::uint32_t keycode)
{
    return keycode >= xkb_keymap_min_keycode(keymap) && keycode <= xkb_keymap_max_keycode(keymap)
        && xkb_keymap_num_layouts_for_key(keymap, keycode) > 0;
}

// --- where the keymap comes from ------------------------------------------------

class KeymapSource {
public:
    virtual ~KeymapSource() = default;
    // The keymap in force for this key press, or nullptr.
    virtual xkb_keymap* KeymapFor(const NativeKey& key) = 0;
    // The active group as the key press reports it, or -1.
    virtual int GroupOf(const QKeyEvent& event) const { (void)event; return -1; }
};

// X11 reports the group in bits 13 and 14 of the key event's state.
int GroupInX11State(const QKeyEvent& event) { return static_cast<int>((event.nativeModifiers() >> 13) & 3u); }

using KeymapPtr = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;
using ContextPtr = std::unique_ptr<xkb_context, decltype(&xkb_context_unref)>;

KeymapPtr NoKeymap() { return KeymapPtr(nullptr, xkb_keymap_unref); }

class TestSource final : public KeymapSource {
public:
    explicit TestSource(xkb_keymap* keymap) : m_keymap(xkb_keymap_ref(keymap), xkb_keymap_unref) {}
    xkb_keymap* KeymapFor(const NativeKey&) override { return m_keymap.get(); }
    int GroupOf(const QKeyEvent& event) const override { return GroupInX11State(event); }

private:
    KeymapPtr m_keymap;
};

// X11: the keymap of the core keyboard, read from the server again whenever
// it tells of a new keyboard or a changed map (setxkbmap, a layout switcher
// that loads another map), and once more when a key press gives a symbol
// the keymap read before does not have on that key.
class X11Source final : public KeymapSource, public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<X11Source> Create()
    {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection)
            return nullptr;
        std::uint8_t firstEvent = 0;
        if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr))
            return nullptr;
        ContextPtr context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
        if (!context)
            return nullptr;
        std::unique_ptr<X11Source> source(new X11Source(connection, firstEvent, std::move(context)));
        QCoreApplication::instance()->installNativeEventFilter(source.get());
        return source;
    }

    ~X11Source() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    xkb_keymap* KeymapFor(const NativeKey& key) override
    {
        if (m_bStale || !m_keymap)
            Load();
        if (m_keymap && KnownKey(m_keymap.get(), key.keycode) && key.keysym != XKB_KEY_NoSymbol
            && GroupsGiving(m_keymap.get(), key.keycode, key.keysym).empty()) {
            if (!m_bReloadedForMiss) {
                Load();
                m_bReloadedForMiss = true;
            }
        } else {
            m_bReloadedForMiss = false;
        }
        return m_keymap.get();
    }

    int GroupOf(const QKeyEvent& event) const override { return GroupInX11State(event); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override
    {
        (void)result;
        if (eventType != "xcb_generic_event_t")
            return false;
        // XKB events share one event code; the second byte tells which.
        const auto* bytes = static_cast<const std::uint8_t*>(message);
        constexpr std::uint8_t kNewKeyboardNotify = 0, kMapNotify = 1;
        if ((bytes[0] & 0x7F) == m_firstEvent && (bytes[1] == kNewKeyboardNotify || bytes[1] == kMapNotify))
            m_bStale = true;
        return false;
    }

private:
    X11Source(xcb_connection_t* connection, std::uint8_t firstEvent, ContextPtr context)
        : m_connection(connection), m_firstEvent(firstEvent), m_context(std::move(context))
    {
    }

    void Load()
    {
        m_bStale = false;
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
        KeymapPtr keymap = NoKeymap();
        if (device != -1)
            keymap.reset(xkb_x11_keymap_new_from_device(m_context.get(), m_connection, device,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS));
        // A failed read keeps the keymap read before.
        if (keymap)
            m_keymap = std::move(keymap);
    }

    xcb_connection_t* m_connection;
    std::uint8_t m_firstEvent;
    ContextPtr m_context;
    KeymapPtr m_keymap = NoKeymap();
    bool m_bStale = true;
    bool m_bReloadedForMiss = false;
};

// Wayland: the compositor hands every keyboard object of the program the
// keymap, and a new one when it changes. Qt keeps its own to itself, so the
// program asks for a second keyboard object on the same connection and the
// same seat, with an event queue of its own that is dispatched at each key
// press: the keymap events for it come before the key that follows them.
class WaylandSource final : public KeymapSource {
public:
    static std::unique_ptr<WaylandSource> Create()
    {
        QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
        if (!native)
            return nullptr;
        auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
        auto* seat = static_cast<wl_seat*>(native->nativeResourceForIntegration("wl_seat"));
        // Asking a seat without a keyboard for one is a protocol error, which
        // would end the connection: only where Qt has a keyboard.
        if (!display || !seat || !native->nativeResourceForIntegration("wl_keyboard"))
            return nullptr;
        ContextPtr context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
        if (!context)
            return nullptr;
        std::unique_ptr<WaylandSource> source(new WaylandSource(display, std::move(context)));
        source->m_queue = wl_display_create_queue(display);
        if (!source->m_queue)
            return nullptr;
        source->m_seat = static_cast<wl_seat*>(wl_proxy_create_wrapper(seat));
        if (!source->m_seat)
            return nullptr;
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(source->m_seat), source->m_queue);
        source->m_keyboard = wl_seat_get_keyboard(source->m_seat);
        if (!source->m_keyboard)
            return nullptr;
        wl_keyboard_add_listener(source->m_keyboard, &kListener, source.get());
        // The keymap comes at once; waiting for it here means the first key
        // press already has it.
        if (wl_display_roundtrip_queue(display, source->m_queue) < 0)
            return nullptr;
        return source;
    }

    ~WaylandSource() override
    {
        if (m_keyboard) {
            if (wl_keyboard_get_version(m_keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
                wl_keyboard_release(m_keyboard);
            else
                wl_keyboard_destroy(m_keyboard);
        }
        if (m_seat)
            wl_proxy_wrapper_destroy(m_seat);
        if (m_queue)
            wl_event_queue_destroy(m_queue);
    }

    xkb_keymap* KeymapFor(const NativeKey&) override
    {
        wl_display_dispatch_queue_pending(m_display, m_queue);
        return m_keymap.get();
    }

private:
    WaylandSource(wl_display* display, ContextPtr context) : m_display(display), m_context(std::move(context)) {}

    static void OnKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size)
    {
        auto* self = static_cast<WaylandSource*>(data);
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
            void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map != MAP_FAILED) {
                // The text ends with a NUL within the size given.
                const auto* text = static_cast<const char*>(map);
                KeymapPtr keymap(xkb_keymap_new_from_buffer(self->m_context.get(), text, strnlen(text, size),
                                                            XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS),
                                 xkb_keymap_unref);
                munmap(map, size);
                if (keymap)
                    self->m_keymap = std::move(keymap);
            }
        }
        close(fd);
    }
    static void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
    static void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    static void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                            std::uint32_t)
    {
    }
    static void OnRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

    static constexpr wl_keyboard_listener kListener = {OnKeymap, OnEnter, OnLeave, OnKey, OnModifiers, OnRepeatInfo};

    wl_display* m_display;
    ContextPtr m_context;
    wl_event_queue* m_queue = nullptr;
    wl_seat* m_seat = nullptr;
    wl_keyboard* m_keyboard = nullptr;
    KeymapPtr m_keymap = NoKeymap();
};

std::unique_ptr<KeymapSource> g_source;
bool g_bSourceTried = false;
bool g_bReleaseAdded = false;

// The window system's objects go with the application, while the platform
// still exists.
void ReleaseSource()
{
    g_source.reset();
    g_bSourceTried = false;
    g_bReleaseAdded = false;
}

KeymapSource* Source()
{
    if (g_bSourceTried || !qGuiApp)
        return g_source.get();
    g_bSourceTried = true;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        g_source = X11Source::Create();
    else if (platform.startsWith(QLatin1String("wayland")))
        g_source = WaylandSource::Create();
    if (!g_bReleaseAdded) {
        qAddPostRoutine(ReleaseSource);
        g_bReleaseAdded = true;
    }
    return g_source.get();
}

} // namespace

unsigned VirtualKeyOf(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)
        || key == Qt::Key_Space)
        return static_cast<unsigned>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70u + static_cast<unsigned>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    default: return 0;
    }
}

unsigned VirtualKeyOf(xkb_keymap* keymap, const NativeKey& key)
{
    if (!keymap || !KnownKey(keymap, key.keycode))
        return VirtualKeyOf(key.qtKey);
    const xkb_layout_index_t group = ActiveGroup(keymap, key);
    const xkb_layout_index_t layout = LayoutOfKey(keymap, key.keycode, group);
    if (const unsigned letter = LatinLetterOf(BaseSymbol(keymap, key.keycode, layout)))
        return letter;
    if (!GroupIsLatin(keymap, group))
        if (const unsigned letter = UsLetterAt(keymap, key.keycode))
            return letter;
    // Not a letter key in this layout: whatever Qt made of it, but never a
    // letter (with Ctrl, Qt names a key by the Latin letter another group
    // has there).
    const unsigned code = VirtualKeyOf(key.qtKey);
    return IsLetterCode(code) ? 0 : code;
}

unsigned VirtualKeyOf(const QKeyEvent& event)
{
    NativeKey key;
    key.qtKey = event.key();
    key.keycode = event.nativeScanCode();
    key.keysym = event.nativeVirtualKey();
    // A key press without a key code was made up by a program: Qt's key is
    // all there is. Only a real one is worth the window system's keymap (and
    // on Wayland it is the sign that there is a seat to ask: Qt's native
    // interface fails on a connection without one).
    if (key.keycode == 0)
        return VirtualKeyOf(key.qtKey);
    KeymapSource* source = Source();
    if (!source)
        return VirtualKeyOf(key.qtKey);
    key.group = source->GroupOf(event);
    return VirtualKeyOf(source->KeymapFor(key), key);
}

void SetKeymapForTesting(xkb_keymap* keymap)
{
    g_source.reset();
    g_bSourceTried = keymap != nullptr;
    if (keymap)
        g_source = std::make_unique<TestSource>(keymap);
}

} // namespace platform
