// Desktop notices through a session bus of the test's own, where a fake
// notification service listens, and where no bus answers.

#include "core/AppInfo.h"
#include "platform/DBusNotifications.h"

#include <QDBusConnection>
#include <QProcess>
#include <QtTest>

// Stands for the desktop's notification service: keeps what it is told.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notices;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int timeout)
    {
        notices << QStringList{app, QString::number(replaces), icon, summary, body, QString::number(timeout)}.join(
            QLatin1Char('|'));
        return uint(notices.size());
    }
};

class TestDBusNotifications : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noticeReachesTheServiceOfTheSessionBus();
    void withoutABusNothingIsSentNorWaitedFor_data();
    void withoutABusNothingIsSentNorWaitedFor();

private:
    QProcess m_daemon;
    QString m_address;
};

// The program's own connection is the session bus of its environment, read
// at its first use: the private bus is named there before anything asks.
void TestDBusNotifications::initTestCase()
{
    m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(5000))
        QSKIP("dbus-daemon cannot be started here (tools/setup.sh installs it)");
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine() || m_daemon.state() != QProcess::Running, 10000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY2(!m_address.isEmpty(), "dbus-daemon gave no address");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

void TestDBusNotifications::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished(5000);
}

void TestDBusNotifications::noticeReachesTheServiceOfTheSessionBus()
{
    FakeNotificationService service;
    QDBusConnection desktop = QDBusConnection::connectToBus(m_address, QStringLiteral("desktop"));
    QVERIFY(desktop.isConnected());
    QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DBusNotifications notifications;
    const QString words = QStringLiteral("タイマーによるバックアップが失敗しました: Disk not ready");
    QVERIFY(notifications.notify(AppInfo::Title, words));

    QTRY_COMPARE(service.notices, QStringList{QStringLiteral("tandemix|0|tandemix|%1|%2|-1").arg(AppInfo::Title, words)});
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
}

void TestDBusNotifications::withoutABusNothingIsSentNorWaitedFor_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("a socket nobody listens on") << QStringLiteral("unix:path=/nonexistent/tandemix-bus");
    QTest::newRow("an address that is none") << QStringLiteral("nowhere");
    QTest::newRow("a bus without the service") << QString();
}

// The bus without the service is the test's own: the notice goes out and
// nobody takes it, which is no failure of the run either.
void TestDBusNotifications::withoutABusNothingIsSentNorWaitedFor()
{
    QFETCH(QString, address);
    const bool reachable = address.isEmpty();
    const QDBusConnection bus = QDBusConnection::connectToBus(reachable ? m_address : address, QStringLiteral("none"));
    DBusNotifications notifications(bus);
    QCOMPARE(notifications.notify(AppInfo::Title, QStringLiteral("failed")), reachable);
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

QTEST_GUILESS_MAIN(TestDBusNotifications)
#include "tst_dbusnotifications.moc"
