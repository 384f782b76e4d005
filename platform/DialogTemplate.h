#pragma once
#include <cstdint>
#include <span>

namespace platform {

// The identifier of controls that have none of their own.
constexpr int IDC_STATIC = -1;

// A dialog template as data: what the window looks like, in dialog units.
enum class ControlKind {
    PushButton,
    DefPushButton,
    Static,
    Edit,
    GroupBox,
    Icon,       // text holds nothing; the control shows the application icon
    AutoRadio,
    BlackRect,
};

enum ControlStyle : unsigned {
    CS_NONE = 0,
    CS_LEFT = 1u << 0,        // static text alignment
    CS_CENTER = 1u << 1,
    CS_RIGHT = 1u << 2,
    CS_TABSTOP = 1u << 3,
    CS_BORDER = 1u << 4,
    CS_AUTOHSCROLL = 1u << 5,
    CS_GROUP = 1u << 6,       // starts a new group of radio buttons
};

struct ControlTemplate {
    int id;                   // IDC_STATIC (-1) for controls without one
    ControlKind kind;
    const char* text;         // UTF-8
    int x, y, cx, cy;         // dialog units
    unsigned style;
};

enum DialogStyle : unsigned {
    DS_NONE = 0,
    DS_CAPTION = 1u << 0,
    DS_SYSMENU = 1u << 1,     // the caption has a close box
    DS_MODALFRAME = 1u << 2,
    DS_CHILD = 1u << 3,       // a borderless child window inside its parent
};

struct DialogTemplate {
    int id;
    const char* caption;      // UTF-8
    int x, y;                 // position in the parent (child templates only)
    int cx, cy;               // size of the client area in dialog units
    unsigned style;
    int menuId;               // 0 = no menu bar
    std::span<const ControlTemplate> controls;
};

} // namespace platform
