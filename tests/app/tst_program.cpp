// The windows, the runs and the engine together, over fake desktop services
// and real folders: what a user sees when the pieces meet.
#include "app/frmMain.h"
#include "fakes/ProgramFixture.h"
#include "fakes/Trees.h"
#include "runs/HistoryLog.h"
#include "settings/frmEstablish.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

using Trees::readFile;
using Trees::writeFile;

QByteArray crlf(const QStringList &lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        p = std::make_unique<ProgramFixture>();
        fake = &p->fake;
        app = &p->app;
        home = fake->drives.root(QStringLiteral("C"));
        dest = fake->tempPath() + QStringLiteral("/dest");
        QVERIFY(QDir().mkpath(dest));
        QVERIFY(QDir().mkpath(home + QStringLiteral("Docs/sub")));
        writeFile(home + QStringLiteral("Docs/a.txt"), "alpha");
        writeFile(home + QStringLiteral("Docs/sub/b.txt"), "beta");
        writeFile(QStringLiteral("Path.dat"), "Docs\r\n");
        writeFile(fake->dataDirectory.filePath(HistoryLog::FileName),
                  crlf({HistoryLog::Header, QStringLiteral("old entry")}));
    }
    void cleanup() { p.reset(); }

    // Start on the Backup page with the settings dialog never opened: the
    // run loads the saved options invisibly and adds its entry to the
    // loaded history, after one empty line.
    void startLoadsTheSavedOptionsInvisibly()
    {
        writeFile(fake->dataDirectory.filePath(QStringLiteral("Establish.dat")),
                  crlf({"0", "\"\"", "1", '"' + dest + '"', "0", "1", "0", "0", "\"\"", "\"\"", "\"\"",
                        "0"}));
        frmMain &main = app->frmMain();
        main.Show();
        auto *start = main.window()->findChild<QPushButton *>(QStringLiteral("cmdOK"));
        QTest::mouseClick(start, Qt::LeftButton);

        QCOMPARE(readFile(dest + QStringLiteral("/Docs/sub/b.txt")), QByteArray("beta"));
        QCOMPARE(fake->messageBoxes.texts(), QStringList{QStringLiteral("バックアップが完了しました。")});
        const QString entry = QStringLiteral("2001/05/20 22:27:32  バックアップ元") + home
                              + QStringLiteral("Docs  バックアップ先") + dest + QStringLiteral("/Docs");
        QCOMPARE(readFile(fake->dataDirectory.filePath(HistoryLog::FileName)),
                 crlf({HistoryLog::Header, QStringLiteral("old entry"), QString(), entry}));

        frmEstablish &settings = app->frmEstablish();
        QVERIFY(!settings.isVisible());
        QCOMPARE(settings.chkFolder2(), 1);
        QCOMPARE(settings.txtRireki(),
                 QString::fromUtf8(crlf({HistoryLog::Header, QStringLiteral("old entry"), QString()}))
                     + entry);

        // The last window on screen ends the program and takes the hidden one along.
        main.Unload();
        QCOMPARE(p->lastWindowGone, 1);
        QVERIFY(!settings.isLoaded());
    }

    // A saved timer armed at the clock's time starts the run of the page
    // the main window shows, here a restore, without the dialog on screen.
    void savedTimerStartsTheRestoreOfTheShownPage()
    {
        const QString backup = fake->tempPath() + QStringLiteral("/backup/Docs");
        QVERIFY(QDir().mkpath(backup));
        writeFile(backup + QStringLiteral("/restored.txt"), "back");
        writeFile(fake->dataDirectory.filePath(QStringLiteral("Establish.dat")),
                  crlf({"1", '"' + backup + '"', "1", '"' + dest + '"', "0", "0", "1", "1",
                        '"' + fake->clock.time + '"', "\"\"", "\"\"", "0"}));
        app->start(); // as after a restart: nothing but the main window opened
        app->frmMain().window()->findChild<QTabWidget *>(QStringLiteral("SSTab"))->setCurrentIndex(1);
        QTRY_COMPARE(readFile(dest + QStringLiteral("/Docs/restored.txt")), QByteArray("back"));
        QVERIFY(readFile(fake->dataDirectory.filePath(HistoryLog::FileName))
                    .contains(QStringLiteral("復旧元").toUtf8()));
        QVERIFY(fake->messageBoxes.boxes.isEmpty());
        QVERIFY(!app->frmEstablish().isVisible());
    }

private:
    std::unique_ptr<ProgramFixture> p;
    // Into p, for short.
    FakePlatform *fake = nullptr;
    AppContext *app = nullptr;
    QString home;
    QString dest;
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
