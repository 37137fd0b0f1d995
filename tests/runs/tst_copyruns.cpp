// What the backup and the restore run share: order of reads, the error
// handler, completion, the history entry, the progress window's work.
#include "core/AppInfo.h"
#include "runs/Runs.h"
#include "fakes/Trees.h"
#include "runs/RunFakes.h"
#include "runs/HistoryLog.h"

#include <QtTest>

#include <optional>

using RunProcedure = void (*)(RunContext &);
Q_DECLARE_METATYPE(RunProcedure)

namespace {
const QString Unexpected = QStringLiteral(
    "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。");
const QString AddressCopied = QStringLiteral("メールアドレスは､クリップボードにコピーしておきます。");
const QString Overwrite = QStringLiteral("Dataフォルダと同名のフォルダが存在します。上書きしますか？");
const QStringList GeneralReport{Unexpected, AddressCopied};

struct Words {
    QString caption, done, sourceLabel, destinationLabel;
};
Words wordsOf(RunProcedure run)
{
    if (run == RunBackup)
        return {QStringLiteral("バックアップ中…"), QStringLiteral("バックアップが完了しました。"),
                QStringLiteral("  バックアップ元"), QStringLiteral("  バックアップ先")};
    return {QStringLiteral("復旧中…"), QStringLiteral("復旧が完了しました。"),
            QStringLiteral("  復旧元"), QStringLiteral("  復旧先")};
}

void addBothRuns()
{
    QTest::addColumn<RunProcedure>("run");
    QTest::newRow("RunBackup") << RunProcedure(RunBackup);
    QTest::newRow("RunHukyuu") << RunProcedure(RunHukyuu);
}

Error failure(int number) { return Error{number, QStringLiteral("scripted")}; }

// Every box was shown with the normal pointer.
bool pointerOffAtEveryBox(const FakeMessageBoxes &boxes)
{
    for (const FakeMessageBoxes::Box &box : boxes.boxes)
        if (box.busyPointerOn)
            return false;
    return true;
}
} // namespace

class tst_CopyRuns : public QObject {
    Q_OBJECT
private slots:
    void readsInTheOrderOfTheSteps_data() { addBothRuns(); }
    void readsInTheOrderOfTheSteps();
    void successRecordsFlushedCopyThenCompletes_data() { addBothRuns(); }
    void successRecordsFlushedCopyThenCompletes();
    void completion_data();
    void completion();
    void folderNotFound_data() { addBothRuns(); }
    void folderNotFound();
    void overwriteQuestionYesRepeatsOnce_data() { addBothRuns(); }
    void overwriteQuestionYesRepeatsOnce();
    void overwriteQuestionNo_data() { addBothRuns(); }
    void overwriteQuestionNo();
    void overwriteSilentWithSeparateSource_data();
    void overwriteSilentWithSeparateSource();
    void repeatedRunEndsAtOnce_data() { addBothRuns(); }
    void repeatedRunEndsAtOnce();
    void generalBranch_data();
    void generalBranch();
    void refusesFolderNamesThatLeaveTheDrive_data();
    void refusesFolderNamesThatLeaveTheDrive();
    void historyFileFailsAfterGoodCopy_data() { addBothRuns(); }
    void historyFileFailsAfterGoodCopy();
    void loadsSettingsDialogOnFirstOption_data() { addBothRuns(); }
    void loadsSettingsDialogOnFirstOption();
    void busyDuringTheCopy_data() { addBothRuns(); }
    void busyDuringTheCopy();
};

void tst_CopyRuns::readsInTheOrderOfTheSteps()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.options.end = 0;
    world.run(run);
    // Free space of Dir2's drive before the folder name, the folder name
    // before any option, paths before the copy, the flush before the history.
    QStringList expected{QStringLiteral("Dir2"),       QStringLiteral("FreeSpace E:"),
                         QStringLiteral("txtBackup"),  QStringLiteral("chkFolder1"),
                         QStringLiteral("Dir1"),       QStringLiteral("chkFolder2"),
                         QStringLiteral("chkUwa")};
    expected << QStringLiteral("CopyFolder");
    QCOMPARE(world.log.mid(0, expected.size()), expected);
    const qsizetype flush = world.log.indexOf(QRegularExpression(QStringLiteral("FlushToDevice .*")));
    QVERIFY(flush > world.log.indexOf(QStringLiteral("CopyFolder")));
    // What the copy wrote is read back once it is on the device.
    QCOMPARE(world.log.value(flush + 1), QStringLiteral("ReadBack ") + world.fileSystem.copies[0].destination
                                             + QStringLiteral("/a.txt"));
    QVERIFY(flush < world.log.indexOf(QStringLiteral("chkMsg2")));
}

