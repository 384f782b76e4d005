// What a screen reader calls each control of a dialog. A control with a
// text of its own is called by it. An edit box is called by its label, as a
// sighted user reads it: the static text just left of it on its row, else
// the one just above it (without the colon). A picture or an untitled frame
// is called by the titled group box around it, else by the window. Statics
// without a text of their own get no fixed name: Qt reads out whatever text
// they show.
//
// The names come from the dialog's template alone (the controls' texts,
// kinds and places in dialog units) and the application's name: nothing here
// knows widgets, the dialog object or its window.

#include "platform/internal/AccessibleNames.h"
#include "platform/Application.h"

#include <span>

namespace platform {

namespace {

// Drops every "&" that no "&" follows: "&Start!" reads "Start!"; of the
// "&&" that stands for one "&" the first is kept.
QString StripMnemonic(const QString& text)
{
    QString stripped;
    stripped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != QLatin1Char('&') || (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')))
            stripped += text[i];
    return stripped;
}

bool Overlaps(int a, int aLength, int b, int bLength) { return a < b + bLength && b < a + aLength; }

const ControlTemplate* LabelOf(std::span<const ControlTemplate> controls, const ControlTemplate& c)
{
    const ControlTemplate* beside = nullptr;
    const ControlTemplate* above = nullptr;
    for (const ControlTemplate& l : controls) {
        if (l.kind != ControlKind::Static || !l.text || !*l.text)
            continue;
        if (Overlaps(l.y, l.cy, c.y, c.cy) && l.x < c.x && l.x + l.cx <= c.x + 2
            && (!beside || l.x + l.cx > beside->x + beside->cx))
            beside = &l;
        if (Overlaps(l.x, l.cx, c.x, c.cx) && l.y < c.y && l.y + l.cy <= c.y + 2
            && (!above || l.y + l.cy > above->y + above->cy))
            above = &l;
    }
    return beside ? beside : above;
}

const ControlTemplate* GroupAround(std::span<const ControlTemplate> controls, const ControlTemplate& c)
{
    for (const ControlTemplate& g : controls)
        if (&g != &c && g.kind == ControlKind::GroupBox && g.text && *g.text && g.x <= c.x && g.y <= c.y
            && c.x + c.cx <= g.x + g.cx && c.y + c.cy <= g.y + g.cy)
            return &g;
    return nullptr;
}

QString NameOfText(const char* text)
{
    QString name = StripMnemonic(QString::fromUtf8(text)).trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name.trimmed();
}

} // namespace

QString AccessibleNameOf(const DialogTemplate& dialog, const ControlTemplate& c)
{
    const QString own = StripMnemonic(QString::fromUtf8(c.text ? c.text : ""));
    if (!own.trimmed().isEmpty())
        return own.trimmed();
    switch (c.kind) {
    case ControlKind::Static:
        return {};
    case ControlKind::Icon:
        // The control shows the application icon.
        if (!AppDisplayName().isEmpty())
            return AppDisplayName();
        break;
    case ControlKind::Edit:
        if (const ControlTemplate* label = LabelOf(dialog.controls, c))
            return NameOfText(label->text);
        break;
    default:
        break;
    }
    if (const ControlTemplate* group = GroupAround(dialog.controls, c))
        return NameOfText(group->text);
    return QString::fromUtf8(dialog.caption ? dialog.caption : "");
}

} // namespace platform
