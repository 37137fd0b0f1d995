#include "EstablishFixture.h"
#include "app/frmMain.h"
#include "core/SequentialFile.h"
#include "dialogs/frmCopy.h"
#include "fakes/TmpfsMount.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(Settings)

namespace {

const QByteArray Missing = "<missing>";
const QByteArray AFolder = "<folder>";
const QByteArray AFifo = "<fifo>";
const QString CrLf = QStringLiteral("\r\n");

Settings optionsOf(frmEstablish &form)
{
    return Settings{form.chkFolder1(), form.txtFolderPath1(), form.chkFolder2(), form.txtFolderPath2(),
                    form.chkEnd(),     form.chkMsg2(),        form.chkUwa(),     form.chkTime(),
                    form.txtBackup1(), form.txtBackup2(),     form.txtBackup3(), form.chkMsg1()};
}

QByteArray settingsBytes(const Settings &settings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(SettingsFile::FileName);
    if (!SettingsFile::Write(path, settings).ok())
        qFatal("cannot write settings");
    return Trees::readFile(path);
}

void place(EstablishFixture &f, const QString &fileName, const QByteArray &content)
{
    if (content == AFolder)
        QDir().mkpath(f.dataPath(fileName));
    else if (content == AFifo)
        QCOMPARE(::mkfifo(QFile::encodeName(f.dataPath(fileName)).constData(), 0600), 0);
    else if (content != Missing)
        f.writeData(fileName, content);
}

} // namespace

