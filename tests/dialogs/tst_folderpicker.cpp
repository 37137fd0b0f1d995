#include "app/frmMain.h"
#include "core/AppInfo.h"
#include "dialogs/frmCopy.h"
#include "fakes/ProgramFixture.h"
#include "settings/frmEstablish.h"
#include "widgets/DirectoryList.h"
#include "widgets/DriveList.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const QString NotReady =
    QStringLiteral("デバイスの準備が出来ていません！！　準備が出来てから､再度実行してください。");

struct PickerControls {
    QLineEdit *txtFileName;
    QPushButton *cmdOpen;
    QPushButton *cmdExit;
    DriveList *Drive1;
    DirectoryList *Dir1;
};

PickerControls controlsOf(Form &picker)
{
    QWidget *w = picker.window();
    return {w->findChild<QLineEdit *>("txtFileName"), w->findChild<QPushButton *>("cmdOpen"),
            w->findChild<QPushButton *>("cmdExit"), w->findChild<DriveList *>("Drive1"),
            w->findChild<DirectoryList *>("Dir1")};
}

QString driveLetter(const DriveList *list)
{
    return list->drive().left(2);
}

// Only the drives named, so C: can be missing; the last is the current drive.
void onlyDrives(FakeDriveTable &drives, const QStringList &letters)
{
    drives.removeDrive("C");
    for (const QString &letter : letters)
        drives.addDrive(letter, letter);
    drives.setCurrentDrive(letters.last() + ":");
}
} // namespace

// The two folder pickers: the drive → folder → path box chain, its
// fall-backs, and what OK and "閉じる" hand back to the settings dialog.
class TestFolderPicker : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowMatchesItsTwin_data();
    void windowMatchesItsTwin();
    void accessKeyFocusesThePathBox();

    void openingMovesToCWithTheChainNested();
    void openingOnCLeavesThePathBoxEmpty();
    void driveChangeRunsTheChainInOrder();
    void notReadyDriveGoesBackToC();
    void leftDriveOpensNoOtherDrive();
    void notReadyCAtOpeningAsksOnce();
    void missingCFallsBackToA();
    void neitherCNorAEndsTheProgram();

    void typedPathIsWrittenExactly();
    void emptyPathBoxHandsBackTheLastSelection();
    void okBringsSettingsForwardOnlyForTheDestination_data();
    void okBringsSettingsForwardOnlyForTheDestination();
    void closeWritesNothing();
    void bothPickersOpenWriteTheirOwnFields();

private:
    std::unique_ptr<ProgramFixture> m_p;
    // Into m_p, for short.
    AppContext *m_app = nullptr;
    FakePlatform *m_fake = nullptr;
    QString m_rootC, m_rootD;
};

void TestFolderPicker::init()
{
    m_p = std::make_unique<ProgramFixture>();
    m_app = &m_p->app;
    m_fake = &m_p->fake;
    m_rootC = m_fake->drives.root("C");
    m_rootD = m_fake->drives.addDrive("D", "DATA");
    QVERIFY(QDir(m_rootC).mkpath("Docs/Work"));
    // A visible main window keeps the program alive while pickers come and go.
    m_app->frmMain().Show();
}

void TestFolderPicker::cleanup()
{
    m_p.reset();
}

void TestFolderPicker::windowMatchesItsTwin_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("txtFileName");
    QTest::addColumn<QRect>("cmdOpen");
    QTest::addColumn<QRect>("cmdExit");
    QTest::addColumn<QRect>("Dir1");
    // Twips / 15.
    QTest::newRow("frmCopy1") << 1 << "バックアップ先指定" << QSize(438, 303) << QRect(120, 16, 297, 18)
                              << QRect(336, 112, 81, 33) << QRect(336, 200, 81, 33)
                              << QRect(8, 96, 289, 188);
    QTest::newRow("frmCopy2") << 2 << "バックアップ元指定" << QSize(438, 329) << QRect(120, 16, 289, 18)
                              << QRect(336, 136, 81, 33) << QRect(336, 240, 81, 33)
                              << QRect(8, 96, 289, 216);
}

