#pragma once
#include <QString>
#include <functional>
#include <span>

class QMenu;
class QMenuBar;
class QWidget;

namespace platform {

enum MenuFlags : unsigned {
    MF_STRING = 0,
    MF_SEPARATOR = 1u << 0,
    MF_CHECKED = 1u << 1,
};

struct MenuItemTemplate {
    const char* text;   // UTF-8, with & before the mnemonic
    unsigned id;
    unsigned flags;
};

struct MenuPopupTemplate {
    const char* text;
    std::span<const MenuItemTemplate> items;
};

struct MenuTemplate {
    int id;
    std::span<const MenuPopupTemplate> popups;
};

// Builds a menu bar; a chosen item calls onCommand with its identifier.
QMenuBar* BuildMenuBar(const MenuTemplate& menu, QWidget* parent,
                       const std::function<void(unsigned)>& onCommand);

// Appends an item (or a separator) to a popup; choosing it calls onCommand.
void AppendMenu(QMenu* menu, unsigned flags, unsigned id, const QString& text,
                const std::function<void(unsigned)>& onCommand = {});

// The menu queries of the window services, over a Qt menu.
// An item's identifier is 0 for a separator and 0xFFFFFFFF for an entry
// that opens a sub-menu.
int GetMenuItemCount(const QMenu* menu);
unsigned GetMenuItemID(const QMenu* menu, int pos);
QMenu* GetSubMenu(const QMenu* menu, int pos);
bool IsMenuItemChecked(const QMenu* menu, unsigned id);

// The command-update record: names one item of a popup while its owner
// decides the item's state, and carries that state to the menu item.
class CCmdUI {
public:
    unsigned m_nID = 0;
    int m_nIndex = 0;
    int m_nIndexMax = 0;
    QMenu* m_pMenu = nullptr;
    QMenu* m_pSubMenu = nullptr;       // set while the item opens a sub-menu
    QWidget* m_pParentMenu = nullptr;  // the menu that opened m_pMenu, if known

    // Checks (1) or clears (0) the item's mark. Entries that open a
    // sub-menu are never checked.
    void SetCheck(int check);
};

} // namespace platform