class TestFrmEstablish : public QObject {
    Q_OBJECT
private slots:
    void captions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString noteSource = "注意：バックアップ又は復旧元を指定する場合に､パス名が､テキストボックス（入力するところ）から､はみ出ても､問題ありません。";
        const QString noteDestination = "注意：バックアップ又は復旧先を指定する場合に､パス名が､テキストボックス（入力するところ）から､はみ出ても､問題ありません。";
        const QList<std::pair<QString, QString>> rows{
            {"chkFolder1", "バックアップ又は復旧元を別途に指定する"},
            {"Label1", "バックアップ又は復旧元フォルダ"},
            {"cmdSun", "参照"},
            {"lblSetsumei1", noteSource},
            {"chkFolder2", "バックアップ又は復旧先を別途に指定する"},
            {"Label3", "バックアップ又は復旧先フォルダ"},
            {"cmdSun2", "参照"},
            {"lblSetsumei2", noteDestination},
            {"chkEnd", "バックアップ又は復旧が終了したら､プログラムを終了する"},
            {"chkMsg2", "バックアップ又は復旧が終わった後に､メッセージボックスを表示する"},
            {"chkUwa", "上書きする"},
            {"lblTime", ""},
            {"chkTime", "タイマーを設定する"},
            {"lblSetsumei3", ""},
            {"Label2", "開始時刻："},
            {"Label5", "半角文字でお願いします。"},
            {"Label4", "開始時刻は､午後２時３０分に指定したい場合は､テキストボックスに（入力するところ）に、　１４：３０：００　のように入力してください。"},
            {"chkMsg1", "バックアップを開始する前に､メッセージボックスを表示する"},
            {"Label6", "今までの履歴"},
            {"Command1", "履歴クリア"},
            {"cmdOK", "&OK"},
            {"cmdCancel", "キャンセル(&C)"},
            {"cmdSave", "既定値に設定(&S)"},
            {"txtFolderPath1", ""},
            {"txtFolderPath2", ""},
            {"txtBackup1", ""},
            {"txtBackup2", ""},
            {"txtBackup3", ""},
        };
        for (const auto &[name, text] : rows)
            QTest::newRow(qPrintable(name)) << name << text;
    }
    void captions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        EstablishFixture f;
        QWidget *widget = f.control<QWidget>(qPrintable(name));
        // As shown: word joiners that hold a run on one line show nothing.
        QCOMPARE(widget->property("text").toString().remove(QChar(0x2060)), text);
    }

    void windowTabsAndButtons()
    {
        EstablishFixture f;
        QCOMPARE(f.form().window()->windowTitle(), QStringLiteral("詳細設定"));
        auto *tabs = f.control<QTabWidget>("SSTab1");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("バックアップ＆復旧"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("タイマー"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("履歴"));
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(f.control<QPushButton>("cmdOK")->isDefault());
        QCOMPARE(f.control<QPushButton>("cmdSave")->toolTip(), QStringLiteral("今の設定状況を保存します。"));
        for (const char *name : {"Frame1", "Frame2", "Frame3", "Line1", "Line4"})
            QVERIFY2(f.control<QFrame>(name), name);
        QCOMPARE(f.control<QLabel>("Label5")->palette().color(QPalette::WindowText), QColor(Qt::red));
        auto *clock = f.control<QLabel>("lblTime");
        QCOMPARE(clock->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        QCOMPARE(clock->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(clock->font().pointSize(), 12);
    }

    void everythingFitsOnEveryTab()
    {
        EstablishFixture f;
        f.form().Show();
        QWidget *window = f.form().window();
        auto *tabs = f.control<QTabWidget>("SSTab1");
        f.control<QLabel>("lblTime")->setText(ClockSchedule::ClockLine("22:27:32"));
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            for (QWidget *widget : window->findChildren<QWidget *>()) {
                if (!widget->isVisible() || widget->objectName().isEmpty())
                    continue;
                const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
                QVERIFY2(window->rect().contains(inWindow), qPrintable(widget->objectName()));
                const QSize least = widget->minimumSizeHint();
                QVERIFY2(widget->width() >= least.width(), qPrintable(widget->objectName()));
                const int height = widget->hasHeightForWidth() ? widget->heightForWidth(widget->width())
                                                               : least.height();
                QVERIFY2(widget->height() >= height, qPrintable(widget->objectName()));
            }
        }
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("establish");
        QTest::addColumn<QByteArray>("riri");
        QTest::addColumn<Settings>("options");
        QTest::addColumn<QString>("history");
        const Settings full{1, "/home/u/a,b", 1, "/media/u/S", 0, 0, 0, 1, "14:30:00", "", "9:00:00", 1};
        QTest::newRow("no files") << Missing << Missing << Settings{} << HeaderText;
        QTest::newRow("full file, no history") << settingsBytes(full) << Missing << full << HeaderText;
        QTest::newRow("full file and history") << settingsBytes(full) << QByteArray("head\r\nx,y\r\n") << full
                                               << QStringLiteral("head\r\nx\r\ny\r\n");
        QTest::newRow("eleven fields: defaults, history shown")
            << settingsBytes(full).chopped(3) << QByteArray("head\r\n") << Settings{} << QStringLiteral("head\r\n");
        QTest::newRow("text where a number belongs")
            << QByteArray("1\r\n\"\"\r\nyes\r\n\"\"\r\n1\r\n1\r\n1\r\n0\r\n\"\"\r\n\"\"\r\n\"\"\r\n0\r\n") << Missing
            << Settings{1, "", 0, "", 1, 1, 1, 0, "", "", "", 0} << HeaderText;
        QTest::newRow("unreadable settings file: history still shown")
            << AFolder << QByteArray("head\r\n") << Settings{} << QStringLiteral("head\r\n");
        QTest::newRow("unreadable history file: options still stored")
            << settingsBytes(full) << AFolder << full << HeaderText;
        QTest::newRow("settings file is a FIFO: history still shown")
            << AFifo << QByteArray("head\r\n") << Settings{} << QStringLiteral("head\r\n");
        QTest::newRow("history file is a FIFO: options still stored")
            << settingsBytes(full) << AFifo << full << HeaderText;
        QTest::newRow("blanks after the last history line: every entry shown")
            << Missing << QByteArray("head\r\nentry\r\n   ") << Settings{} << QStringLiteral("head\r\nentry\r\n");
    }
    void loading()
    {
        QFETCH(QByteArray, establish);
        QFETCH(QByteArray, riri);
        QFETCH(Settings, options);
        QFETCH(QString, history);
        EstablishFixture f;
        place(f, SettingsFile::FileName, establish);
        place(f, HistoryLog::FileName, riri);
        QVERIFY(optionsOf(f.form()) == options);
        QCOMPARE(f.form().txtRireki(), history);
        QVERIFY(!f.form().isVisible());
        QVERIFY(f.fake.messageBoxes.boxes.isEmpty());
        // The loaded values went through the enabling rules.
        QCOMPARE(f.control<QLineEdit>("txtFolderPath1")->isEnabled(), isOn(options.chkFolder1));
        QCOMPARE(f.control<QPushButton>("cmdSun2")->isEnabled(), isOn(options.chkFolder2));
        QCOMPARE(f.control<QTimer>("trmClock")->isActive(), isOn(options.chkTime));
        QCOMPARE(f.control<QFrame>("Frame3")->isEnabled(), isOn(options.chkTime));
    }

    void otherCheckValuesShowGreyAndCountAsOff_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("readBack");
        QTest::newRow("2") << QByteArray("2") << 2;
        QTest::newRow("-1") << QByteArray("-1") << 2;
        QTest::newRow("7") << QByteArray("7") << 2;
    }
    void otherCheckValuesShowGreyAndCountAsOff()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, readBack);
        EstablishFixture f;
        f.writeData(SettingsFile::FileName, value + "\r\n\"/x\"\r\n0\r\n\"\"\r\n1\r\n1\r\n" + value + "\r\n" + value
                                                + "\r\n\"\"\r\n\"\"\r\n\"\"\r\n0\r\n");
        QCOMPARE(f.form().chkFolder1(), readBack);
        QCOMPARE(f.form().chkUwa(), readBack);
        QCOMPARE(f.control<QCheckBox>("chkUwa")->checkState(), Qt::PartiallyChecked);
        QVERIFY(!f.control<QLineEdit>("txtFolderPath1")->isEnabled());
        QVERIFY(!f.control<QTimer>("trmClock")->isActive());

        // A click leaves grey for good: ticked, clear, ticked.
        auto *box = f.control<QCheckBox>("chkTime");
        box->click();
        QCOMPARE(f.form().chkTime(), 1);
        QVERIFY(f.control<QTimer>("trmClock")->isActive());
        box->click();
        QCOMPARE(f.form().chkTime(), 0);
        box->click();
        QCOMPARE(f.form().chkTime(), 1);
    }

    void pathGroupRules_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("others");
        QTest::newRow("source") << "chkFolder1" << "txtFolderPath1" << QStringList{"Label1", "cmdSun", "lblSetsumei1"};
        QTest::newRow("destination") << "chkFolder2" << "txtFolderPath2"
                                     << QStringList{"Label3", "cmdSun2", "lblSetsumei2"};
    }
    void pathGroupRules()
    {
        QFETCH(QString, check);
        QFETCH(QString, box);
        QFETCH(QStringList, others);
        EstablishFixture f;
        const QPalette system = QGuiApplication::palette();
        auto *path = f.control<QLineEdit>(qPrintable(box));
        auto expect = [&](bool on) {
            QCOMPARE(path->isEnabled(), on);
            QCOMPARE(path->palette().color(QPalette::Base),
                     system.color(on ? QPalette::Base : QPalette::Window));
            for (const QString &name : others)
                QCOMPARE(f.control<QWidget>(qPrintable(name))->isEnabled(), on);
        };
        expect(false);
        f.control<QCheckBox>(qPrintable(check))->click();
        expect(true);
        path->setText("/home/u/typed");
        f.control<QCheckBox>(qPrintable(check))->click();
        expect(false);
        QCOMPARE(path->text(), QStringLiteral("/home/u/typed"));
    }

    void timerRule()
    {
        EstablishFixture f;
        auto *timer = f.control<QTimer>("trmClock");
        auto *frame = f.control<QFrame>("Frame3");
        const QStringList group{"Frame3", "lblSetsumei3", "Label2", "txtBackup1", "Label4", "chkMsg1"};
        QVERIFY(!timer->isActive());
        f.control<QCheckBox>("chkTime")->click();
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 100);
        for (const QString &name : group)
            QVERIFY2(f.control<QWidget>(qPrintable(name))->isEnabled(), qPrintable(name));
        QTRY_COMPARE(f.control<QLabel>("lblTime")->text(), ClockSchedule::ClockLine("22:27:32"));

        f.control<QCheckBox>("chkTime")->click();
        QVERIFY(!timer->isActive());
        QCOMPARE(f.control<QLabel>("lblTime")->text(), QString());
        for (const QString &name : group)
            QVERIFY2(!f.control<QWidget>(qPrintable(name))->isEnabled(), qPrintable(name));
        // The second and third start times keep their own state, but the
        // disabled group keeps them out of reach.
        for (const char *name : {"txtBackup2", "txtBackup3", "Label5"}) {
            QVERIFY2(f.control<QWidget>(name)->isEnabledTo(frame), name);
            QVERIFY2(!f.control<QWidget>(name)->isEnabled(), name);
        }
    }

    void saveWritesTheTwelveLines()
    {
        EstablishFixture f;
        f.control<QPushButton>("cmdSave")->click();
        QCOMPARE(f.readData(SettingsFile::FileName), DefaultsFile);

        f.control<QCheckBox>("chkFolder1")->click();
        f.form().setTxtFolderPath1("/home/u/a,b");
        f.control<QCheckBox>("chkEnd")->click();
        f.control<QLineEdit>("txtBackup3")->setText("7:00:00");
        f.control<QPushButton>("cmdSave")->click();
        QCOMPARE(f.readData(SettingsFile::FileName),
                 settingsBytes(Settings{1, "/home/u/a,b", 0, "", 0, 1, 1, 0, "", "", "7:00:00", 0}));
        QVERIFY(f.fake.messageBoxes.boxes.isEmpty());

        f.form().Unload();
        QCOMPARE(f.form().txtFolderPath1(), QStringLiteral("/home/u/a,b"));
        QCOMPARE(f.form().chkEnd(), 0);
    }

    void timerGroupFollowsChkTimeAfterSave()
    {
        EstablishFixture f;
        auto *frame = f.control<QFrame>("Frame3");
        f.control<QPushButton>("cmdSave")->click();
        QVERIFY(!frame->isEnabled());
        f.control<QCheckBox>("chkTime")->click();
        f.control<QPushButton>("cmdSave")->click();
        QVERIFY(frame->isEnabled());
        QVERIFY(f.control<QTimer>("trmClock")->isActive());
    }

    void failedSaveIsSilentAndKeepsTheValues()
    {
        EstablishFixture f;
        f.control<QCheckBox>("chkUwa")->click();
        f.fake.makeDataDirectoryUnwritable();
        f.control<QPushButton>("cmdSave")->click();
        QVERIFY(f.fake.messageBoxes.boxes.isEmpty());
        QCOMPARE(f.form().chkUwa(), 0);
        QVERIFY(!QFile::exists(f.dataPath(SettingsFile::FileName)));
    }

    void okHidesAndKeepsEverything()
    {
        EstablishFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        f.control<QCheckBox>("chkTime")->click();
        f.control<QLineEdit>("txtBackup1")->setText("23:00:00");
        f.control<QPushButton>("cmdOK")->click();
        QVERIFY(f.formObject().isLoaded());
        QVERIFY(!f.formObject().isVisible());
        QVERIFY(f.app.frmMain().isVisible());
        QVERIFY(f.control<QTimer>("trmClock")->isActive());
        f.form().Show(&f.app.frmMain());
        QCOMPARE(f.form().txtBackup1(), QStringLiteral("23:00:00"));
        QCOMPARE(f.form().chkTime(), 1);
        QVERIFY(!QFile::exists(f.dataPath(SettingsFile::FileName)));
    }

    void enterIsOkAndEscapeDoesNothing()
    {
        EstablishFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        QWidget *window = f.form().window();
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(f.formObject().isVisible());
        QTest::keyClick(window, Qt::Key_Return);
        QVERIFY(!f.formObject().isVisible());
        QVERIFY(f.formObject().isLoaded());
    }

    void cancelUnloadsAndDropsChanges()
    {
        EstablishFixture f;
        f.writeData(SettingsFile::FileName, DefaultsFile);
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        f.control<QCheckBox>("chkTime")->click();
        f.control<QCheckBox>("chkEnd")->click();
        const QPointer<QTimer> timer = f.control<QTimer>("trmClock");
        f.control<QPushButton>("cmdCancel")->click();
        QVERIFY(!f.formObject().isLoaded());
        QVERIFY(!timer || !timer->isActive());
        QVERIFY(f.app.frmMain().isVisible());
        QCOMPARE(f.lastWindowGone, 0);
        QVERIFY(optionsOf(f.form()) == Settings{});
        QVERIFY(!f.control<QTimer>("trmClock")->isActive());
    }

    void closingTheWindowUnloads()
    {
        EstablishFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        f.control<QCheckBox>("chkTime")->click();
        f.form().window()->close();
        QVERIFY(!f.formObject().isLoaded());
        QCOMPARE(f.form().chkTime(), 0);
    }

    void shownNonModalOwnedByTheMainWindow()
    {
        EstablishFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        QWidget *window = f.form().window();
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(f.form().owner(), &f.app.frmMain());
        QCOMPARE(window->parentWidget(), f.app.frmMain().window());
    }

    void readerCreatesTheDialogHiddenAndArmsTheTimer()
    {
        EstablishFixture f;
        f.writeData(SettingsFile::FileName, settingsBytes(Settings{0, "", 0, "", 1, 1, 1, 1, "", "", "", 0}));
        QVERIFY(!f.formObject().isLoaded());
        RunContext context = f.app.runContext();
        QCOMPARE(context.options.chkUwa(), 1);
        QVERIFY(f.formObject().isLoaded());
        QVERIFY(!f.formObject().isVisible());
        auto *timer = f.control<QTimer>("trmClock");
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 100);
        context.options.setChkUwa(0);
        QCOMPARE(f.control<QCheckBox>("chkUwa")->checkState(), Qt::Unchecked);
    }

    void browseButtonsShowThePickersOwnedByTheDialog()
    {
        EstablishFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        f.control<QCheckBox>("chkFolder1")->click();
        f.control<QCheckBox>("chkFolder2")->click();
        f.control<QPushButton>("cmdSun")->click();
        QVERIFY(f.app.frmCopy2().isVisible());
        QCOMPARE(f.app.frmCopy2().owner(), &f.form());
        f.control<QPushButton>("cmdSun2")->click();
        QVERIFY(f.app.frmCopy1().isVisible());
        QCOMPARE(f.app.frmCopy1().owner(), &f.form());

        f.form().setTxtFolderPath1("/home/u/src");
        f.form().setTxtFolderPath2("/media/u/dst");
        QCOMPARE(f.control<QLineEdit>("txtFolderPath1")->text(), QStringLiteral("/home/u/src"));
        QCOMPARE(f.form().txtFolderPath2(), QStringLiteral("/media/u/dst"));
    }

    // The worked example through the dialog's own box: an empty line after
    // each load, none between entries appended without a load.
    void historyBoxKeepsTheTextByteForByte()
    {
        EstablishFixture f;
        const QString e1 = "2001/05/20 22:27:32  バックアップ元/a  バックアップ先/b";
        const QString e2 = "2001/05/20 22:28:00  復旧元/b  復旧先/a";
        QVERIFY(HistoryLog::AppendAndSave(f.form(), f.fake.dataDirectory, e1).ok());
        const QString once = HeaderText + CrLf + e1;
        QCOMPARE(f.form().txtRireki(), once);
        QCOMPARE(f.readData(HistoryLog::FileName), (once + CrLf).toUtf8());

        f.form().Unload();
        QCOMPARE(f.form().txtRireki(), once + CrLf);
        QVERIFY(HistoryLog::AppendAndSave(f.form(), f.fake.dataDirectory, e2).ok());
        QVERIFY(HistoryLog::AppendAndSave(f.form(), f.fake.dataDirectory, e1).ok());
        const QString thrice = once + CrLf + CrLf + e2 + CrLf + e1;
        QCOMPARE(f.form().txtRireki(), thrice);
        QCOMPARE(f.readData(HistoryLog::FileName), (thrice + CrLf).toUtf8());
        QCOMPARE(f.control<QPlainTextEdit>("txtRireki")->blockCount(), 6);
    }

    // A history file that did not load cleanly keeps every stored entry
    // when runs add theirs.
    void runsKeepEveryStoredEntry_data()
    {
        QTest::addColumn<QByteArray>("riri");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("blanks after the last line end")
            << QByteArray("head\r\nold\r\n  ") << QByteArray("head\r\nold\r\n");
        const QByteArray large = "head\r\nold\r\n" + QByteArray(SequentialReader::MaxBytes, 'x') + "\r\n";
        QTest::newRow("too large to load") << large << large;
    }
    void runsKeepEveryStoredEntry()
    {
        QFETCH(QByteArray, riri);
        QFETCH(QByteArray, kept);
        EstablishFixture f;
        f.writeData(HistoryLog::FileName, riri);
        const QString e1 = "2001/05/20 22:27:32  バックアップ元/a  バックアップ先/b";
        const QString e2 = "2001/05/20 22:28:00  復旧元/b  復旧先/a";
        QVERIFY(HistoryLog::AppendAndSave(f.form(), f.fake.dataDirectory, e1).ok());
        QVERIFY(HistoryLog::AppendAndSave(f.form(), f.fake.dataDirectory, e2).ok());
        QCOMPARE(f.readData(HistoryLog::FileName), kept + (CrLf + e1 + CrLf + e2 + CrLf).toUtf8());
    }

    // On a full disk the save and the clear change no byte of the files;
    // the clear says so.
    void fullDiskKeepsTheDataFiles()
    {
        EstablishFixture f;
        const TmpfsMount full(f.fake.dataDirectory.path(), "size=64k");
        if (!full.mounted())
            QSKIP("mounting a tmpfs is not permitted here");
        f.writeData(SettingsFile::FileName, DefaultsFile);
        f.writeData(HistoryLog::FileName, "head\r\nentry\r\n");
        full.fill();

        f.control<QCheckBox>("chkEnd")->click();
        f.control<QPushButton>("cmdSave")->click();
        QCOMPARE(f.readData(SettingsFile::FileName), DefaultsFile);
        QVERIFY(f.fake.messageBoxes.boxes.isEmpty());

        f.fake.messageBoxes.answerNext(MsgAnswer::Yes);
        f.control<QPushButton>("Command1")->click();
        QCOMPARE(f.fake.messageBoxes.boxes.size(), 2);
        QCOMPARE(f.fake.messageBoxes.boxes.last().title, QStringLiteral("履歴消去"));
        QVERIFY(f.fake.messageBoxes.boxes.last().text.startsWith(QStringLiteral("履歴ファイルに書き込めませんでした。")));
        QCOMPARE(f.readData(HistoryLog::FileName), QByteArray("head\r\nentry\r\n"));
    }

    void clearAnsweredNoChangesNothing()
    {
        EstablishFixture f;
        f.writeData(HistoryLog::FileName, "head\r\nentry\r\n");
        f.control<QCheckBox>("chkEnd")->click();
        f.fake.messageBoxes.answerNext(MsgAnswer::No);
        f.control<QPushButton>("Command1")->click();
        QCOMPARE(f.fake.messageBoxes.boxes.size(), 1);
        const FakeMessageBoxes::Box box = f.fake.messageBoxes.boxes.first();
        QCOMPARE(box.text, QStringLiteral("本当に消してよろしいですか？"));
        QCOMPARE(box.title, QStringLiteral("履歴消去"));
        QCOMPARE(box.buttons, MsgButtons::YesNo);
        QCOMPARE(box.icon, MsgIcon::Question);
        QCOMPARE(f.readData(HistoryLog::FileName), QByteArray("head\r\nentry\r\n"));
        QCOMPARE(f.form().txtRireki(), QStringLiteral("head\r\nentry\r\n"));
        QCOMPARE(f.form().chkEnd(), 0);
    }

    void clearAnsweredYesReloadsTheSavedOptions()
    {
        EstablishFixture f;
        f.writeData(HistoryLog::FileName, "head\r\nentry\r\n");
        f.control<QCheckBox>("chkMsg2")->click();
        f.control<QPushButton>("cmdSave")->click();
        f.control<QCheckBox>("chkMsg2")->click();
        f.control<QCheckBox>("chkFolder2")->click();
        f.fake.messageBoxes.answerNext(MsgAnswer::Yes);
        f.control<QPushButton>("Command1")->click();
        QCOMPARE(f.readData(HistoryLog::FileName), HeaderText.toUtf8());
        QCOMPARE(f.form().txtRireki(), HeaderText);
        QCOMPARE(f.form().chkMsg2(), 0);
        QCOMPARE(f.form().chkFolder2(), 0);
        QVERIFY(!f.control<QLineEdit>("txtFolderPath2")->isEnabled());
        QCOMPARE(f.fake.messageBoxes.boxes.size(), 1);
    }

    void clearThatCannotWriteTellsTheUser()
    {
        EstablishFixture f;
        f.writeData(HistoryLog::FileName, "head\r\nentry\r\n");
        f.control<QCheckBox>("chkEnd")->click();
        f.fake.makeDataDirectoryUnwritable();
        f.fake.messageBoxes.answerNext(MsgAnswer::Yes);
        f.control<QPushButton>("Command1")->click();
        QCOMPARE(f.fake.messageBoxes.boxes.size(), 2);
        const FakeMessageBoxes::Box box = f.fake.messageBoxes.boxes.last();
        QVERIFY(box.text.startsWith(QStringLiteral("履歴ファイルに書き込めませんでした。")));
        QCOMPARE(box.title, QStringLiteral("履歴消去"));
        QCOMPARE(box.icon, MsgIcon::Exclamation);
        QCOMPARE(f.form().txtRireki(), QStringLiteral("head\r\nentry\r\n"));
        QCOMPARE(f.form().chkEnd(), 0);
    }

    void shiftJisFilesFromTheOriginalSystemsLoad()
    {
        EstablishFixture f;
        QVERIFY(QFile::copy(QFINDTESTDATA("../data/shift-jis/Establish.dat"), f.dataPath(SettingsFile::FileName)));
        QVERIFY(QFile::copy(QFINDTESTDATA("../data/shift-jis/Riri.dat"), f.dataPath(HistoryLog::FileName)));
        QVERIFY(optionsOf(f.form())
                == Settings({1, "D:\\仕事\\報告書.old", 1, "E:\\バックアップ", 1, 1, 0, 1, "14:30:00", "", "", 0}));
        QVERIFY(f.control<QTimer>("trmClock")->isActive());
        QVERIFY(f.form().txtRireki().startsWith(HeaderText + CrLf + "2001/05/20 22:27:32  バックアップ元C:\\書類"));
        QVERIFY(f.form().txtRireki().endsWith("復旧先C:\\\\書類\r\n"));
    }
};

QTEST_MAIN(TestFrmEstablish)
#include "tst_frmestablish.moc"