void tst_CopyRuns::successRecordsFlushedCopyThenCompletes()
{
    QFETCH(RunProcedure, run);
    const Words words = wordsOf(run);
    RunWorld world;
    world.options.end = 0;
    world.options.uwa = 1;
    QVERIFY(!world.run(run));

    QCOMPARE(world.fileSystem.copies.size(), 1);
    QVERIFY(world.fileSystem.copies[0].options.overwrite);
    const QString destination = world.fileSystem.copies[0].destination;
    QVERIFY(world.log.contains(QStringLiteral("FlushToDevice ") + destination));
    // The copy went through the progress window with the run's caption,
    // and the window heard of the files and of the flush.
    FakeCopyProgressRunner &progress = world.fakes.copyProgress;
    QCOMPARE(progress.captions, QStringList{words.caption});
    QCOMPARE(progress.files, QStringList{QStringLiteral("/home/u/Data/a.txt")});
    QVERIFY(progress.flushed);

    const QString entry = QStringLiteral("2001/05/20 22:27:32") + words.sourceLabel
                          + QStringLiteral("/home/u/Data") + words.destinationLabel + destination;
    QCOMPARE(world.history.text, HistoryLog::Header + QStringLiteral("\r\n\r\n") + entry);
    QCOMPARE(world.historyFile(), world.history.text + QStringLiteral("\r\n"));

    QCOMPARE(world.boxTexts(), QStringList{words.done});
    const FakeMessageBoxes::Box &box = world.fakes.messageBoxes.boxes[0];
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QVERIFY(pointerOffAtEveryBox(world.fakes.messageBoxes));
    QVERIFY(!world.fakes.busyPointer.isBusy());
}

void tst_CopyRuns::completion_data()
{
    QTest::addColumn<RunProcedure>("run");
    QTest::addColumn<int>("msg2");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ended");
    for (RunProcedure run : {RunProcedure(RunBackup), RunProcedure(RunHukyuu)}) {
        const QString done = wordsOf(run).done;
        const char *name = run == RunBackup ? "backup" : "restore";
        QTest::addRow("%s message and end", name) << run << 1 << 1 << done + QStringLiteral("正常終了します。") << true;
        QTest::addRow("%s message only", name) << run << 1 << 0 << done << false;
        QTest::addRow("%s end only", name) << run << 0 << 1 << QString() << true;
        QTest::addRow("%s neither", name) << run << 0 << 0 << QString() << false;
        // Only exactly 1 is on.
        QTest::addRow("%s value 2 is off", name) << run << 2 << 2 << QString() << false;
    }
}

void tst_CopyRuns::completion()
{
    QFETCH(RunProcedure, run);
    QFETCH(int, msg2);
    QFETCH(int, end);
    QFETCH(QString, message);
    QFETCH(bool, ended);
    RunWorld world;
    world.options.msg2 = msg2;
    world.options.end = end;
    QCOMPARE(world.run(run), ended);
    QCOMPARE(world.boxTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(pointerOffAtEveryBox(world.fakes.messageBoxes));
    QVERIFY(!world.fakes.busyPointer.isBusy());
    // Every row records the run.
    QVERIFY(world.history.text.contains(QStringLiteral("/home/u/Data")));
}

void tst_CopyRuns::folderNotFound()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.fileSystem.copyResults.push_back(failure(ErrorNumber::PathNotFound));
    const QString historyBefore = world.history.text;
    QVERIFY(!world.run(run));
    QCOMPARE(world.boxTexts(),
             QStringList{QStringLiteral("Dataフォルダが見つかりません！もう一度､Dataフォルダを確認してみてください。")});
    const FakeMessageBoxes::Box &box = world.fakes.messageBoxes.boxes[0];
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QVERIFY(!box.busyPointerOn);
    QCOMPARE(world.fakes.programs.explorerStarts, 1);
    QCOMPARE(world.history.text, historyBefore);
    QCOMPARE(world.historyFile(), Trees::Missing);
    QCOMPARE(world.fakes.ender.ends, 0);
}

