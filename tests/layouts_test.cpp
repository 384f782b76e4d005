// The steering keys on keyboard layouts of several scripts. A key press is
// made up as X11 and Wayland report it, from a real keymap compiled from the
// system's keyboard data: the key code of the key's place, the symbol the
// keymap gives it under the modifiers and the group, and Qt's key for that
// symbol. X11 also reports the group; Wayland does not, and the translation
// must find it from the symbol.

#include "app/GameDlg.h"
#include "game/Direction.h"
#include "platform/Dialog.h"
#include "platform/internal/Keys.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <map>
#include <memory>
#include <string>

using namespace testing_support;
using namespace game;

namespace {

using KeymapPtr = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;

// Keymaps compiled from layout names ("us,ru"), kept for the whole run.
xkb_keymap* KeymapFor(const std::string& layout, const std::string& variant = {})
{
    static std::map<std::string, KeymapPtr> keymaps;
    static xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const std::string id = layout + "(" + variant + ")";
    auto it = keymaps.find(id);
    if (it == keymaps.end()) {
        const xkb_rule_names names{"evdev", "pc105", layout.c_str(), variant.c_str(), ""};
        KeymapPtr keymap(context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr,
                         xkb_keymap_unref);
        it = keymaps.emplace(id, std::move(keymap)).first;
    }
    return it->second.get();
}

enum Modifiers : unsigned { kNone = 0, kShift = 1, kCaps = 2, kAltGr = 4, kCtrl = 8 };

// A key press as the window system reports it: the key at place `place`
// (an xkb key name) pressed with the modifiers while `group` is locked.
struct Report {
    platform::NativeKey key;
    std::uint32_t nativeModifiers = 0;  // as X11 has them, group in bits 13-14
    QString text;
};

Report Press(xkb_keymap* keymap, const char* place, unsigned group, unsigned modifiers)
{
    Report r;
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap, place);
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap), xkb_state_unref);
    auto mask = [&](const char* name) {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
        return index == XKB_MOD_INVALID ? 0u : 1u << index;
    };
    xkb_mod_mask_t depressed = 0, locked = 0;
    if (modifiers & kShift) depressed |= mask(XKB_MOD_NAME_SHIFT);
    if (modifiers & kCtrl) depressed |= mask(XKB_MOD_NAME_CTRL);
    if (modifiers & kAltGr) depressed |= mask("Mod5");
    if (modifiers & kCaps) locked |= mask(XKB_MOD_NAME_CAPS);
    xkb_state_update_mask(state.get(), depressed, 0, locked, 0, 0, group);
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.get(), keycode);

    r.key.keycode = keycode;
    r.key.keysym = sym;
    r.key.group = static_cast<int>(group);
    r.nativeModifiers = depressed | locked | (group << 13);
    // Qt's key: a letter by its upper case, other text by its character,
    // keys without text by the few Qt keys the game knows.
    const char32_t ch = xkb_keysym_to_utf32(sym);
    r.text = ch ? QString::fromUcs4(&ch, 1) : QString();
    if (sym >= XKB_KEY_KP_0 && sym <= XKB_KEY_KP_9)
        r.key.qtKey = Qt::Key_0 + static_cast<int>(sym - XKB_KEY_KP_0);
    else if (ch)
        r.key.qtKey = static_cast<int>(QChar::toUpper(ch));
    return r;
}

// What a case expects: a letter code, or kNoLetter for a key that must not
// count as any letter.
constexpr char kNoLetter = 0;

struct Case {
    const char* layout;
    const char* variant;
    unsigned group;
    const char* place;
    unsigned modifiers;
    char expected;
};

std::string Describe(const Case& c)
{
    std::string text = std::string(c.layout) + (*c.variant ? std::string("(") + c.variant + ")" : "")
        + " group " + std::to_string(c.group + 1) + " key " + c.place;
    if (c.modifiers & kShift) text += " +Shift";
    if (c.modifiers & kCaps) text += " +CapsLock";
    if (c.modifiers & kAltGr) text += " +AltGr";
    if (c.modifiers & kCtrl) text += " +Ctrl";
    return text;
}

