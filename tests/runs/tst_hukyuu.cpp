// The restore run's own rules: its paths, its permission message, the
// name in its folder-not-found message, no free-space comparison.
#include "core/AppInfo.h"
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
    addPathColumns();
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
    verifyPathsRow(RunHukyuu, HistoryLog::RestoreLabels);
}

void tst_Hukyuu::neverComparesFreeSpace()
{
    RunWorld world;
    world.fileSystem.freeSpace = qint64(0);
    world.fileSystem.bytesAdded = qint64(1) << 40;
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