void tst_CopyRuns::overwriteQuestionYesRepeatsOnce()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.options.end = 0;
    world.fileSystem.copyResults.push_back(failure(ErrorNumber::FileAlreadyExists));
    world.fakes.messageBoxes.answerNext(MsgAnswer::Yes);
    QVERIFY(!world.run(run));

    QCOMPARE(world.boxTexts(), (QStringList{Overwrite, wordsOf(run).done}));
    const FakeMessageBoxes::Box &question = world.fakes.messageBoxes.boxes[0];
    QCOMPARE(question.buttons, MsgButtons::YesNo);
    QCOMPARE(question.icon, MsgIcon::Critical);
    QCOMPARE(question.title, QStringLiteral("上書き確認"));
    QVERIFY(pointerOffAtEveryBox(world.fakes.messageBoxes));
    // chkUwa switched on before the repeat, which copies with overwriting.
    QCOMPARE(world.options.uwa, 1);
    QCOMPARE(world.fileSystem.copies.size(), 2);
    QVERIFY(!world.fileSystem.copies[0].options.overwrite);
    QVERIFY(world.fileSystem.copies[1].options.overwrite);
    QVERIFY(world.log.indexOf(QStringLiteral("setChkUwa 1")) < world.log.lastIndexOf(QStringLiteral("Dir2")));
    QCOMPARE(world.history.text.count(QStringLiteral("/home/u/Data")), 1);
    QCOMPARE(world.historyFile().count(QStringLiteral("/home/u/Data")), 1);
}

void tst_CopyRuns::overwriteQuestionNo()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.fileSystem.copyResults.push_back(failure(ErrorNumber::FileAlreadyExists));
    world.fakes.messageBoxes.answerNext(MsgAnswer::No);
    const QString historyBefore = world.history.text;
    QVERIFY(!world.run(run));
    QCOMPARE(world.boxTexts(), QStringList{Overwrite});
    QCOMPARE(world.fileSystem.copies.size(), 1);
    QCOMPARE(world.options.uwa, 0);
    QVERIFY(!world.log.contains(QStringLiteral("setChkUwa 1")));
    QCOMPARE(world.history.text, historyBefore);
    QCOMPARE(world.historyFile(), Trees::Missing);
}

void tst_CopyRuns::overwriteSilentWithSeparateSource_data()
{
    QTest::addColumn<RunProcedure>("run");
    QTest::addColumn<int>("folder1");
    // The handler counts anything but exactly 0 as a separate source.
    QTest::newRow("backup, on") << RunProcedure(RunBackup) << 1;
    QTest::newRow("restore, on") << RunProcedure(RunHukyuu) << 1;
    QTest::newRow("restore, value 2") << RunProcedure(RunHukyuu) << 2;
}

void tst_CopyRuns::overwriteSilentWithSeparateSource()
{
    QFETCH(RunProcedure, run);
    QFETCH(int, folder1);
    RunWorld world;
    world.options.folder1 = folder1;
    world.options.folderPath1 = QStringLiteral("/home/u/Work");
    world.fileSystem.copyResults.push_back(failure(ErrorNumber::FileAlreadyExists));
    const QString historyBefore = world.history.text;
    QVERIFY(!world.run(run));
    QVERIFY(world.boxTexts().isEmpty());
    QCOMPARE(world.fileSystem.copies.size(), 1);
    QCOMPARE(world.history.text, historyBefore);
    QVERIFY(!world.fakes.busyPointer.isBusy());
}

void tst_CopyRuns::repeatedRunEndsAtOnce()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.options.msg2 = 0;
    world.fileSystem.copyResults.push_back(failure(ErrorNumber::FileAlreadyExists));
    world.fakes.messageBoxes.answerNext(MsgAnswer::Yes);
    QVERIFY(world.run(run));
    // The repeated run ended the program: nothing of the first run follows.
    QCOMPARE(world.fakes.ender.ends, 1);
    QCOMPARE(world.boxTexts(), QStringList{Overwrite});
    QCOMPARE(world.log.last(), QStringLiteral("chkEnd"));
    QVERIFY(!world.gate.busy());
}

