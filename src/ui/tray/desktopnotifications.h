#pragma once

#include "platform/notifier.h"

#include <QDBusConnection>

// Shows the popup's messages through the desktop's notification service
// (org.freedesktop.Notifications), for sessions where a window cannot place itself.
class DesktopNotifications final : public Notifier
{
public:
    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus());

    // True when the notification service is registered on the bus.
    bool isAvailable() const;
    // Sends the text without waiting for the service's answer; a failed call is dropped.
    void ShowTrayWindow(const QString &text) override;

private:
    QDBusConnection m_bus;
};
