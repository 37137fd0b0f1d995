#pragma once

#include "platform/Notifications.h"

#include <QDBusConnection>

// The freedesktop notification service on the session bus. The notice is
// sent without waiting for an answer, so a bus or a service that hangs
// holds nothing up; without a session bus nothing is sent.
class DBusNotifications final : public Notifications {
public:
    explicit DBusNotifications(const QDBusConnection &bus = QDBusConnection::sessionBus()) : m_bus(bus) {}
    bool notify(const QString &summary, const QString &body) override;

private:
    QDBusConnection m_bus;
};
