// Desktop notices on a session bus of the test's own, where a fake
// notification service listens, and where no bus answers.

#include "core/AppInfo.h"
#include "platform/DBusNotifications.h"

#include <QProcess>
#include <QtTest>

// Stands for the desktop's notification service: keeps what it is told.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notices;
public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        notices << QStringList{app, summary, body}.join(QLatin1Char('|'));
        return 1;
    }
};

class TestDBusNotifications : public QObject {
    Q_OBJECT

private slots:
    void noticeReachesTheSessionBusAndNoBusIsQuiet();
};

void TestDBusNotifications::noticeReachesTheSessionBusAndNoBusIsQuiet()
{
    QProcess daemon; // ended by its destructor, whatever the outcome
    daemon.start(QStringLiteral("dbus-daemon"), QStringList{"--session", "--nofork", "--print-address"});
    if (!daemon.waitForStarted(5000))
        QSKIP("dbus-daemon cannot be started here (tools/setup.sh installs it)");
    QTRY_VERIFY_WITH_TIMEOUT(daemon.canReadLine() || daemon.state() != QProcess::Running, 10000);
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QVERIFY2(!address.isEmpty(), "dbus-daemon gave no address");
    // The program's connection is the session bus its environment names.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    FakeNotificationService service;
    QDBusConnection desktop = QDBusConnection::connectToBus(address, QStringLiteral("desktop"));
    QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));
    const QString words = QStringLiteral("タイマーによるバックアップが失敗しました: Disk not ready");

    QVERIFY(DBusNotifications().notify(AppInfo::Title, words));
    QTRY_COMPARE(service.notices, QStringList{QStringLiteral("tandemix|%1|%2").arg(AppInfo::Title, words)});

    // Where no bus listens nothing is sent, and nothing waits for one.
    const QDBusConnection none =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tandemix-bus"), QStringLiteral("none"));
    QVERIFY(!DBusNotifications(none).notify(AppInfo::Title, words));
}

QTEST_GUILESS_MAIN(TestDBusNotifications)
#include "tst_dbusnotifications.moc"