void TestFolderPicker::windowMatchesItsTwin()
{
    QFETCH(int, which);
    Form &picker = which == 1 ? static_cast<Form &>(m_app->frmCopy1()) : m_app->frmCopy2();
    picker.Show(&m_app->frmEstablish());
    QWidget *w = picker.window();
    QTEST(w->windowTitle(), "title");
    QTEST(w->size(), "size");
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QCOMPARE(w->windowType(), Qt::Tool);
    QVERIFY(!(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(w->parentWidget(), m_app->frmEstablish().window());

    const PickerControls c = controlsOf(picker);
    QTEST(c.txtFileName->geometry(), "txtFileName");
    QTEST(c.cmdOpen->geometry(), "cmdOpen");
    QTEST(c.cmdExit->geometry(), "cmdExit");
    QTEST(c.Dir1->geometry(), "Dir1");
    QCOMPARE(c.Drive1->geometry(), QRect(8, 64, 289, 20));
    QCOMPARE(w->findChild<QLabel *>("Label1")->text(), QStringLiteral("ファイル名(&N)"));
    QCOMPARE(c.cmdOpen->text(), QStringLiteral("OK"));
    QCOMPARE(c.cmdExit->text(), QStringLiteral("閉じる"));
    QVERIFY(c.cmdOpen->isDefault());
    QVERIFY(!c.cmdExit->isDefault());
    // Tab order: path box, OK, 閉じる, drive list, directory list.
    QCOMPARE(c.txtFileName->nextInFocusChain(), c.cmdOpen);
    QCOMPARE(c.cmdOpen->nextInFocusChain(), c.cmdExit);
    QCOMPARE(c.cmdExit->nextInFocusChain(), c.Drive1);
    QCOMPARE(c.Drive1->nextInFocusChain(), c.Dir1);
}

void TestFolderPicker::accessKeyFocusesThePathBox()
{
    m_app->frmCopy1().Show(&m_app->frmEstablish());
    QWidget *w = m_app->frmCopy1().window();
    const PickerControls c = controlsOf(m_app->frmCopy1());
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    c.cmdExit->setFocus();
    QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), c.txtFileName);
}

void TestFolderPicker::openingMovesToCWithTheChainNested()
{
    m_fake->drives.setCurrentDrive("D:");
    m_app->frmCopy2().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy2());
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("C:"));
    QCOMPARE(c.Dir1->path(), m_rootC);
    QCOMPARE(c.txtFileName->text(), m_rootC);
    QCOMPARE(m_app->frmCopy2().strFileName(), m_rootC);
    QVERIFY(m_fake->messageBoxes.boxes.isEmpty());
}

void TestFolderPicker::openingOnCLeavesThePathBoxEmpty()
{
    m_app->frmCopy2().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy2());
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("C:"));
    QCOMPARE(c.Dir1->path(), QDir::cleanPath(QDir::currentPath()));
    QCOMPARE(c.txtFileName->text(), QString());
    QCOMPARE(m_app->frmCopy2().strFileName(), QString());
}

void TestFolderPicker::driveChangeRunsTheChainInOrder()
{
    m_app->frmCopy1().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy1());
    // These observers are connected after the picker's handlers, so each
    // logs once its handler has returned: the innermost change logs first.
    QStringList log;
    connect(c.Drive1, &DriveList::driveChanged, this, [&] { log << "Drive1 " + c.txtFileName->text(); });
    connect(c.Dir1, &DirectoryList::pathChanged, this, [&] { log << "Dir1 " + c.txtFileName->text(); });
    connect(c.txtFileName, &QLineEdit::textChanged, this,
            [&] { log << "txtFileName " + m_app->frmCopy1().strFileName(); });

    QVERIFY(c.Drive1->setDrive("D:"));
    QCOMPARE(log, (QStringList{"txtFileName " + m_rootD, "Dir1 " + m_rootD, "Drive1 " + m_rootD}));

    log.clear();
    QVERIFY(c.Drive1->setDrive("C:"));
    c.Dir1->setCurrentItem(c.Dir1->findItems("Docs", Qt::MatchRecursive).value(0));
    QTest::keyClick(c.Dir1, Qt::Key_Return);
    QCOMPARE(log.last(), "Dir1 " + m_rootC + "Docs");
    QCOMPARE(m_app->frmCopy1().strFileName(), m_rootC + "Docs");
}

