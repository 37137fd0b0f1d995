#include "app/frmMain.h"
#include "core/AppInfo.h"
#include "dialogs/frmAbout.h"
#include "fakes/ProgramFixture.h"
#include "platform/LinuxServices.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

namespace {
const QByteArray SysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray LocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString Unavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");
constexpr quint32 HKLM = Registry::HKEY_LOCAL_MACHINE;

QLabel *label(frmAbout &about, const char *name)
{
    return about.window()->findChild<QLabel *>(QString::fromLatin1(name));
}
} // namespace

// The version dialog: its texts, taking turns with the main window, and
// finding the system information tool through the registry.
class TestFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTitleVersionAndDescription();
    void layout_data();
    void layout();
    void okEnterAndEscBringTheMainWindowBack_data();
    void okEnterAndEscBringTheMainWindowBack();
    void closingByTheFrameAloneEndsTheProgram();

    void GetKeyValueReadsValues_data();
    void GetKeyValueReadsValues();
    void GetKeyValueFailsEmptyAndClosesTheKey_data();
    void GetKeyValueFailsEmptyAndClosesTheKey();
    void GetKeyValueLeavesOtherTypesAlone();

    void StartSysInfoFromTheFirstLocation();
    void StartSysInfoFromTheToolFolder();
    void firstLocationToAMissingFileDoesNotTryTheSecond();
    void toolFolderWithoutTheToolStartsNothing();
    void noRegistryMeansNotAvailable();

private:
    void expectUnavailableBox();

    std::unique_ptr<ProgramFixture> m_p;
    // Into m_p, for short.
    AppContext *m_app = nullptr;
    FakePlatform *m_fake = nullptr;
};

void TestFrmAbout::init()
{
    m_p = std::make_unique<ProgramFixture>();
    m_app = &m_p->app;
    m_fake = &m_p->fake;
}

void TestFrmAbout::cleanup()
{
    m_p.reset();
}

