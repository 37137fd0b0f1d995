#include "platform/LinuxServices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The system information program is looked for on PATH, in the order of
// the desktops' tools; a file that cannot be run is no tool.
class TstSystemInfoTool : public QObject {
    Q_OBJECT
private slots:
    void findsTheFirstToolOnPath_data()
    {
        QTest::addColumn<QStringList>("programs");
        QTest::addColumn<QStringList>("notExecutable");
        QTest::addColumn<QString>("found");
        QTest::newRow("none") << QStringList{"hardinfo3", "sysinfo"} << QStringList{} << "";
        QTest::newRow("the only one") << QStringList{"gnome-system-monitor"} << QStringList{}
                                      << "gnome-system-monitor";
        QTest::newRow("kinfocenter first")
            << QStringList{"gnome-system-monitor", "hardinfo", "hardinfo2", "kinfocenter"} << QStringList{}
            << "kinfocenter";
        QTest::newRow("hardinfo2 before hardinfo") << QStringList{"hardinfo", "hardinfo2"} << QStringList{}
                                                   << "hardinfo2";
        QTest::newRow("one that cannot run is passed over")
            << QStringList{"kinfocenter", "hardinfo"} << QStringList{"kinfocenter"} << "hardinfo";
    }
    void findsTheFirstToolOnPath()
    {
        QFETCH(QStringList, programs);
        QFETCH(QStringList, notExecutable);
        QFETCH(QString, found);
        QTemporaryDir empty, bin;
        for (const QString &program : programs) {
            QFile file(bin.filePath(program));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n");
            const auto run = notExecutable.contains(program) ? QFileDevice::Permissions()
                                                              : QFileDevice::ExeOwner | QFileDevice::ExeGroup;
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | run));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path() + QLatin1Char(':') + bin.path()));
        const QString result = PathSystemInfoTool().find();
        qputenv("PATH", path);
        QCOMPARE(result, found.isEmpty() ? QString() : bin.filePath(found));
    }
};

QTEST_MAIN(TstSystemInfoTool)
#include "tst_systeminfotool.moc"
