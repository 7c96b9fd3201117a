#include "desktopnotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
// As long as a popup stays on screen: it rises, rests and sinks in about eight seconds.
constexpr int displayMilliseconds = 8000;

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus)
    : m_bus(std::move(bus))
{
}

bool DesktopNotifications::isAvailable() const
{
    QDBusConnectionInterface *busInterface = m_bus.interface();
    return m_bus.isConnected() && busInterface && busInterface->isServiceRegistered(service);
}

void DesktopNotifications::ShowTrayWindow(const QString &text)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout).
    // Servers that support body markup read the body as HTML, so the text is escaped to show
    // a subject such as "<b>" or "a & b" as it was written.
    call << QStringLiteral("Korvane") << quint32(0) << QString() << QStringLiteral("Korvane")
         << text.toHtmlEscaped() << QStringList() << QVariantMap() << qint32(displayMilliseconds);
    // No answer is awaited, so neither a slow service nor an error ever holds up the engine.
    m_bus.call(call, QDBus::NoBlock);
}