void TestFrmAbout::showsTitleVersionAndDescription()
{
    frmAbout &about = m_app->frmAbout();
    QCOMPARE(about.window()->windowTitle(), QStringLiteral("TX(Tandemix)Vr.3のﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(label(about, "lblTitle")->text(), QStringLiteral("TX(Tandemix)Vr.3"));
    QCOMPARE(label(about, "lblVersion")->text(), QStringLiteral("Vr. 3.0.3"));
    QTextDocument description;
    description.setHtml(label(about, "lblDescription")->text());
    QCOMPARE(description.toPlainText(),
             QStringLiteral("このプログラムは､\n"
                            "バックアップ元と先のドライブそれと、バックアップ元フォルダ名を設定すれば後は、"
                            "開始をクリックするだけで、何度でもバックアップもしくは復旧をすることが出来ます。\n"
                            "また、バックアップするフォルダが、ルート上にないときは、自分でパス名を指定できます。\n"
                            "他にも、タイマー機能や履歴もついていますので、便利だと思います。"));
    const QStringList notice = label(about, "lblDisclaimer")->text().split("\r\n");
    QCOMPARE(notice.size(), 2);
    QVERIFY(!notice.first().isEmpty() && !notice.last().isEmpty());
    QVERIFY(!label(about, "Label1")->text().isEmpty());
    QCOMPARE(about.window()->findChild<QPushButton *>("cmdSysInfo")->text(),
             QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
}

void TestFrmAbout::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    // Twips / 15.
    QTest::newRow("picIcon") << "picIcon" << QRect(8, 16, 36, 36);
    QTest::newRow("lblTitle") << "lblTitle" << QRect(64, 16, 259, 16);
    QTest::newRow("lblVersion") << "lblVersion" << QRect(64, 32, 259, 15);
    QTest::newRow("Label1") << "Label1" << QRect(64, 48, 265, 25);
    QTest::newRow("lblDescription") << "lblDescription" << QRect(64, 75, 299, 110);
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(17, 216, 258, 87);
    QTest::newRow("cmdOK") << "cmdOK" << QRect(283, 215, 92, 23);
    QTest::newRow("cmdSysInfo") << "cmdSysInfo" << QRect(284, 245, 92, 23);
}

void TestFrmAbout::layout()
{
    QFETCH(QString, name);
    QWidget *window = m_app->frmAbout().window();
    QCOMPARE(window->size(), QSize(385, 313));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QWidget *control = window->findChild<QWidget *>(name);
    QVERIFY(control);
    QTEST(control->geometry(), "geometry");
    // Nothing is cut off at the dialog's own font.
    if (auto *text = qobject_cast<QLabel *>(control)) {
        const QSize room = text->size();
        if (text->wordWrap())
            QVERIFY2(text->heightForWidth(room.width()) <= room.height(), qPrintable(text->text()));
        else
            QVERIFY2(text->sizeHint().width() <= room.width()
                         && text->sizeHint().height() <= room.height(),
                     qPrintable(text->text()));
    }
    if (name == QLatin1String("cmdSysInfo")) {
        // Only the two buttons take the focus; OK comes first.
        auto *ok = window->findChild<QPushButton *>("cmdOK");
        QCOMPARE(ok->nextInFocusChain(), control);
    }
}

void TestFrmAbout::okEnterAndEscBringTheMainWindowBack_data()
{
    QTest::addColumn<int>("key"); // 0: a click on OK
    QTest::newRow("click") << 0;
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestFrmAbout::okEnterAndEscBringTheMainWindowBack()
{
    QFETCH(int, key);
    frmMain &main = m_app->frmMain();
    frmAbout &about = m_app->frmAbout();
    about.Show();
    main.Unload();
    QVERIFY(!main.isLoaded());

    auto *ok = about.window()->findChild<QPushButton *>("cmdOK");
    QVERIFY(ok->isDefault());
    if (key)
        QTest::keyClick(about.window(), Qt::Key(key));
    else
        ok->click();
    QVERIFY(main.isLoaded());
    QVERIFY(main.isVisible());
    QVERIFY(!about.isLoaded());
    QCOMPARE(m_p->lastWindowGone, 0);
}

void TestFrmAbout::closingByTheFrameAloneEndsTheProgram()
{
    frmAbout &about = m_app->frmAbout();
    about.Show();
    about.window()->close();
    QVERIFY(!about.isLoaded());
    QVERIFY(!m_app->frmMain().isLoaded() || !m_app->frmMain().isVisible());
    QCOMPARE(m_p->lastWindowGone, 1);
}

void TestFrmAbout::GetKeyValueReadsValues_data()
{
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");
    QTest::newRow("string with its NUL") << Registry::REG_SZ << QByteArray("C:\\Tools\\x.exe", 15)
                                         << "C:\\Tools\\x.exe";
    QTest::newRow("string without NUL") << Registry::REG_SZ << QByteArray("C:\\Tools\\x.exe")
                                        << "C:\\Tools\\x.exe";
    QTest::newRow("one character") << Registry::REG_SZ << QByteArray("Z") << "Z";
    QTest::newRow("empty string") << Registry::REG_SZ << QByteArray(1, '\0') << "";
    QTest::newRow("non-ASCII string") << Registry::REG_SZ << QStringLiteral("ツール").toLocal8Bit()
                                      << "ツール";
    // 32-bit numbers come least significant byte first.
    QTest::newRow("number 261") << Registry::REG_DWORD << QByteArray("\x05\x01\x00\x00", 4) << "261";
    QTest::newRow("number 0x12345678") << Registry::REG_DWORD << QByteArray("\x78\x56\x34\x12", 4)
                                       << "305419896";
    QTest::newRow("largest number") << Registry::REG_DWORD << QByteArray("\xff\xff\xff\xff", 4)
                                    << "4294967295";
    QTest::newRow("number 0") << Registry::REG_DWORD << QByteArray(4, '\0') << "0";
}

void TestFrmAbout::GetKeyValueReadsValues()
{
    QFETCH(quint32, type);
    QFETCH(QByteArray, data);
    m_fake->registry.setValue("SOFTWARE\\Test", "Value", type, data);
    QString value = QStringLiteral("previous");
    QVERIFY(m_app->frmAbout().GetKeyValue(HKLM, "SOFTWARE\\Test", "Value", value));
    QTEST(value, "expected");
    QCOMPARE(m_fake->registry.lastAccessMask, 0x2003Fu);
    QVERIFY(m_fake->registry.openHandles.isEmpty());
    QCOMPARE(m_fake->registry.closedHandles.size(), 1);
}

void TestFrmAbout::GetKeyValueFailsEmptyAndClosesTheKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opened");
    QTest::newRow("no such key") << "SOFTWARE\\Nothing" << "Value" << false;
    QTest::newRow("no such value") << "SOFTWARE\\Test" << "Other" << true;
    QTest::newRow("value too long for the buffer") << "SOFTWARE\\Test" << "Long" << true;
}

void TestFrmAbout::GetKeyValueFailsEmptyAndClosesTheKey()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(bool, opened);
    m_fake->registry.setValue("SOFTWARE\\Test", "Value", Registry::REG_SZ, "x");
    m_fake->registry.setValue("SOFTWARE\\Test", "Long", Registry::REG_SZ, QByteArray(1025, 'x'));
    QString value = QStringLiteral("previous");
    QVERIFY(!m_app->frmAbout().GetKeyValue(HKLM, key, name, value));
    QCOMPARE(value, QString());
    QVERIFY(m_fake->registry.openHandles.isEmpty());
    QCOMPARE(m_fake->registry.closedHandles.size(), 1);
    // A key that never opened is "closed" by its handle 0.
    QCOMPARE(m_fake->registry.closedHandles.first() == 0, !opened);
}

void TestFrmAbout::GetKeyValueLeavesOtherTypesAlone()
{
    m_fake->registry.setValue("SOFTWARE\\Test", "Binary", 3, QByteArray("\x01\x02", 2));
    QString value = QStringLiteral("previous");
    QVERIFY(m_app->frmAbout().GetKeyValue(HKLM, "SOFTWARE\\Test", "Binary", value));
    QCOMPARE(value, QStringLiteral("previous"));
    QVERIFY(m_fake->registry.openHandles.isEmpty());
}

void TestFrmAbout::expectUnavailableBox()
{
    QCOMPARE(m_fake->messageBoxes.texts(), QStringList{Unavailable});
    const auto &box = m_fake->messageBoxes.boxes.first();
    QCOMPARE(box.buttons, MsgButtons::OK);
    QCOMPARE(box.icon, MsgIcon::None);
    QCOMPARE(box.title, AppInfo::Title);
    QVERIFY(m_fake->registry.openHandles.isEmpty());
}

void TestFrmAbout::StartSysInfoFromTheFirstLocation()
{
    m_fake->registry.setValue(SysInfoKey, "PATH", Registry::REG_SZ, QByteArray("/opt/msinfo/run\0", 16));
    m_app->frmAbout().window()->findChild<QPushButton *>("cmdSysInfo")->click();
    QCOMPARE(m_fake->programs.started, QStringList{"/opt/msinfo/run"});
    QVERIFY(m_fake->messageBoxes.boxes.isEmpty());
}

void TestFrmAbout::StartSysInfoFromTheToolFolder()
{
    const QString folder = m_fake->tempPath();
    QFile tool(folder + "/MSINFO32.EXE");
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.close();
    m_fake->registry.setValue(LocationKey, "MSINFO", Registry::REG_SZ, folder.toLocal8Bit());
    m_app->frmAbout().StartSysInfo();
    QCOMPARE(m_fake->programs.started, QStringList{folder + "/MSINFO32.EXE"});
    QVERIFY(m_fake->messageBoxes.boxes.isEmpty());
}

void TestFrmAbout::firstLocationToAMissingFileDoesNotTryTheSecond()
{
    const QString folder = m_fake->tempPath();
    QFile tool(folder + "/MSINFO32.EXE");
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.close();
    m_fake->registry.setValue(SysInfoKey, "PATH", Registry::REG_SZ, "/missing/msinfo");
    m_fake->registry.setValue(LocationKey, "MSINFO", Registry::REG_SZ, folder.toLocal8Bit());
    m_fake->programs.startSucceeds = false; // the file does not exist
    m_app->frmAbout().StartSysInfo();
    QCOMPARE(m_fake->programs.started, QStringList{"/missing/msinfo"});
    QCOMPARE(m_fake->registry.closedHandles.size(), 1);
    expectUnavailableBox();
    QVERIFY(m_app->frmAbout().isLoaded());
}

void TestFrmAbout::toolFolderWithoutTheToolStartsNothing()
{
    m_fake->registry.setValue(LocationKey, "MSINFO", Registry::REG_SZ,
                              m_fake->tempPath().toLocal8Bit());
    m_app->frmAbout().StartSysInfo();
    QVERIFY(m_fake->programs.started.isEmpty());
    QCOMPARE(m_fake->registry.closedHandles.size(), 2);
    expectUnavailableBox();
}

void TestFrmAbout::noRegistryMeansNotAvailable()
{
    NoRegistry registry;
    AppContext app(m_fake->platform({.registry = &registry}));
    app.onLastWindowGone = [] {};
    app.frmAbout().StartSysInfo();
    QVERIFY(m_fake->programs.started.isEmpty());
    expectUnavailableBox();
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