// Places: AD01 is the key beside Tab (Q on a US keyboard), AC01 the one
// beside Caps Lock (A), AB06 and AB07 the sixth and seventh of the bottom row
// (N, M), AB08 the comma, AC10 the semicolon, AD11 the left bracket.
const Case kCases[] = {
    // US: the four letters, in either case, with AltGr; other letters are
    // their own codes; the keypad and the digits are no letters.
    {"us", "", 0, "AD01", kNone, 'Q'},
    {"us", "", 0, "AC01", kNone, 'A'},
    {"us", "", 0, "AB06", kNone, 'N'},
    {"us", "", 0, "AB07", kNone, 'M'},
    {"us", "", 0, "AD01", kShift, 'Q'},
    {"us", "", 0, "AC01", kCaps, 'A'},
    {"us", "", 0, "AB07", kCaps | kShift, 'M'},
    {"us", "", 0, "AD02", kNone, 'W'},
    {"us", "", 0, "AB08", kNone, kNoLetter},
    {"us", "", 0, "KP8", kNone, kNoLetter},
    {"us", "", 0, "AE01", kNone, '1'},
    // French: by the letter printed on the key. The key beside Tab is A, the
    // one beside Caps Lock is Q; the US M place holds a comma, which steers
    // nothing, and M sits where the US semicolon is.
    {"fr", "", 0, "AD01", kNone, 'A'},
    {"fr", "", 0, "AC01", kNone, 'Q'},
    {"fr", "", 0, "AB06", kNone, 'N'},
    {"fr", "", 0, "AB07", kNone, kNoLetter},
    {"fr", "", 0, "AB07", kShift, kNoLetter},
    {"fr", "", 0, "AC10", kNone, 'M'},
    {"fr", "", 0, "AC10", kShift, 'M'},
    {"fr", "", 0, "AD01", kAltGr, 'A'},
    {"fr", "", 0, "AE01", kNone, kNoLetter},
    {"fr", "", 0, "AD11", kNone, kNoLetter},  // the dead circumflex
    // German: Y and Z change places; AltGr+Q gives @ and is still the Q key.
    {"de", "", 0, "AD01", kNone, 'Q'},
    {"de", "", 0, "AD01", kAltGr, 'Q'},
    {"de", "", 0, "AD06", kNone, 'Z'},
    {"de", "", 0, "AB01", kNone, 'Y'},
    {"de", "", 0, "AB07", kAltGr, 'M'},
    {"de", "", 0, "AC01", kCaps, 'A'},
    // Russian: the letter keys by their place, in either case; the Cyrillic
    // letters on the US punctuation keys are no letters.
    {"ru", "", 0, "AD01", kNone, 'Q'},
    {"ru", "", 0, "AC01", kNone, 'A'},
    {"ru", "", 0, "AB06", kNone, 'N'},
    {"ru", "", 0, "AB07", kNone, 'M'},
    {"ru", "", 0, "AD01", kShift, 'Q'},
    {"ru", "", 0, "AC01", kCaps, 'A'},
    {"ru", "", 0, "AB07", kCtrl, 'M'},
    {"ru", "", 0, "AB08", kNone, kNoLetter},
    {"ru", "", 0, "AC10", kNone, kNoLetter},
    {"ru", "", 0, "AD11", kNone, kNoLetter},
    {"ru", "", 0, "TLDE", kNone, kNoLetter},
    {"ru", "", 0, "KP5", kNone, kNoLetter},
    // US and Russian, either group active; Russian and US likewise.
    {"us,ru", "", 1, "AD01", kNone, 'Q'},
    {"us,ru", "", 1, "AC01", kShift, 'A'},
    {"us,ru", "", 1, "AB06", kNone, 'N'},
    {"us,ru", "", 1, "AB07", kNone, 'M'},
    {"us,ru", "", 1, "AB08", kNone, kNoLetter},
    {"us,ru", "", 1, "AB08", kCtrl, kNoLetter},
    {"us,ru", "", 0, "AD01", kNone, 'Q'},
    {"us,ru", "", 0, "AB07", kNone, 'M'},
    {"ru,us", "", 0, "AC01", kNone, 'A'},
    {"ru,us", "", 1, "AC01", kNone, 'A'},
    // French and Russian: the first group by its letters, the second by place.
    {"fr,ru", "", 0, "AD01", kNone, 'A'},
    {"fr,ru", "", 0, "AB07", kNone, kNoLetter},
    {"fr,ru", "", 1, "AD01", kNone, 'Q'},
    {"fr,ru", "", 1, "AB07", kNone, 'M'},
    // Greek: the key beside Tab gives a semicolon and is still the Q key.
    {"gr", "", 0, "AD01", kNone, 'Q'},
    {"gr", "", 0, "AD01", kShift, 'Q'},
    {"gr", "", 0, "AC01", kNone, 'A'},
    {"gr", "", 0, "AB06", kNone, 'N'},
    {"gr", "", 0, "AB07", kNone, 'M'},
    {"gr", "", 0, "AD02", kNone, 'W'},
    // Hebrew (a slash beside Tab) and Arabic: by place.
    {"il", "", 0, "AD01", kNone, 'Q'},
    {"il", "", 0, "AC01", kNone, 'A'},
    {"il", "", 0, "AB07", kNone, 'M'},
    {"ara", "", 0, "AD01", kNone, 'Q'},
    {"ara", "", 0, "AB06", kNone, 'N'},
    // Dvorak: by the letters, wherever they are; the key beside Tab gives an
    // apostrophe and steers nothing.
    {"us", "dvorak", 0, "AD01", kNone, kNoLetter},
    {"us", "dvorak", 0, "AB02", kNone, 'Q'},
    {"us", "dvorak", 0, "AC01", kNone, 'A'},
    {"us", "dvorak", 0, "AC09", kNone, 'N'},
    {"us", "dvorak", 0, "AB07", kNone, 'M'},
    {"us", "dvorak", 0, "AB06", kNone, 'B'},
};