void TestFolderPicker::notReadyDriveGoesBackToC()
{
    m_fake->drives.setCurrentDrive("D:");
    m_app->frmCopy1().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy1());
    c.Dir1->setCurrentItem(c.Dir1->findItems("Docs", Qt::MatchRecursive).value(0));
    QTest::keyClick(c.Dir1, Qt::Key_Return);
    m_fake->drives.setReady("D", false);

    QVERIFY(c.Drive1->setDrive("D:"));
    QCOMPARE(m_fake->messageBoxes.texts(), QStringList{NotReady});
    const auto &box = m_fake->messageBoxes.boxes.first();
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("C:"));
    QCOMPARE(c.Dir1->path(), m_rootC);
    QCOMPARE(c.txtFileName->text(), m_rootC);
}

// The stick at D: is pulled and another takes D:; before the picker's list
// hears of it, the user presses "D".
void TestFolderPicker::leftDriveOpensNoOtherDrive()
{
    m_app->frmCopy1().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy1());
    m_fake->drives.removeDrive("D");
    m_fake->drives.addDrive("D", "OTHER");

    QTest::keyClick(c.Drive1, Qt::Key_D);

    QCOMPARE(m_fake->messageBoxes.texts(), QStringList{NotReady});
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("C:"));
    QVERIFY(!m_app->frmCopy1().strFileName().startsWith(m_rootD));
}

void TestFolderPicker::notReadyCAtOpeningAsksOnce()
{
    m_fake->drives.setCurrentDrive("D:");
    m_fake->drives.setReady("C", false);
    m_app->frmCopy2().Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(m_app->frmCopy2());
    QCOMPARE(m_fake->messageBoxes.texts(), QStringList{NotReady});
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("C:"));
    QCOMPARE(c.txtFileName->text(), QString());
    QCOMPARE(m_fake->ender.ends, 0);
}

void TestFolderPicker::missingCFallsBackToA()
{
    ProgramFixture p;
    FakeDriveTable &drives = p.fake.drives;
    onlyDrives(drives, {"A", "D", "E"});
    AppContext &app = p.app;

    // At opening: no C:, so A:.
    app.frmCopy2().Show(&app.frmEstablish());
    const PickerControls c = controlsOf(app.frmCopy2());
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("A:"));
    QCOMPARE(c.txtFileName->text(), drives.root("A"));

    // After a drive that is not ready: no C: to go back to, so A:.
    QVERIFY(c.Drive1->setDrive("D:"));
    drives.setReady("E", false);
    QVERIFY(c.Drive1->setDrive("E:"));
    QCOMPARE(p.fake.messageBoxes.texts(), QStringList{NotReady});
    QCOMPARE(driveLetter(c.Drive1), QStringLiteral("A:"));
    QCOMPARE(c.txtFileName->text(), drives.root("A"));
}

void TestFolderPicker::neitherCNorAEndsTheProgram()
{
    ProgramFixture p;
    onlyDrives(p.fake.drives, {"D", "E"});
    const FakePlatform &f = p.fake;

    QVERIFY_THROWS_EXCEPTION(ProgramEnded, p.app.frmCopy1());
    QCOMPARE(f.messageBoxes.texts(),
             (QStringList{"エラーが発生しました！！",
                          "原因がわかる場合は解決して､わからない場合は､作者に知らせてください。",
                          "メールアドレスは､クリップボードにコピーしておきます。"}));
    for (const auto &box : f.messageBoxes.boxes) {
        QCOMPARE(box.buttons, MsgButtons::OK);
        QCOMPARE(box.icon, MsgIcon::None);
        QCOMPARE(box.title, AppInfo::Title);
    }
    QCOMPARE(f.clipboard.text, AppInfo::ContactAddress);
    QCOMPARE(f.ender.ends, 1);
}

void TestFolderPicker::typedPathIsWrittenExactly()
{
    m_app->frmEstablish().Show();
    m_app->frmEstablish().setTxtFolderPath1("before");
    frmCopy2 &picker = m_app->frmCopy2();
    picker.Show(&m_app->frmEstablish());
    const PickerControls c = controlsOf(picker);
    const QString typed = QStringLiteral("/no/such/フォルダ ");
    for (const QChar ch : typed)
        QTest::sendKeyEvent(QTest::Click, c.txtFileName, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QTest::keyClick(c.txtFileName, Qt::Key_Return);
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), typed);
    QVERIFY(!picker.isLoaded());
}

