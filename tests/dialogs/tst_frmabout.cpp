#include "app/frmMain.h"
#include "core/AppInfo.h"
#include "dialogs/frmAbout.h"
#include "fakes/ProgramFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

namespace {
const QString Unavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

QLabel *label(frmAbout &about, const char *name)
{
    return about.window()->findChild<QLabel *>(QString::fromLatin1(name));
}
} // namespace

// The version dialog: its texts, taking turns with the main window, and
// starting the system information tool.
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

    void StartSysInfoStartsTheToolFound_data();
    void StartSysInfoStartsTheToolFound();

private:
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
    QCOMPARE(label(about, "lblVersion")->text(), QStringLiteral("Vr. " TX_BUILD_VERSION));
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

void TestFrmAbout::StartSysInfoStartsTheToolFound_data()
{
    QTest::addColumn<QString>("found");
    QTest::addColumn<bool>("startSucceeds");
    QTest::addColumn<bool>("unavailable");
    QTest::newRow("started") << "/usr/bin/kinfocenter" << true << false;
    QTest::newRow("starting fails") << "/usr/bin/kinfocenter" << false << true;
    QTest::newRow("none on the machine") << "" << true << true;
}

void TestFrmAbout::StartSysInfoStartsTheToolFound()
{
    QFETCH(QString, found);
    QFETCH(bool, startSucceeds);
    QFETCH(bool, unavailable);
    m_fake->systemInfo.path = found;
    m_fake->programs.startSucceeds = startSucceeds;
    frmAbout &about = m_app->frmAbout();
    about.window()->findChild<QPushButton *>("cmdSysInfo")->click();
    QCOMPARE(m_fake->programs.started, found.isEmpty() ? QStringList() : QStringList{found});
    QCOMPARE(m_fake->messageBoxes.texts(), unavailable ? QStringList{Unavailable} : QStringList());
    for (const auto &box : m_fake->messageBoxes.boxes)
        QVERIFY(box.buttons == MsgButtons::OK && box.icon == MsgIcon::None && box.title == AppInfo::Title);
    QVERIFY(about.isLoaded());
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