void ExpectCode(unsigned code, char expected, const std::string& what)
{
    if (expected == kNoLetter)
        EXPECT_FALSE(code >= 'A' && code <= 'Z') << what << " gave the letter " << static_cast<char>(code);
    else
        EXPECT_EQ(code, static_cast<unsigned>(expected)) << what;
}

} // namespace

TEST(KeyboardLayouts, LetterKeysCountByTheirLatinLetterOrElseByTheirPlace)
{
    for (const Case& c : kCases) {
        xkb_keymap* keymap = KeymapFor(c.layout, c.variant);
        if (!keymap)
            GTEST_SKIP() << "no keyboard data for " << c.layout << " (scripts/deps.sh test installs xkb-data)";
        ASSERT_NE(xkb_keymap_key_by_name(keymap, c.place), XKB_KEYCODE_INVALID) << Describe(c);
        ASSERT_LT(c.group, xkb_keymap_num_layouts(keymap)) << Describe(c);
        Report r = Press(keymap, c.place, c.group, c.modifiers);
        // X11 reports the group; Wayland does not.
        ExpectCode(platform::VirtualKeyOf(keymap, r.key), c.expected, Describe(c) + " (group reported)");
        r.key.group = -1;
        ExpectCode(platform::VirtualKeyOf(keymap, r.key), c.expected, Describe(c) + " (group not reported)");
    }
}

TEST(KeyboardLayouts, EachSteeringLetterHasExactlyOneKey)
{
    // Whatever the modifiers: a key that counts by its place does not also
    // have a twin that counts by its label, nor the other way round.
    const std::pair<const char*, unsigned> layouts[] = {{"us", 0}, {"fr", 0}, {"de", 0}, {"ru", 0},
                                                        {"us,ru", 1}, {"gr", 0}, {"il", 0}};
    for (const auto& [layout, group] : layouts) {
        xkb_keymap* keymap = KeymapFor(layout);
        if (!keymap)
            GTEST_SKIP() << "no keyboard data for " << layout << " (scripts/deps.sh test installs xkb-data)";
        std::map<unsigned, std::string> steering;
        for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= xkb_keymap_max_keycode(keymap);
             ++keycode) {
            const char* name = xkb_keymap_key_get_name(keymap, keycode);
            if (!name)
                continue;
            for (unsigned modifiers : {kNone, kShift, kAltGr}) {
                const Report r = Press(keymap, name, group, modifiers);
                const unsigned code = platform::VirtualKeyOf(keymap, r.key);
                if (code != 'Q' && code != 'A' && code != 'N' && code != 'M')
                    continue;
                auto [it, fresh] = steering.emplace(code, name);
                EXPECT_TRUE(fresh || it->second == name)
                    << layout << ": both " << it->second << " and " << name << " count as " << static_cast<char>(code);
            }
        }
        EXPECT_EQ(steering.size(), 4u) << layout << ": not every steering letter has a key";
    }
}

TEST(KeyboardLayouts, TheSymbolOverrulesAGroupReportThatContradictsIt)
{
    // A switch the report missed: the French A key giving Й is the Russian
    // Q place; giving a while the report says Russian, it is the French A.
    xkb_keymap* keymap = KeymapFor("fr,ru");
    if (!keymap)
        GTEST_SKIP() << "no keyboard data (scripts/deps.sh test installs xkb-data)";
    const xkb_keycode_t place = xkb_keymap_key_by_name(keymap, "AD01");
    EXPECT_EQ(platform::VirtualKeyOf(keymap, {0x419, place, XKB_KEY_Cyrillic_SHORTI, 0}), 'Q');
    EXPECT_EQ(platform::VirtualKeyOf(keymap, {Qt::Key_A, place, XKB_KEY_a, 1}), 'A');
}

