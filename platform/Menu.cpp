// Menu bars built from menu templates, the queries over Qt menus, and the
// command-update record. Menus only: what a command does is the owner's,
// reached through a callback.

#include "platform/Menu.h"
#include "platform/Application.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace platform {

void AppendMenu(QMenu* menu, unsigned flags, unsigned id, const QString& text,
                const std::function<void(unsigned)>& onCommand)
{
    if (flags & MF_SEPARATOR) {
        menu->addSeparator();
        return;
    }
    QAction* action = menu->addAction(text);
    action->setData(id);
    if (flags & MF_CHECKED) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    if (onCommand)
        QObject::connect(action, &QAction::triggered, menu, [onCommand, id] { onCommand(id); });
}

QMenuBar* BuildMenuBar(const MenuTemplate& menu, QWidget* parent,
                       const std::function<void(unsigned)>& onCommand)
{
    auto* bar = new QMenuBar(parent);
    bar->setNativeMenuBar(false);
    for (const MenuPopupTemplate& popup : menu.popups) {
        QMenu* sub = bar->addMenu(QString::fromUtf8(popup.text));
        // A popup is a window of its own: it takes no font from the bar.
        UseDialogFont(sub);
        for (const MenuItemTemplate& item : popup.items)
            AppendMenu(sub, item.flags, item.id, QString::fromUtf8(item.text), onCommand);
    }
    return bar;
}

int GetMenuItemCount(const QMenu* menu)
{
    return menu ? static_cast<int>(menu->actions().size()) : -1;
}

unsigned GetMenuItemID(const QMenu* menu, int pos)
{
    const QList<QAction*> actions = menu->actions();
    if (pos < 0 || pos >= actions.size())
        return 0xFFFFFFFFu;
    const QAction* action = actions[pos];
    if (action->isSeparator())
        return 0;
    if (action->menu())
        return 0xFFFFFFFFu;
    return action->data().toUInt();
}

QMenu* GetSubMenu(const QMenu* menu, int pos)
{
    const QList<QAction*> actions = menu->actions();
    if (pos < 0 || pos >= actions.size())
        return nullptr;
    return actions[pos]->menu();
}

bool IsMenuItemChecked(const QMenu* menu, unsigned id)
{
    for (const QAction* action : menu->actions())
        if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id)
            return action->isChecked();
    return false;
}

void CCmdUI::SetCheck(int check)
{
    if (!m_pMenu || m_pSubMenu)
        return;
    const QList<QAction*> actions = m_pMenu->actions();
    if (m_nIndex < 0 || m_nIndex >= actions.size())
        return;
    QAction* action = actions[m_nIndex];
    action->setCheckable(true);
    action->setChecked(check != 0);
}

} // namespace platform
