#pragma once
// What the desktop says about title bars, for the caption bar the program
// draws where the compositor draws none: whether the session is GNOME's, whose
// conventions the bar then follows, the desktop's light or dark style, and its
// button layout. Knows nothing of widgets or windows.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>
#include <vector>


namespace platform {

// What the desktop sets. A session that is not GNOME's asks nothing: its
// caption bars keep the program's own look.
struct TitleBarSettings {
    // XDG_CURRENT_DESKTOP names GNOME among its colon-separated desktops.
    bool gnome = false;
    // The desktop prefers the dark style.
    bool dark = false;
    // The buttons and where they go: names separated by commas, the left
    // corner's before the colon, the right corner's after it. GNOME's default.
    QString buttonLayout = QStringLiteral("appmenu:close");

    bool operator==(const TitleBarSettings&) const = default;
};

// A button layout as the bar uses it. The windows keep one size, so
// "maximize" never appears; "appmenu" stands for an application menu the
// program does not have, and is left out, as are names not known here and
// names already used. "spacer" leaves a gap after the place before it (one at
// the start of a corner has nothing to follow). Without a colon every place
// goes to the left corner.
enum class TitleBarPlace { Icon, Minimise, Close };
struct PlacedItem {
    TitleBarPlace place;
    bool gapAfter = false;

    bool operator==(const PlacedItem&) const = default;
};
struct ButtonLayout {
    std::vector<PlacedItem> left, right;

    bool operator==(const ButtonLayout&) const = default;
};
ButtonLayout ParseButtonLayout(const QString& layout);

// Whether the session is GNOME's, from the value of XDG_CURRENT_DESKTOP.
bool NamesGnome(const QString& currentDesktop);

// The settings as the desktop's settings portal (org.freedesktop.portal.Settings
// on the session bus) gives them: read once when made, waiting at most
// `patience` for the answer, and then kept up to date from the portal's
// SettingChanged signal. An answer that comes after the patience ran out is
// still taken when it comes. Without a portal, or before its answer, the
// values are GNOME's defaults (light, "appmenu:close").
class PortalTitleBarSettings : public QObject {
    Q_OBJECT
public:
    PortalTitleBarSettings(const QDBusConnection& bus, bool gnome, std::chrono::milliseconds patience);
    const TitleBarSettings& Current() const { return m_current; }

signals:
    void changed();

private slots:
    void OnSettingChanged(const QDBusMessage& change);

private:
    void AskLate();
    void TakeAll(const QDBusMessage& answer);
    void Take(const QString& group, const QString& key, const QVariant& value);

    QDBusConnection m_bus;
    TitleBarSettings m_current;
    // The portal's org.freedesktop.appearance color-scheme counts over
    // GNOME's own key where both come.
    bool m_haveAppearance = false;
};

// Announces that the desktop's settings changed while the program runs.
class TitleBarSettingsNotifier : public QObject {
    Q_OBJECT
signals:
    void changed();
};

// The desktop's settings, read on the first call (in a GNOME session only:
// a short wait for the portal at most), and where their changes are told.
const TitleBarSettings& DesktopTitleBarSettings();
TitleBarSettingsNotifier& TitleBarSettingsChanges();

// Tests say what the desktop sets; no portal is asked then. With nullopt the
// desktop is read again on the next call. Either way the bars are told.
void SetTitleBarSettingsForTests(const std::optional<TitleBarSettings>& settings);

} // namespace platform