TEST(KeyboardLayouts, WithoutAKeymapOrAKeyCodeTheQtKeyDecides)
{
    xkb_keymap* keymap = KeymapFor("ru");
    if (!keymap)
        GTEST_SKIP() << "no keyboard data (scripts/deps.sh test installs xkb-data)";
    // No keymap: as before, by Qt's key alone.
    platform::NativeKey key{Qt::Key_Q, 24, XKB_KEY_q, 0};
    EXPECT_EQ(platform::VirtualKeyOf(nullptr, key), 'Q');
    key.qtKey = 0x419;  // Й
    EXPECT_EQ(platform::VirtualKeyOf(nullptr, key), 0u);
    // A key press a program made up carries no key code.
    key = {Qt::Key_M, 0, 0, -1};
    EXPECT_EQ(platform::VirtualKeyOf(keymap, key), 'M');
    key = {Qt::Key_Escape, 0, 0, -1};
    EXPECT_EQ(platform::VirtualKeyOf(keymap, key), 0x1Bu);
}

namespace {

// The main window with a game started, the keymap of a layout in force.
class LayoutKeysTest : public MainWindowFixture<> {
protected:
    void TearDown() override
    {
        platform::SetKeymapForTesting(nullptr);
        MainWindowFixture::TearDown();
    }

    void StartGame()
    {
        dlg.OnStart();
        ASSERT_NE(dlg.m_playArea.Window(), nullptr);
    }

    // Delivers the key press to the play area as the window system would,
    // with its native key code, symbol and modifiers.
    void Deliver(const Report& r)
    {
        QKeyEvent press(QEvent::KeyPress, r.key.qtKey, Qt::NoModifier, r.key.keycode, r.key.keysym,
                        r.nativeModifiers, r.text);
        QApplication::sendEvent(dlg.m_playArea.Window(), &press);
    }
};

} // namespace

TEST_F(LayoutKeysTest, ThePlayAreaSteersByTheKeysOfTheActiveLayout)
{
    struct Step {
        const char* layout;
        unsigned group;
        const char* place;
        unsigned modifiers;
        std::uint32_t direction;  // 0: the key leaves the direction alone
    };
    const Step steps[] = {
        {"us,ru", 1, "AC01", kNone, DIR_DOWN},  {"us,ru", 1, "AB07", kNone, DIR_RIGHT},
        {"us,ru", 1, "AD01", kShift, DIR_UP},   {"us,ru", 1, "AB06", kNone, DIR_LEFT},
        {"us,ru", 1, "AB08", kNone, 0},         {"us,ru", 0, "AB07", kNone, DIR_RIGHT},
        {"us,ru", 1, "AC01", kCaps, DIR_DOWN},  {"fr", 0, "AD01", kNone, DIR_DOWN},
        {"fr", 0, "AC01", kNone, DIR_UP},       {"fr", 0, "AB07", kNone, 0},
        {"fr", 0, "AC10", kNone, DIR_RIGHT},    {"gr", 0, "AD01", kNone, DIR_UP},
        {"gr", 0, "AB06", kNone, DIR_LEFT},     {"de", 0, "AD01", kAltGr, DIR_UP},
    };
    StartGame();
    for (const Step& s : steps) {
        xkb_keymap* keymap = KeymapFor(s.layout);
        if (!keymap)
            GTEST_SKIP() << "no keyboard data for " << s.layout << " (scripts/deps.sh test installs xkb-data)";
        platform::SetKeymapForTesting(keymap);
        const std::uint32_t before = s.direction == DIR_UP ? DIR_DOWN : DIR_UP;
        dlg.m_playArea.m_nDirection = before;
        Deliver(Press(keymap, s.place, s.group, s.modifiers));
        EXPECT_EQ(dlg.m_playArea.m_nDirection, s.direction ? s.direction : before)
            << s.layout << " group " << s.group + 1 << " key " << s.place;
    }
}

TEST_F(LayoutKeysTest, AKeyPressWithoutAKeyCodeSteersByItsQtKey)
{
    // The buttons' keyboard helpers, the soak run and the measurements make
    // up key presses without key codes; they steer as before whatever the
    // layout.
    xkb_keymap* keymap = KeymapFor("ru");
    if (!keymap)
        GTEST_SKIP() << "no keyboard data (scripts/deps.sh test installs xkb-data)";
    platform::SetKeymapForTesting(keymap);
    StartGame();
    for (auto [key, direction] : {std::pair{Qt::Key_A, DIR_DOWN}, {Qt::Key_N, DIR_LEFT}, {Qt::Key_Q, DIR_UP},
                                  {Qt::Key_M, DIR_RIGHT}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg.m_playArea.Window(), &press);
        EXPECT_EQ(dlg.m_playArea.m_nDirection, direction);
    }
}