void tst_CopyRuns::generalBranch_data()
{
    QTest::addColumn<RunProcedure>("run");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("number");
    for (RunProcedure run : {RunProcedure(RunBackup), RunProcedure(RunHukyuu)}) {
        const char *name = run == RunBackup ? "backup" : "restore";
        QTest::addRow("%s: drive not ready", name) << run << "free space" << ErrorNumber::DiskNotReady;
        QTest::addRow("%s: disk full", name) << run << "copy" << ErrorNumber::DiskFull;
        // The engine refuses a copy onto itself or into its own subtree.
        QTest::addRow("%s: onto itself", name) << run << "copy" << ErrorNumber::PathFileAccess;
        QTest::addRow("%s: flush fails", name) << run << "flush" << ErrorNumber::DeviceIO;
        QTest::addRow("%s: read back differs", name) << run << "read back" << ErrorNumber::DeviceIO;
    }
    QTest::addRow("backup: permission denied") << RunProcedure(RunBackup) << "copy" << ErrorNumber::PermissionDenied;
}

void tst_CopyRuns::generalBranch()
{
    QFETCH(RunProcedure, run);
    QFETCH(QString, where);
    QFETCH(int, number);
    RunWorld world;
    // The restores run as the timer starts them, where nobody may be at the screen.
    const bool byTimer = run == RunHukyuu;
    std::optional<RunGate::Hold> timer;
    if (byTimer)
        timer.emplace(world.gate, RunGate::By::Timer);
    ScriptedFileSystem &fs = world.fileSystem;
    if (where == QLatin1String("free space"))
        fs.freeSpace = failure(number);
    else if (where == QLatin1String("copy"))
        fs.copyResults.push_back(failure(number));
    else if (where == QLatin1String("flush"))
        fs.flushResult = failure(number);
    else
        fs.readBackResult = failure(number);
    const QString historyBefore = world.history.text;
    QVERIFY(!world.run(run));

    QCOMPARE(world.boxTexts(), GeneralReport);
    for (const FakeMessageBoxes::Box &box : world.fakes.messageBoxes.boxes) {
        QCOMPARE(box.buttons, MsgButtons::OK);
        QCOMPARE(box.icon, MsgIcon::None);
        QCOMPARE(box.title, AppInfo::Title);
        QVERIFY(!box.busyPointerOn);
    }
    QCOMPARE(world.fakes.clipboard.text, AppInfo::ContactAddress);
    QCOMPARE(world.history.text, historyBefore);
    QCOMPARE(world.historyFile(), Trees::Missing);
    QCOMPARE(world.fakes.programs.explorerStarts, 0);
    QCOMPARE(world.fakes.ender.ends, 0);
    // The boxes' text names no cause: their details and the run log keep it.
    const QString logFile = world.fakes.dataDirectory.stateDirectory() + QStringLiteral("/tandemix.log");
    QCOMPARE(world.fakes.messageBoxes.boxes.first().details,
             QStringLiteral("エラー番号: %1\nscripted\n記録: %2").arg(number).arg(logFile));
    QCOMPARE(world.fakes.messageBoxes.boxes.last().details, QString());
    QCOMPARE(world.fakes.notifications.notices,
             byTimer ? QStringList{AppInfo::Title + QStringLiteral("\nタイマーによる復旧が失敗しました: scripted")}
                     : QStringList());
    const QString runLog = QString::fromUtf8(Trees::readFile(logFile));
    QVERIFY2(runLog.startsWith(QStringLiteral("2001/05/20 22:27:32 %1 %2 ")
                                   .arg(run == RunBackup ? QStringLiteral("バックアップ") : QStringLiteral("復旧"))
                                   .arg(number))
                 && runLog.count(QLatin1Char('\n')) == 1,
             qPrintable(runLog));
    // A drive that fails stops the run before the folder name is read.
    if (where == QLatin1String("free space"))
        QVERIFY(!world.log.contains(QStringLiteral("txtBackup")));
}

void tst_CopyRuns::refusesFolderNamesThatLeaveTheDrive_data()
{
    QTest::addColumn<RunProcedure>("run");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<int>("folder1");
    QTest::addColumn<QString>("folderPath1");
    for (RunProcedure run : {RunProcedure(RunBackup), RunProcedure(RunHukyuu)}) {
        const char *name = run == RunBackup ? "backup" : "restore";
        QTest::addRow("%s: empty", name) << run << "" << 0 << "";
        QTest::addRow("%s: parent", name) << run << ".." << 0 << "";
        QTest::addRow("%s: through the parent", name) << run << "../etc" << 0 << "";
        QTest::addRow("%s: here", name) << run << "." << 0 << "";
        // A separate source whose base name is empty or climbs up.
        QTest::addRow("%s: source is the root", name) << run << "Data" << 1 << "/";
        QTest::addRow("%s: source ends in '.'", name) << run << "Data" << 1 << "/home/u/Work/.";
        QTest::addRow("%s: source ends in '..'", name) << run << "Data" << 1 << "/home/u/Work/..";
    }
}

