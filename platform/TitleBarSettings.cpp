// The desktop's title-bar settings: whether the session is GNOME's, its
// light or dark style and its button layout, read from the settings portal
// on the session bus and followed while the program runs. It knows nothing of
// widgets or of the bar that uses them; the portal is asked only in a GNOME
// session, and every wait for it is bounded.

#include "platform/internal/TitleBarSettings.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>
#include <array>

namespace platform {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kWindowManager = QStringLiteral("org.gnome.desktop.wm.preferences");
const QString kColorScheme = QStringLiteral("color-scheme");
const QString kButtonLayout = QStringLiteral("button-layout");

// A running portal answers within milliseconds; one that has to be started
// first may take longer, and its answer is taken when it comes.
constexpr std::chrono::milliseconds kPortalPatience{300};
// The answer that comes after the patience ran out is waited for in the
// background, for as long as a portal may reasonably take to start.
constexpr int kLateAnswerBoundMs = 30000;

// A value of the portal comes as a variant, in older portals as a variant
// in a variant.
QVariant Unwrapped(QVariant value)
{
    for (int depth = 0; depth < 4 && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

std::optional<TitleBarPlace> PlaceNamed(QStringView name)
{
    if (name == u"icon")
        return TitleBarPlace::Icon;
    if (name == u"minimize")
        return TitleBarPlace::Minimise;
    if (name == u"close")
        return TitleBarPlace::Close;
    return std::nullopt;
}

} // namespace

ButtonLayout ParseButtonLayout(const QString& layout)
{
    ButtonLayout result;
    std::array<bool, 3> used{};
    auto fill = [&used](QStringView corner, std::vector<PlacedItem>& places) {
        for (QStringView name : corner.split(u',')) {
            name = name.trimmed();
            if (name == u"spacer") {
                if (!places.empty())
                    places.back().gapAfter = true;
                continue;
            }
            const std::optional<TitleBarPlace> place = PlaceNamed(name);
            if (!place || used[static_cast<size_t>(*place)])
                continue;
            used[static_cast<size_t>(*place)] = true;
            places.push_back({*place});
        }
    };
    const qsizetype colon = layout.indexOf(u':');
    fill(QStringView(layout).left(colon < 0 ? layout.size() : colon), result.left);
    if (colon >= 0)
        fill(QStringView(layout).mid(colon + 1), result.right);
    return result;
}

bool NamesGnome(const QString& currentDesktop)
{
    for (QStringView name : QStringView(currentDesktop).split(u':'))
        if (name.trimmed().compare(u"GNOME", Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// --- the portal ---------------------------------------------------------------------

PortalTitleBarSettings::PortalTitleBarSettings(const QDBusConnection& bus, bool gnome,
                                               std::chrono::milliseconds patience)
    : m_bus(bus)
{
    m_current.gnome = gnome;
    if (!m_bus.isConnected())
        return;
    // Changes are followed from before the question, so that none is lost
    // between the answer and the subscription. The signal is taken from
    // whoever sends it on the portal's path: naming the portal's service
    // would make the toolkit ask the bus for its owner first, and wait.
    // The slot takes the whole message and looks at its arguments itself.
    m_bus.connect(QString(), kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"), this,
                  SLOT(OnSettingChanged(QDBusMessage)));
    QDBusMessage ask = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface,
                                                      QStringLiteral("ReadAll"));
    ask << QStringList{kAppearance, kInterface, kWindowManager};
    const QDBusMessage answer = m_bus.call(ask, QDBus::Block, static_cast<int>(patience.count()));
    if (answer.type() == QDBusMessage::ReplyMessage) {
        TakeAll(answer);
    } else if (const QDBusError::ErrorType error = QDBusError(answer).type();
               error == QDBusError::NoReply || error == QDBusError::Timeout) {
        AskLate();
    }
}

void PortalTitleBarSettings::AskLate()
{
    QDBusMessage ask = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface,
                                                      QStringLiteral("ReadAll"));
    ask << QStringList{kAppearance, kInterface, kWindowManager};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, kLateAnswerBoundMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const TitleBarSettings before = m_current;
        if (!watcher->isError())
            TakeAll(watcher->reply());
        if (m_current != before)
            emit changed();
    });
}

// The answer to ReadAll: for each group asked, its keys and their values.
void PortalTitleBarSettings::TakeAll(const QDBusMessage& answer)
{
    if (answer.signature() != QLatin1String("a{sa{sv}}") || answer.arguments().isEmpty())
        return;
    const QDBusArgument all = answer.arguments().constFirst().value<QDBusArgument>();
    all.beginMap();
    while (!all.atEnd()) {
        QString group;
        QVariantMap values;
        all.beginMapEntry();
        all >> group >> values;
        all.endMapEntry();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            Take(group, it.key(), it.value());
    }
    all.endMap();
}

// SettingChanged(s group, s key, v value).
void PortalTitleBarSettings::OnSettingChanged(const QDBusMessage& change)
{
    const QVariantList arguments = change.arguments();
    if (change.signature() != QLatin1String("ssv") || arguments.size() != 3)
        return;
    const TitleBarSettings before = m_current;
    Take(arguments[0].toString(), arguments[1].toString(), arguments[2]);
    if (m_current != before)
        emit changed();
}

void PortalTitleBarSettings::Take(const QString& group, const QString& key, const QVariant& wrapped)
{
    const QVariant value = Unwrapped(wrapped);
    if (group == kAppearance && key == kColorScheme && value.metaType() == QMetaType::fromType<uint>()) {
        // 0: no preference, 1: dark, 2: light.
        m_haveAppearance = true;
        m_current.dark = value.toUInt() == 1;
    } else if (group == kInterface && key == kColorScheme && value.metaType() == QMetaType::fromType<QString>()) {
        if (!m_haveAppearance)
            m_current.dark = value.toString() == QLatin1String("prefer-dark");
    } else if (group == kWindowManager && key == kButtonLayout && value.metaType() == QMetaType::fromType<QString>()) {
        m_current.buttonLayout = value.toString();
    }
}

// --- the program's settings -------------------------------------------------------

namespace {

std::optional<TitleBarSettings> g_forced;
PortalTitleBarSettings* g_portal = nullptr;

} // namespace

TitleBarSettingsNotifier& TitleBarSettingsChanges()
{
    static TitleBarSettingsNotifier notifier;
    return notifier;
}

const TitleBarSettings& DesktopTitleBarSettings()
{
    if (g_forced)
        return *g_forced;
    if (g_portal)
        return g_portal->Current();
    static const TitleBarSettings notGnome{false};
    if (!NamesGnome(qEnvironmentVariable("XDG_CURRENT_DESKTOP")))
        return notGnome;
    g_portal = new PortalTitleBarSettings(QDBusConnection::sessionBus(), true, kPortalPatience);
    // It lives as long as the application and its connection.
    g_portal->setParent(QCoreApplication::instance());
    QObject::connect(g_portal, &QObject::destroyed, [] { g_portal = nullptr; });
    QObject::connect(g_portal, &PortalTitleBarSettings::changed, &TitleBarSettingsChanges(),
                     &TitleBarSettingsNotifier::changed);
    return g_portal->Current();
}

void SetTitleBarSettingsForTests(const std::optional<TitleBarSettings>& settings)
{
    g_forced = settings;
    emit TitleBarSettingsChanges().changed();
}

} // namespace platform