void TestFolderPicker::emptyPathBoxHandsBackTheLastSelection()
{
    m_app->frmEstablish().Show();
    frmCopy2 &picker = m_app->frmCopy2();

    // Never used: the empty selection is written.
    m_app->frmEstablish().setTxtFolderPath1("before");
    picker.Show(&m_app->frmEstablish());
    controlsOf(picker).cmdOpen->click();
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), QString());

    // A folder picked, then the picker opened afresh with its box empty.
    picker.Show(&m_app->frmEstablish());
    QVERIFY(controlsOf(picker).Drive1->setDrive("D:"));
    QVERIFY(controlsOf(picker).Drive1->setDrive("C:"));
    controlsOf(picker).cmdOpen->click();
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), m_rootC);

    m_app->frmEstablish().setTxtFolderPath1("changed since");
    picker.Show(&m_app->frmEstablish());
    QCOMPARE(controlsOf(picker).txtFileName->text(), QString());
    controlsOf(picker).cmdOpen->click();
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), m_rootC);
}

void TestFolderPicker::okBringsSettingsForwardOnlyForTheDestination_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("settingsShown");
    QTest::newRow("frmCopy1") << 1 << true;
    QTest::newRow("frmCopy2") << 2 << false;
}

void TestFolderPicker::okBringsSettingsForwardOnlyForTheDestination()
{
    QFETCH(int, which);
    Form &picker = which == 1 ? static_cast<Form &>(m_app->frmCopy1()) : m_app->frmCopy2();
    picker.Show(&m_app->frmEstablish());
    QVERIFY(!m_app->frmEstablish().isVisible());
    controlsOf(picker).txtFileName->setText("/picked");
    controlsOf(picker).cmdOpen->click();
    QTEST(m_app->frmEstablish().isVisible(), "settingsShown");
    QCOMPARE(which == 1 ? m_app->frmEstablish().txtFolderPath2()
                        : m_app->frmEstablish().txtFolderPath1(),
             QStringLiteral("/picked"));
    QVERIFY(!picker.isLoaded());
}

void TestFolderPicker::closeWritesNothing()
{
    m_app->frmEstablish().setTxtFolderPath2("kept");
    frmCopy1 &picker = m_app->frmCopy1();
    picker.Show(&m_app->frmEstablish());
    controlsOf(picker).txtFileName->setText("/picked");
    controlsOf(picker).cmdExit->click();
    QVERIFY(m_app->frmEstablish().isVisible());
    QCOMPARE(m_app->frmEstablish().txtFolderPath2(), QStringLiteral("kept"));
    QVERIFY(!picker.isLoaded());
    // The selection itself is remembered for the next OK.
    QCOMPARE(picker.strFileName(), QStringLiteral("/picked"));
}

void TestFolderPicker::bothPickersOpenWriteTheirOwnFields()
{
    m_app->frmEstablish().Show();
    m_app->frmEstablish().setTxtFolderPath1("keep1");
    m_app->frmEstablish().setTxtFolderPath2("keep2");
    m_app->frmCopy2().Show(&m_app->frmEstablish());
    m_app->frmCopy1().Show(&m_app->frmEstablish());
    controlsOf(m_app->frmCopy2()).txtFileName->setText("/source");
    controlsOf(m_app->frmCopy1()).txtFileName->setText("/destination");

    controlsOf(m_app->frmCopy1()).cmdOpen->click();
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), QStringLiteral("keep1"));
    QCOMPARE(m_app->frmEstablish().txtFolderPath2(), QStringLiteral("/destination"));
    QVERIFY(m_app->frmCopy2().isVisible());

    controlsOf(m_app->frmCopy2()).cmdOpen->click();
    QCOMPARE(m_app->frmEstablish().txtFolderPath1(), QStringLiteral("/source"));
    QCOMPARE(m_app->frmEstablish().txtFolderPath2(), QStringLiteral("/destination"));
}

QTEST_MAIN(TestFolderPicker)
#include "tst_folderpicker.moc"