void tst_CopyRuns::refusesFolderNamesThatLeaveTheDrive()
{
    QFETCH(RunProcedure, run);
    QFETCH(QString, folderName);
    QFETCH(int, folder1);
    QFETCH(QString, folderPath1);
    RunWorld world;
    world.mainWindow.folderName = folderName;
    world.options.folder1 = folder1;
    world.options.folderPath1 = folderPath1;
    QVERIFY(!world.run(run));
    QCOMPARE(world.boxTexts(), QStringList{QStringLiteral("フォルダ名を正しく入力してください。")});
    QCOMPARE(world.fakes.messageBoxes.boxes[0].icon, MsgIcon::Exclamation);
    QVERIFY(pointerOffAtEveryBox(world.fakes.messageBoxes));
    QVERIFY(world.fileSystem.copies.isEmpty());
    QVERIFY(world.fakes.copyProgress.captions.isEmpty());
    QCOMPARE(world.historyFile(), Trees::Missing);
}

void tst_CopyRuns::historyFileFailsAfterGoodCopy()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.fakes.makeDataDirectoryUnwritable();
    QVERIFY(!world.run(run));

    QCOMPARE(world.fileSystem.copies.size(), 1);
    QVERIFY(world.history.text.endsWith(wordsOf(run).destinationLabel + world.fileSystem.copies[0].destination));
    QCOMPARE(world.boxTexts(), GeneralReport);
    QVERIFY(pointerOffAtEveryBox(world.fakes.messageBoxes));
    QCOMPARE(world.fakes.clipboard.text, AppInfo::ContactAddress);
    QCOMPARE(world.fakes.programs.explorerStarts, 0);
    QCOMPARE(world.fakes.ender.ends, 0);
}

void tst_CopyRuns::loadsSettingsDialogOnFirstOption()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    // The dialog was never opened: the first option read loads the saved
    // options and the history from Riri.dat.
    const QString saved = HistoryLog::Header + QStringLiteral("\r\n2001/05/19 8:00:00  old entry\r\n");
    Trees::writeFile(world.fakes.dataDirectory.filePath(HistoryLog::FileName), saved.toUtf8());
    world.history.text.clear();
    world.options.msg2 = world.options.end = 0;
    world.options.onFirstRead = [&world] {
        world.log << QStringLiteral("settings dialog loaded");
        world.options.msg2 = 1;
        world.options.end = 0;
        world.history.text = HistoryLog::Load(world.fakes.dataDirectory).value();
    };
    QVERIFY(!world.run(run));

    QVERIFY(world.log.indexOf(QStringLiteral("txtBackup")) < world.log.indexOf(QStringLiteral("settings dialog loaded")));
    QCOMPARE(world.boxTexts(), QStringList{wordsOf(run).done});
    // The entry follows the loaded history after one empty line.
    QVERIFY(world.history.text.startsWith(saved + QStringLiteral("\r\n2001/05/20 22:27:32")));
    QCOMPARE(world.historyFile(), world.history.text + QStringLiteral("\r\n"));
}

// The pointer shows the copy; the gate keeps the timer from starting a run.
void tst_CopyRuns::busyDuringTheCopy()
{
    QFETCH(RunProcedure, run);
    RunWorld world;
    world.options.end = 0;
    bool gateBusy = false, pointerBusy = false;
    world.fileSystem.duringCopy = [&] {
        gateBusy = world.gate.busy();
        pointerBusy = world.fakes.busyPointer.isBusy();
    };
    QVERIFY(!world.gate.busy());
    QVERIFY(!world.run(run));
    QVERIFY(gateBusy);
    QVERIFY(pointerBusy);
    QVERIFY(!world.gate.busy());
    QVERIFY(!world.fakes.busyPointer.isBusy());
}

QTEST_GUILESS_MAIN(tst_CopyRuns)
#include "tst_copyruns.moc"
