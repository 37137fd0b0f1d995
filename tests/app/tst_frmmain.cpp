#include "app/frmMain.h"
#include "dialogs/frmAbout.h"
#include "fakes/ProgramFixture.h"
#include "fakes/TmpfsMount.h"
#include "fakes/Trees.h"
#include "settings/frmEstablish.h"
#include "widgets/DriveList.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <sys/stat.h>

namespace {

using Trees::readFile;
using Trees::writeFile;

const QString Default = QStringLiteral("TX(Tandemix)Ver.3");
const QString NotReady = QStringLiteral("デバイスの準備が出来ていません！");

QStringList itemTexts(const QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

struct Program : ProgramFixture {
    QStringList runs;

    // The main window, loaded; runs are recorded with the folder name they read.
    frmMain &main()
    {
        app.pageRuns = {[this](RunContext &run) { runs << "backup:" + run.mainWindow.txtBackupText(); },
                        [this](RunContext &run) { runs << "hukyuu:" + run.mainWindow.txtBackupText(); }};
        return app.frmMain();
    }
    template <typename W = QWidget>
    W *control(const char *name) { return main().window()->findChild<W *>(QLatin1String(name)); }
    QPushButton *cmdHenko() { return control<QPushButton>("cmdHenko"); }
    QLineEdit *txtBackup() { return control<QLineEdit>("txtBackup"); }
    DriveList *drive(int list) { return control<DriveList>(list == 1 ? "Drive1" : "Drive2"); }
    QString root(const QString &letter) const { return fake.drives.root(letter); }
    QString pathDat() const { return work.filePath(QStringLiteral("Path.dat")); }
};

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
private slots:
    void firstStartWithoutPathDat()
    {
        Program p;
        frmMain &form = p.main();
        QCOMPARE(p.txtBackup()->text(), Default);
        QVERIFY(!p.txtBackup()->isEnabled());
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("変更"));
        QCOMPARE(form.Dir1Drive().root, p.root("C"));
        QCOMPARE(form.Dir2Drive().root, p.root("C"));
        QCOMPARE(form.selectedPage(), 0);
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
        QVERIFY(!QFile::exists(p.pathDat()));

        p.cmdHenko()->click();
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("OK"));
        QVERIFY(p.txtBackup()->isEnabled());
        QVERIFY(!QFile::exists(p.pathDat()));
        p.cmdHenko()->click();
        QCOMPARE(readFile(p.pathDat()), QByteArray("TX(Tandemix)Ver.3\r\n"));
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("変更"));
        QVERIFY(!p.txtBackup()->isEnabled());
    }

    void pathDatAtLoad_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("foldersAtC");
        QTest::newRow("plain") << QByteArray("Docs\r\n") << "Docs" << true;
        QTest::newRow("comma ends the name") << QByteArray("Docs,old\r\n") << "Docs" << true;
        QTest::newRow("quotes dropped, comma kept") << QByteArray("\"My, Docs\"\r\n") << "My, Docs" << true;
        QTest::newRow("leading blanks skipped") << QByteArray("  Docs\r\n") << "Docs" << true;
        QTest::newRow("first line only") << QByteArray("Docs\r\nOther\r\n") << "Docs" << true;
        QTest::newRow("UTF-8") << QStringLiteral("仕事/文書\r\n").toUtf8() << "仕事/文書" << true;
        QTest::newRow("Shift-JIS") << readFile(QFINDTESTDATA("../data/shift-jis/Path.dat"))
                                   << "表計算ソフト" << true;
        QTest::newRow("zero bytes") << QByteArray() << Default << false;
        QTest::newRow("blank line only") << QByteArray("\r\n") << "" << true;
    }
    void pathDatAtLoad()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(bool, foldersAtC);
        Program p;
        writeFile(p.pathDat(), bytes);
        frmMain &form = p.main();
        QCOMPARE(p.txtBackup()->text(), name);
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
        // A file that cannot be read leaves both folders pointing nowhere.
        const QString folder = foldersAtC ? p.root("C") : QString();
        QCOMPARE(form.Dir1Drive().root, folder);
        QCOMPARE(form.Dir2Drive().root, folder);

        // Saving writes back the name as read, in the locale's encoding.
        p.cmdHenko()->click();
        p.cmdHenko()->click();
        QCOMPARE(readFile(p.pathDat()), name.toUtf8() + "\r\n");
    }

    // Neither blocks the start nor is read: a failed read, as for an
    // empty file.
    void pathDatThatIsNoFile_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("link to /dev/zero") << false;
    }
    void pathDatThatIsNoFile()
    {
        QFETCH(bool, fifo);
        Program p;
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(p.pathDat()).constData(), 0600), 0);
        else
            Trees::makeLink(QStringLiteral("/dev/zero"), p.pathDat());
        frmMain &form = p.main();
        form.Show();
        QVERIFY(form.window()->isVisible());
        QCOMPARE(p.txtBackup()->text(), Default);
        QCOMPARE(form.Dir1Drive().root, QString());
        QCOMPARE(form.Dir2Drive().root, QString());
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
    }

    void fullDiskKeepsPathDat()
    {
        Program p;
        const QString work = p.work.filePath(QStringLiteral("full"));
        const TmpfsMount full(work, "size=64k");
        if (!full.mounted())
            QSKIP("mounting a tmpfs is not permitted here");
        QVERIFY(QDir::setCurrent(work));
        const QString pathDat = work + QStringLiteral("/Path.dat");
        writeFile(pathDat, "Docs\r\n");
        full.fill();
        p.cmdHenko()->click();
        p.txtBackup()->setText(QStringLiteral("新しい名前"));
        p.cmdHenko()->click();
        QCOMPARE(p.fake.messageBoxes.boxes.size(), 1);
        QVERIFY(p.fake.messageBoxes.boxes.first().text.startsWith(QStringLiteral("フォルダ名を保存できませんでした。")));
        QCOMPARE(readFile(pathDat), QByteArray("Docs\r\n"));
    }

    void driveCUnusableAtLoad()
    {
        Program p;
        writeFile(p.pathDat(), "Docs\r\n");
        p.fake.drives.setReady("C", false);
        frmMain &form = p.main();
        QCOMPARE(form.Dir1Drive().root, QString());
        QCOMPARE(form.Dir2Drive().root, QString());
        QCOMPARE(p.txtBackup()->text(), Default);
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
    }

    void savingEmptyNameWritesOnlyLineEnd()
    {
        Program p;
        writeFile(p.pathDat(), "Docs\r\n");
        p.cmdHenko()->click();
        p.txtBackup()->clear();
        p.cmdHenko()->click();
        QCOMPARE(readFile(p.pathDat()), QByteArray("\r\n"));
        QVERIFY(!p.txtBackup()->isEnabled());
    }

    void saveFailureKeepsEditing()
    {
        Program p;
        p.main();
        // A folder in the way of the file: writing Path.dat is refused.
        QVERIFY(QDir(p.work.path()).mkdir(QStringLiteral("Path.dat")));
        p.cmdHenko()->click();
        p.txtBackup()->setText(QStringLiteral("新しい名前"));
        p.cmdHenko()->click();

        QCOMPARE(p.fake.messageBoxes.boxes.size(), 1);
        const FakeMessageBoxes::Box box = p.fake.messageBoxes.boxes.first();
        QVERIFY2(box.text.startsWith(QStringLiteral("フォルダ名を保存できませんでした。")), qPrintable(box.text));
        QVERIFY(box.text.contains(p.pathDat()));
        QCOMPARE(box.icon, MsgIcon::Exclamation);
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("OK"));
        QVERIFY(p.txtBackup()->isEnabled());
        QCOMPARE(p.txtBackup()->text(), QStringLiteral("新しい名前"));

        // Once the way is clear, the same press saves what was typed.
        QVERIFY(QDir(p.work.path()).rmdir(QStringLiteral("Path.dat")));
        p.cmdHenko()->click();
        QCOMPARE(readFile(p.pathDat()), QStringLiteral("新しい名前\r\n").toUtf8());
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("変更"));
    }

    void startRunsThePageWithTheTypedName_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("run");
        QTest::newRow("Backup page, button") << 0 << false << "backup:Typed";
        QTest::newRow("Backup page, Enter in the name") << 0 << true << "backup:Typed";
        QTest::newRow("Restore page, button") << 1 << false << "hukyuu:Typed";
        QTest::newRow("Restore page, Enter in the name") << 1 << true << "hukyuu:Typed";
    }
    void startRunsThePageWithTheTypedName()
    {
        QFETCH(int, page);
        QFETCH(bool, byEnter);
        QFETCH(QString, run);
        Program p;
        writeFile(p.pathDat(), "Old\r\n");
        p.main().Show();
        QVERIFY(QTest::qWaitForWindowExposed(p.main().window()));
        p.control<QTabWidget>("SSTab")->setCurrentIndex(page);
        p.cmdHenko()->click();
        p.txtBackup()->setText(QStringLiteral("Typed"));
        if (byEnter)
            QTest::keyClick(p.txtBackup(), Qt::Key_Return);
        else
            p.control<QPushButton>("cmdOK")->click();

        QCOMPARE(p.runs, QStringList{run});
        QCOMPARE(readFile(p.pathDat()), QByteArray("Old\r\n"));
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("OK"));
        QVERIFY(p.txtBackup()->isEnabled());
    }

    void readinessCheck_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("mediumArrivesAtBox"); // 0: never
        QTest::addColumn<bool>("startDriveGone");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("drivesShown"); // changes of the list, nested ones included

        const QStringList none, cancel{"Cancel"}, retry{"Retry"}, retryCancel{"Retry", "Cancel"};
        // Start drive E: (the working directory's drive), folders at C: from the load.
        QTest::newRow("source ready") << 1 << none << 0 << false << "D" << "D" << 1;
        QTest::newRow("source Cancel: back to start, checked again")
            << 1 << cancel << 0 << false << "E" << "E" << 2;
        QTest::newRow("source Retry after the medium arrives")
            << 1 << retry << 1 << false << "D" << "D" << 1;
        QTest::newRow("source Retry, still not ready, Cancel")
            << 1 << retryCancel << 0 << false << "E" << "E" << 2;
        QTest::newRow("source Cancel, start drive gone: falls back to C")
            << 1 << cancel << 0 << true << "C" << "C" << 2;
        QTest::newRow("destination ready") << 2 << none << 0 << false << "D" << "D" << 1;
        QTest::newRow("destination Cancel: stays, folder kept")
            << 2 << cancel << 0 << false << "D" << "C" << 1;
        QTest::newRow("destination Retry after the medium arrives: back to start")
            << 2 << retry << 1 << false << "E" << "E" << 2;
        QTest::newRow("destination Retry, still not ready, Cancel: back to start")
            << 2 << retryCancel << 0 << false << "E" << "E" << 2;
        QTest::newRow("destination Retry, start drive gone: falls back to C")
            << 2 << retry << 1 << true << "C" << "C" << 2;
    }
    void readinessCheck()
    {
        QFETCH(int, list);
        QFETCH(QStringList, answers);
        QFETCH(int, mediumArrivesAtBox);
        QFETCH(bool, startDriveGone);
        QFETCH(QString, shows);
        QFETCH(QString, folder);
        QFETCH(int, drivesShown);

        Program p;
        p.fake.drives.addDrive("D", "USBSTICK");
        p.fake.drives.addDrive("E", "DATA");
        p.fake.drives.setCurrentDrive("E:");
        p.fake.drives.setReady("D", answers.isEmpty());
        for (const QString &answer : answers)
            p.fake.messageBoxes.answerNext(answer == "Retry" ? MsgAnswer::Retry : MsgAnswer::Cancel);
        p.fake.messageBoxes.whileShown = [&](int box) {
            if (box == mediumArrivesAtBox)
                p.fake.drives.setReady("D", true);
        };
        frmMain &form = p.main();
        DriveList *drives = p.drive(list);
        QCOMPARE(drives->drive().left(2), QStringLiteral("E:"));
        if (startDriveGone)
            p.fake.drives.removeDrive("E");
        QSignalSpy changes(drives, &DriveList::driveChanged);

        QVERIFY(drives->setDrive("D"));

        QCOMPARE(drives->drive().left(1), shows);
        QCOMPARE(list == 1 ? form.Dir1Drive().root : form.Dir2Drive().root, p.root(folder));
        QCOMPARE(changes.size(), drivesShown);
        QCOMPARE(p.fake.messageBoxes.boxes.size(), answers.size());
        for (const FakeMessageBoxes::Box &box : p.fake.messageBoxes.boxes) {
            QCOMPARE(box.text, NotReady);
            QCOMPARE(box.title, QStringLiteral("BK(Brightkeep)Vr.2"));
            QCOMPARE(box.buttons, MsgButtons::RetryCancel);
            QCOMPARE(box.icon, MsgIcon::Exclamation);
        }
        // The other list and its folder are left alone.
        QCOMPARE(p.drive(3 - list)->drive().left(1), QStringLiteral("E"));
        QCOMPARE(list == 1 ? form.Dir2Drive().root : form.Dir1Drive().root, p.root("C"));
    }

    // Drives D:, E: and F: are mounted; the destination list shows E:. The
    // lists hear of mounts through the watch, without being opened.
    void mountsComingAndGoing_data()
    {
        QTest::addColumn<QString>("leaves");
        QTest::addColumn<QString>("arrives");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("offered");
        const QString c = "C: [ホーム]", d = "D: [USBSTICK]", e = "E: [DATA]", f = "F: [BACKUP]";
        QTest::newRow("a drive before the shown one leaves") << "D" << "" << "" << QStringList{c, e, f};
        QTest::newRow("a drive after the shown one leaves") << "F" << "" << "" << QStringList{c, d, e};
        QTest::newRow("the shown drive leaves: its entry stays")
            << "E" << "" << "" << QStringList{c, d, e, f};
        QTest::newRow("a drive arrives") << "" << "G" << "NEW" << QStringList{c, d, e, f, "G: [NEW]"};
        QTest::newRow("the shown drive comes back: ready again")
            << "E" << "E" << "DATA" << QStringList{c, d, e, f};
        QTest::newRow("another drive comes under the shown one's letter: it waits")
            << "E" << "E" << "NEW" << QStringList{c, d, e, f};
    }
    void mountsComingAndGoing()
    {
        QFETCH(QString, leaves);
        QFETCH(QString, arrives);
        QFETCH(QString, label);
        QFETCH(QStringList, offered);
        Program p;
        p.fake.drives.addDrive("D", "USBSTICK");
        p.fake.drives.addDrive("E", "DATA");
        p.fake.drives.addDrive("F", "BACKUP");
        frmMain &form = p.main();
        DriveList *list = p.drive(2);
        QVERIFY(list->setDrive("E"));
        const DriveEntry chosen = form.Dir2Drive();
        QSignalSpy changes(list, &DriveList::driveChanged);
        // Heard after the list, which took the news first; earlier news is
        // delivered before.
        QCoreApplication::sendPostedEvents();
        QSignalSpy heard(&p.fake.drives.mounts, &MountWatch::changed);

        if (!leaves.isEmpty())
            p.fake.drives.removeDrive(leaves);
        if (!arrives.isEmpty())
            p.fake.drives.addDrive(arrives, label);

        QTRY_COMPARE(heard.size(), qsizetype(!leaves.isEmpty() + !arrives.isEmpty()));
        QCOMPARE(itemTexts(list), offered);
        QCOMPARE(list->drive(), QStringLiteral("E: [DATA]"));
        QVERIFY(form.Dir2Drive().sameDrive(chosen));
        QCOMPARE(p.fake.fileSystem.IsReady(form.Dir2Drive()), leaves != "E" || label == "DATA");
        QCOMPARE(changes.size(), 0);
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
    }

    // The shown drive has left; picking its entry again is a change, and the
    // answers work as for any drive that is not ready.
    void pickingALeftDriveAgain_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<QString>("folder"); // empty: the left drive's, kept
        QTest::newRow("source Cancel: back to the start drive")
            << 1 << QStringList{"Cancel"} << "C: [ホーム]" << "C";
        QTest::newRow("destination Cancel: stays, folder kept")
            << 2 << QStringList{"Cancel"} << "D: [USBSTICK]" << "";
        QTest::newRow("destination Retry: still not ready, then the start drive")
            << 2 << QStringList{"Retry", "Cancel"} << "C: [ホーム]" << "C";
    }
    void pickingALeftDriveAgain()
    {
        QFETCH(int, list);
        QFETCH(QStringList, answers);
        QFETCH(QString, shows);
        QFETCH(QString, folder);
        Program p;
        p.fake.drives.addDrive("D", "USBSTICK");
        frmMain &form = p.main();
        DriveList *drives = p.drive(list);
        QVERIFY(drives->setDrive("D"));
        const QString leftRoot = p.root("D");
        p.fake.drives.removeDrive("D");
        // A new drive comes; the left one's letter stays reserved.
        p.fake.drives.addDrive("E", "OTHER");
        QTRY_VERIFY(itemTexts(drives).contains("E: [OTHER]"));
        QCOMPARE(drives->drive(), QStringLiteral("D: [USBSTICK]"));
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
        for (const QString &answer : answers)
            p.fake.messageBoxes.answerNext(answer == "Retry" ? MsgAnswer::Retry : MsgAnswer::Cancel);

        QComboBox *shown = drives;
        shown->showPopup();
        QTest::keyClick(shown->view(), Qt::Key_Return);

        QCOMPARE(p.fake.messageBoxes.boxes.size(), answers.size());
        QCOMPARE(p.fake.messageBoxes.boxes.first().text, NotReady);
        QCOMPARE(drives->drive(), shows);
        const QString dir = list == 1 ? form.Dir1Drive().root : form.Dir2Drive().root;
        QCOMPARE(dir, folder.isEmpty() ? leftRoot : p.root(folder));
    }

    // The stick at D: is pulled and another comes; before the list hears
    // of it, the user presses "D" in the destination list.
    void entryPickedByKeyAfterItsDriveLeft()
    {
        Program p;
        p.fake.drives.addDrive("D", "USBSTICK");
        frmMain &form = p.main();
        DriveList *list = p.drive(2);
        p.fake.drives.removeDrive("D");
        p.fake.drives.addDrive("E", "OTHER");
        p.fake.messageBoxes.answerNext(MsgAnswer::Cancel);

        QTest::keyClick(list, Qt::Key_D);

        QCOMPARE(p.fake.messageBoxes.texts(), QStringList{NotReady});
        QCOMPARE(list->drive(), QStringLiteral("D: [USBSTICK]"));
        QCOMPARE(form.Dir2Drive().root, p.root("C"));
    }

    void versionRoundTripLoadsAfresh()
    {
        Program p;
        p.fake.drives.addDrive("D", "USBSTICK");
        writeFile(p.pathDat(), "Docs\r\n");
        frmMain &form = p.main();
        form.Show();
        p.control<QTabWidget>("SSTab")->setCurrentIndex(1);
        p.cmdHenko()->click();
        p.txtBackup()->setText(QStringLiteral("Unsaved"));
        QVERIFY(p.drive(1)->setDrive("D"));
        QCOMPARE(form.Dir1Drive().root, p.root("D"));

        p.control<QPushButton>("cmdVr")->click();
        QVERIFY(!form.isLoaded());
        QVERIFY(p.app.frmAbout().isVisible());
        QCOMPARE(p.lastWindowGone, 0);

        // The version dialog's OK shows the main window again.
        p.app.frmMain().Show();
        p.app.frmAbout().Unload();
        QCOMPARE(p.lastWindowGone, 0);
        QCOMPARE(form.selectedPage(), 0);
        QCOMPARE(form.txtBackupText(), QStringLiteral("Docs"));
        QVERIFY(!p.txtBackup()->isEnabled());
        QCOMPARE(p.cmdHenko()->text(), QStringLiteral("変更"));
        QCOMPARE(p.drive(1)->drive().left(2), QStringLiteral("C:"));
        QCOMPARE(form.Dir1Drive().root, p.root("C"));
        QCOMPARE(form.Dir2Drive().root, p.root("C"));
        QCOMPARE(readFile(p.pathDat()), QByteArray("Docs\r\n"));
    }

    void settingsShownOwnedByTheWindow()
    {
        Program p;
        frmMain &form = p.main();
        form.Show();
        p.control<QPushButton>("Command1")->click();
        QVERIFY(p.app.frmEstablish().isVisible());
        QCOMPARE(p.app.frmEstablish().owner(), &form);
        QVERIFY(form.isVisible());
    }

    void cancelEndsAtOnceWithoutSaving()
    {
        Program p;
        writeFile(p.pathDat(), "Old\r\n");
        p.main().Show();
        p.cmdHenko()->click();
        p.txtBackup()->setText(QStringLiteral("Edited"));
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, p.control<QPushButton>("cmdCancel")->click());
        QCOMPARE(p.fake.ender.ends, 1);
        QCOMPARE(readFile(p.pathDat()), QByteArray("Old\r\n"));
        QVERIFY(p.fake.messageBoxes.boxes.isEmpty());
        QVERIFY(p.runs.isEmpty());
    }

    void window()
    {
        Program p;
        QWidget *window = p.main().window();
        QCOMPARE(window->windowTitle(), Default);
        QCOMPARE(window->size(), QSize(414, 340)); // 6210 x 5100 twips
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));
        QVERIFY(p.control<QPushButton>("cmdOK")->isDefault());
        const QTabWidget *tabs = p.control<QTabWidget>("SSTab");
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("バックアップ(&B)"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("復旧(&H)"));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("cmdOK") << "cmdOK" << "開始(&O)" << "指定先に､バックアップを開始します。";
        QTest::newRow("cmdCancel") << "cmdCancel" << "中止(&C)" << "プログラムの終了です。";
        QTest::newRow("cmdVr") << "cmdVr" << "バージョン情報(&V)" << "バージョン情報です。";
        QTest::newRow("Command1") << "Command1" << "詳細設定(&S)" << "";
        QTest::newRow("cmdHenko") << "cmdHenko" << "変更" << "";
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        Program p;
        const QPushButton *b = p.control<QPushButton>(name.toLatin1().constData());
        QVERIFY(b);
        QCOMPARE(b->text(), caption);
        QCOMPARE(b->toolTip(), toolTip);
        QVERIFY(b->isEnabled());
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<bool>("exact"); // one-line text controls may grow, centred on their row
        QTest::newRow("SSTab") << "SSTab" << QRect(0, 0, 6195, 4095) << true;
        QTest::newRow("cmdOK") << "cmdOK" << QRect(360, 4320, 1575, 550) << true;
        QTest::newRow("cmdVr") << "cmdVr" << QRect(4440, 4320, 1575, 550) << true;
        QTest::newRow("cmdHenko") << "cmdHenko" << QRect(4680, 2470, 855, 375) << true;
        QTest::newRow("Command1") << "Command1" << QRect(2520, 3360, 1215, 495) << true;
        QTest::newRow("lblSetsumei3") << "lblSetsumei3" << QRect(480, 1440, 1935, 615) << true;
        QTest::newRow("txtBackup") << "txtBackup" << QRect(2400, 2500, 2175, 270) << false;
        QTest::newRow("Drive2") << "Drive2" << QRect(3720, 960, 1935, 300) << false;
        QTest::newRow("Label1") << "Label1" << QRect(240, 2520, 2085, 180) << false;
    }
    void geometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QFETCH(bool, exact);
        Program p;
        const QWidget *w = p.control(name.toLatin1().constData());
        QVERIFY(w);
        const QRect px(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                       qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
        const QRect at(w->mapTo(w->window(), QPoint(0, 0)), w->size());
        if (exact) {
            QCOMPARE(at, px);
            return;
        }
        QCOMPARE(at.x(), px.x());
        QCOMPARE(at.width(), px.width());
        QVERIFY(at.height() >= px.height());
        QVERIFY2(qAbs(at.center().y() - px.center().y()) <= 1, qPrintable(QStringLiteral("%1 vs %2")
                                                                   .arg(at.center().y()).arg(px.center().y())));
    }

    void captionsFit()
    {
        Program p;
        p.main().Show();
        QVERIFY(QTest::qWaitForWindowExposed(p.main().window()));
        for (const char *name : {"Label1", "Label2"}) {
            const QLabel *label = p.control<QLabel>(name);
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), name);
        }
        for (const char *name : {"cmdOK", "cmdCancel", "cmdVr", "Command1", "cmdHenko"}) {
            const QPushButton *b = p.control<QPushButton>(name);
            const QString shown = QString(b->text()).remove(QLatin1Char('&'));
            QVERIFY2(b->fontMetrics().horizontalAdvance(shown) < b->width(), name);
        }
    }

    void tabOrder()
    {
        Program p;
        p.main().Show();
        QVERIFY(QTest::qWaitForWindowExposed(p.main().window()));
        QWidget *first = p.control("cmdOK");
        QStringList order;
        QWidget *w = first;
        do {
            // Hidden widgets and those that hand their focus to a proxy are no stops.
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isVisible())
                order << (qobject_cast<QTabBar *>(w) ? w->parentWidget()->objectName() : w->objectName());
            w = w->nextInFocusChain();
        } while (w != first);
        QCOMPARE(order, (QStringList{"cmdOK", "cmdCancel", "cmdVr", "Command1", "SSTab", "Drive1",
                                     "Drive2", "txtBackup", "cmdHenko"}));
    }

    void labelsShowWithTheirPage()
    {
        Program p;
        QTabWidget *tabs = p.control<QTabWidget>("SSTab");
        const QStringList page0{"lblSetsumei1", "lblSetsumei2", "Label1"};
        const QStringList page1{"lblSetsumei3", "lblSetsumei4", "Label2"};
        QCOMPARE(p.control<QLabel>("lblSetsumei1")->text(),
                 QStringLiteral("バックアップする元のドライブを指定してください。"));
        QCOMPARE(p.control<QLabel>("lblSetsumei4")->text(), QStringLiteral("復旧先ドライブを指定してください。"));
        for (int page : {0, 1, 0}) {
            tabs->setCurrentIndex(page);
            for (const QString &name : page0)
                QCOMPARE(!p.control(name.toLatin1().constData())->isHidden(), page == 0);
            for (const QString &name : page1)
                QCOMPARE(!p.control(name.toLatin1().constData())->isHidden(), page == 1);
            // The controls over the tab control belong to the window: always there.
            QVERIFY(!p.txtBackup()->isHidden());
            QVERIFY(!p.drive(1)->isHidden());
        }
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
