// The backup run's own rules: its paths and the free-space check.
#include "core/AppInfo.h"
#include "runs/RunFakes.h"
#include "runs/Runs.h"

#include <QtTest>

class tst_Backup : public QObject {
    Q_OBJECT
private slots:
    void paths_data();
    void paths();
    void freeSpaceComesFromDir2sDrive();
    void freeSpace_data();
    void freeSpace();
    void folderNotFoundNamesTheFolderName();
};

void tst_Backup::paths_data()
{
    addPathColumns();
    // Dir1 is /home/u/, Dir2 /media/u/STICK/.
    QTest::newRow("drive roots") << "Docs" << "" << ""
                                 << "/home/u/Docs" << "/media/u/STICK/Docs";
    QTest::newRow("separate source: base name") << "Docs" << "/home/u/Work/Report.old" << ""
                                                << "/home/u/Work/Report.old" << "/media/u/STICK/Report";
    QTest::newRow("separate destination: folder name") << "Docs" << "" << "/media/u/STICK/Backups"
                                                       << "/home/u/Docs" << "/media/u/STICK/Backups/Docs";
    QTest::newRow("both separate") << "Docs" << "/home/u/Work/Report.old" << "/media/u/STICK/Backups"
                                   << "/home/u/Work/Report.old" << "/media/u/STICK/Backups/Report";
    // The folder name is used as typed, extension and all.
    QTest::newRow("Mail.box") << "Mail.box" << "" << ""
                              << "/home/u/Mail.box" << "/media/u/STICK/Mail.box";
    QTest::newRow("Work.old as separate source") << "Docs" << "/home/u/Work.old" << ""
                                                 << "/home/u/Work.old" << "/media/u/STICK/Work";
    QTest::newRow("dot folder") << "Docs" << "/home/u/.config" << ""
                                << "/home/u/.config" << "/media/u/STICK/.config";
    QTest::newRow("subfolder name") << "Docs/2001" << "" << ""
                                    << "/home/u/Docs/2001" << "/media/u/STICK/Docs/2001";
}

void tst_Backup::paths()
{
    verifyPathsRow(RunBackup, HistoryLog::BackupLabels);
}

// With a separate destination elsewhere, the free space is still Dir2's
// drive's: the very entry, not the drive its folder would name now.
void tst_Backup::freeSpaceComesFromDir2sDrive()
{
    RunWorld world;
    world.options.folder2 = 1;
    world.options.folderPath2 = QStringLiteral("/mnt/elsewhere");
    world.mainWindow.dir2.name = QStringLiteral("F:");
    world.options.end = 0;
    QVERIFY(!world.run(RunBackup));
    QCOMPARE(world.log.filter(QStringLiteral("FreeSpace")), QStringList{QStringLiteral("FreeSpace F:")});
}

// What the copy added to the destination, as its own counters tell it: on
// a repeat only what grew, net of what it replaced.
void tst_Backup::freeSpace_data()
{
    QTest::addColumn<qint64>("freeBefore");
    QTest::addColumn<qint64>("bytesAdded");
    QTest::addColumn<bool>("enough");
    QTest::newRow("more") << qint64(5000) << qint64(1000) << true;
    QTest::newRow("equal counts as enough") << qint64(1000) << qint64(1000) << true;
    QTest::newRow("one byte short") << qint64(999) << qint64(1000) << false;
    QTest::newRow("nothing free") << qint64(0) << qint64(1) << false;
    QTest::newRow("repeat onto a stick the old copy fills") << qint64(400) << qint64(100) << true;
    QTest::newRow("repeat with nothing new on a full stick") << qint64(0) << qint64(0) << true;
    QTest::newRow("repeat that shrank the copy on a full stick") << qint64(0) << qint64(-300) << true;
    QTest::newRow("repeat that grew past the free space") << qint64(99) << qint64(100) << false;
}

void tst_Backup::freeSpace()
{
    QFETCH(qint64, freeBefore);
    QFETCH(qint64, bytesAdded);
    QFETCH(bool, enough);
    RunWorld world;
    world.fileSystem.freeSpace = freeBefore;
    world.fileSystem.bytesAdded = bytesAdded;
    const QString historyBefore = world.history.text;
    // chkEnd is on: a short run still must not end the program.
    QCOMPARE(world.run(RunBackup), enough);

    QCOMPARE(world.fileSystem.copies.size(), 1);
    // Neither the source nor the destination is walked for a size.
    QVERIFY(world.log.filter(QStringLiteral("GetFolder")).isEmpty());
    if (enough) {
        QCOMPARE(world.boxTexts(), QStringList{QStringLiteral("バックアップが完了しました。正常終了します。")});
        QVERIFY(world.history.text != historyBefore);
        return;
    }
    QCOMPARE(world.boxTexts(), QStringList{QStringLiteral("空き容量が足りません。空き容量を確保してください。")});
    const FakeMessageBoxes::Box &box = world.fakes.messageBoxes.boxes[0];
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QVERIFY(!box.busyPointerOn);
    QCOMPARE(world.history.text, historyBefore);
    QCOMPARE(world.historyFile(), Trees::Missing);
}

void tst_Backup::folderNotFoundNamesTheFolderName()
{
    RunWorld world;
    world.options.folder1 = 1;
    world.options.folderPath1 = QStringLiteral("/home/u/Work/Report.old");
    world.fileSystem.copyResults.push_back(Error{ErrorNumber::PathNotFound, QString()});
    QVERIFY(!world.run(RunBackup));
    QCOMPARE(world.boxTexts(),
             QStringList{QStringLiteral("Dataフォルダが見つかりません！もう一度､Dataフォルダを確認してみてください。")});
    QCOMPARE(world.fakes.programs.explorerStarts, 1);
}

QTEST_GUILESS_MAIN(tst_Backup)
#include "tst_backup.moc"
