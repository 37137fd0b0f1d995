#include "platform/LinuxServices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The first desktop system-information program on PATH; "name-" cannot be run.
class TstSystemInfoTool : public QObject {
    Q_OBJECT
private slots:
    void findsTheFirstToolOnPath_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("found");
        QTest::newRow("none") << QStringList{"hardinfo3", "sysinfo"} << "";
        QTest::newRow("the last") << QStringList{"gnome-system-monitor"} << "gnome-system-monitor";
        QTest::newRow("all") << QStringList{"gnome-system-monitor", "hardinfo", "hardinfo2", "kinfocenter"} << "kinfocenter";
        QTest::newRow("cannot run") << QStringList{"kinfocenter-", "hardinfo", "hardinfo2"} << "hardinfo2";
    }
    void findsTheFirstToolOnPath()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, found);
        QTemporaryDir bin;
        for (const QString &name : files) {
            QFile file(bin.filePath(name.endsWith('-') ? name.chopped(1) : name));
            QVERIFY(file.open(QIODevice::WriteOnly)
                    && file.setPermissions(name.endsWith('-') ? QFileDevice::ReadOwner : QFileDevice::ExeOwner));
        }
        qputenv("PATH", QFile::encodeName("/nonexistent:" + bin.path()));
        QCOMPARE(PathSystemInfoTool().find(), found.isEmpty() ? QString() : bin.filePath(found));
    }
};

QTEST_MAIN(TstSystemInfoTool)
#include "tst_systeminfotool.moc"
