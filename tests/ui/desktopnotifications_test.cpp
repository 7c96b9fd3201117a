#include "support/qtprinters.h"
#include "ui/tray/desktopnotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace {

// A private message bus for one test, ended with it.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address"),
                        QStringLiteral("--address=unix:dir=") + m_dir.path()});
        if (m_daemon.waitForStarted() && m_daemon.waitForReadyRead(30000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString &name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    QDBusConnection connect(const QString &name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QStringList m_names;
};

// Stands in for the desktop's notification service and records each Notify call.
class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString appName;
        uint replacesId;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout)
    {
        calls << Call {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
        return calls.size();
    }
};

} // namespace

TEST(DesktopNotifications, SendsTheTextEscapedToTheNotificationService)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection serverBus = bus.connect(QStringLiteral("notification-server"));
    FakeNotificationServer server;
    ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifications notifications(bus.connect(QStringLiteral("korvane")));
    EXPECT_TRUE(notifications.isAvailable());
    notifications.ShowTrayWindow(QStringLiteral("a <b> & c"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.calls.isEmpty(); }, 30000));
    const FakeNotificationServer::Call &call = server.calls.first();
    EXPECT_EQ(call.appName, "Korvane");
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.appIcon, "");
    EXPECT_EQ(call.summary, "Korvane");
    EXPECT_EQ(call.body, "a &lt;b&gt; &amp; c");
    EXPECT_EQ(call.actions, QStringList {});
    EXPECT_EQ(call.hints, QVariantMap {});
    EXPECT_EQ(call.expireTimeout, 8000);
}

TEST(DesktopNotifications, IsUnavailableOnABusWithoutTheService)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    DesktopNotifications notifications(bus.connect(QStringLiteral("korvane")));
    EXPECT_FALSE(notifications.isAvailable());
}

#include "desktopnotifications_test.moc"
