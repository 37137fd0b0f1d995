#include "platform/DBusNotifications.h"

#include <QDBusMessage>
#include <QVariantMap>

bool DBusNotifications::notify(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected())
        return false;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, id it replaces, icon, summary, body, actions, hints, timeout (-1: the desktop's).
    message << QStringLiteral("tandemix") << 0u << QStringLiteral("tandemix") << summary << body
            << QStringList() << QVariantMap() << -1;
    // No answer is awaited; a missing service is not started for it either.
    message.setAutoStartService(false);
    return m_bus.send(message);
}
