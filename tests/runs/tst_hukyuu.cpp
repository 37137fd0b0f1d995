// The restore run's own rules: its paths, its permission message, the
// name in its folder-not-found message, no free-space comparison.
#include "platform/AppInfo.h"
#include "runs/RunFakes.h"
#include "runs/Runs.h"

#include <QtTest>

class tst_Hukyuu : public QObject {
    Q_OBJECT
private slots:
    void paths_data();
    void paths();
    void neverComparesFreeSpace();
    void permissionDenied();
    void folderNotFoundName_data();
    void folderNotFoundName();
};

void tst_Hukyuu::paths_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("folderPath1"); // empty: chkFolder1 off
    QTest::addColumn<QString>("folderPath2"); // empty: chkFolder2 off
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    // Dir1 is /home/u/, Dir2 /media/u/STICK/. The separator after the
    // directory is always added, so a drive root gives two in a row.
    QTest::newRow("drive roots") << "Data" << "" << ""
                                 << "/home/u/Data" << "/media/u/STICK//Data";
    QTest::newRow("separate destination") << "Data" << "" << "/media/u/STICK/Restore"
                                          << "/home/u/Data" << "/media/u/STICK/Restore/Data";
    QTest::newRow("separate source Work.old") << "Data" << "/home/u/Backup/Work.old" << ""
                                              << "/home/u/Backup/Work.old" << "/media/u/STICK//Work";
    QTest::newRow("Mail.box") << "Mail.box" << "" << ""
                              << "/home/u/Mail.box" << "/media/u/STICK//Mail";
    QTest::newRow("both separate") << "Data" << "/home/u/Backup/Work.old" << "/media/u/STICK/Restore"
                                   << "/home/u/Backup/Work.old" << "/media/u/STICK/Restore/Work";
}

void tst_Hukyuu::paths()
{
    QFETCH(QString, folderName);
    QFETCH(QString, folderPath1);
    QFETCH(QString, folderPath2);
    QFETCH(QString, source);
    QFETCH(QString, destination);
    RunWorld world;
    world.mainWindow.folderName = folderName;
    world.options.folder1 = folderPath1.isEmpty() ? 0 : 1;
    world.options.folderPath1 = folderPath1;
    world.options.folder2 = folderPath2.isEmpty() ? 0 : 1;
    world.options.folderPath2 = folderPath2;
    world.options.end = 0;
    QVERIFY(!world.run(RunHukyuu));

    QCOMPARE(world.fileSystem.copies.size(), 1);
    QCOMPARE(world.fileSystem.copies[0].source, source);
    QCOMPARE(world.fileSystem.copies[0].destination, destination);
    QVERIFY(world.log.contains(QStringLiteral("FlushToDevice ") + destination));
    QVERIFY(world.history.text.endsWith(QStringLiteral("22:27:32  復旧元") + source
                                        + QStringLiteral("  復旧先") + destination));
}

void tst_Hukyuu::neverComparesFreeSpace()
{
    RunWorld world;
    world.fileSystem.freeSpace = qint64(0);
    world.fileSystem.sourceSize = qint64(1) << 40;
    world.options.end = 0;
    QVERIFY(!world.run(RunHukyuu));
    QVERIFY(world.log.contains(QStringLiteral("FreeSpace E:")));
    QVERIFY(world.log.filter(QStringLiteral("GetFolder")).isEmpty());
    QCOMPARE(world.boxTexts(), QStringList{QStringLiteral("復旧が完了しました。")});
}

void tst_Hukyuu::permissionDenied()
{
    RunWorld world;
    world.fileSystem.copyResults.push_back(Error{ErrorNumber::PermissionDenied, QString()});
    const QString historyBefore = world.history.text;
    QVERIFY(!world.run(RunHukyuu));
    QCOMPARE(world.boxTexts(), QStringList{QStringLiteral(
                                   "書き込み不能のフォルダを指定しています。\r\n設定をしなおしてください!!")});
    const FakeMessageBoxes::Box &box = world.fakes.messageBoxes.boxes[0];
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QVERIFY(!box.busyPointerOn);
    QVERIFY(world.fakes.clipboard.text.isEmpty());
    QCOMPARE(world.history.text, historyBefore);
    QCOMPARE(world.fakes.programs.explorerStarts, 0);
}

void tst_Hukyuu::folderNotFoundName_data()
{
    QTest::addColumn<int>("folder1");
    QTest::addColumn<QString>("name");
    QTest::newRow("folder name") << 0 << "Data";
    // A separate source is named by its base name, the name the copy gets.
    QTest::newRow("separate source") << 1 << "Work";
}

void tst_Hukyuu::folderNotFoundName()
{
    QFETCH(int, folder1);
    QFETCH(QString, name);
    RunWorld world;
    world.options.folder1 = folder1;
    world.options.folderPath1 = QStringLiteral("/home/u/Backup/Work.old");
    world.fileSystem.copyResults.push_back(Error{ErrorNumber::PathNotFound, QString()});
    QVERIFY(!world.run(RunHukyuu));
    QCOMPARE(world.boxTexts(), QStringList{name + QStringLiteral("フォルダが見つかりません！もう一度､") + name
                                           + QStringLiteral("フォルダを確認してみてください。")});
    QCOMPARE(world.fakes.programs.explorerStarts, 1);
}

QTEST_GUILESS_MAIN(tst_Hukyuu)
#include "tst_hukyuu.moc"
