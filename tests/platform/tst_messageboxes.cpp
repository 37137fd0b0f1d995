// What the desktop tells the user: the message box with its whole text on
// screen, the cause in its details and what it shows in the message-box
// log; the notices over D-Bus.
#include "core/AppInfo.h"
#include "platform/DBusNotifications.h"
#include "platform/DesktopServices.h"

#include <QDBusConnection>
#include <QProcess>

#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QStringList logged;

void keepBoxLog(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QLatin1String(context.category) == QLatin1String("tandemix.messagebox"))
        logged << message;
}

// True when the label shows all of its text: inside the box, and as tall
// and wide as the text needs at its width.
bool showsWhole(const QMessageBox &box)
{
    const auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (!label || !box.rect().contains(label->geometry()))
        return false;
    const QRect room = label->contentsRect();
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, room.width(), 100000),
                                           label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}
// The notification service of a desktop, recording what it is sent.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;
public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        received << summary + QLatin1Char('\n') + body;
        return 1;
    }
};
} // namespace

class TestMessageBoxes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tandemix.messagebox.info=true"));
        qInstallMessageHandler(keepBoxLog);
    }

    void showsItsWholeTextAndTheCause_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        const QString general = QStringLiteral(
            "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。");
        QTest::newRow("general error, with its cause")
            << general << QStringLiteral("エラー番号: 57\nRead error: /media/stick/a.txt\n記録: /root/tandemix.log");
        QTest::newRow("two lines")
            << QStringLiteral("書き込み不能のフォルダを指定しています。\r\n設定をしなおしてください!!") << QString();
        QTest::newRow("three times as long") << general + general + general << QString();
    }
    void showsItsWholeTextAndTheCause()
    {
        QFETCH(QString, text);
        QFETCH(QString, details);
        bool whole = false;
        QString shownDetails;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            whole = showsWhole(*box);
            shownDetails = box->detailedText();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        logged.clear();
        QtMessageBoxes boxes;
        QCOMPARE(boxes.MsgBox(text, MsgButtons::OK, MsgIcon::None, {}, details), MsgAnswer::OK);
        QVERIFY(whole);
        QCOMPARE(shownDetails, details);
        QCOMPARE(logged, QStringList{AppInfo::Title + QStringLiteral(": ") + text
                                     + (details.isEmpty() ? QString() : QLatin1Char('\n') + details)});
    }

    // A bus of the test's own: a notice reaches the service on it; with no
    // service, or no bus at all, it is dropped and nothing waits.
    void noticesReachTheDesktopWhereItListens_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::addColumn<bool>("service");
        QTest::newRow("service") << true << true;
        QTest::newRow("no service") << true << false;
        QTest::newRow("no bus") << false << false;
    }
    void noticesReachTheDesktopWhereItListens()
    {
        QFETCH(bool, bus);
        QFETCH(bool, service);
        QProcess daemon;
        QString address = QStringLiteral("unix:path=/nonexistent/bus");
        if (bus) {
            daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                         QStringLiteral("--print-address=1")});
            if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000))
                QSKIP("dbus-daemon cannot be started here");
            address = QString::fromLatin1(daemon.readLine().trimmed());
        }
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        FakeNotificationService desktop;
        QDBusConnection serviceSide = QDBusConnection::connectToBus(address, tag + QStringLiteral("-service"));
        if (service) {
            QVERIFY(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop,
                                               QDBusConnection::ExportAllSlots));
            QVERIFY(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
        }
        DBusNotifications notices(QDBusConnection::connectToBus(address, tag + QStringLiteral("-program")));
        QCOMPARE(notices.notify(QStringLiteral("TX"), QStringLiteral("タイマーによるバックアップが失敗しました")), bus);
        if (service)
            QTRY_COMPARE(desktop.received, QStringList{QStringLiteral("TX\nタイマーによるバックアップが失敗しました")});
        QDBusConnection::disconnectFromBus(tag + QStringLiteral("-service"));
        QDBusConnection::disconnectFromBus(tag + QStringLiteral("-program"));
        if (bus) {
            daemon.terminate();
            QVERIFY(daemon.waitForFinished());
        }
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
