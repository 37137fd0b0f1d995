#include "EstablishFixture.h"
#include "app/frmMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

const QString Question = QStringLiteral("指定の時刻になりましたので､バックアップ又は復旧を行います。よろしいですか？");

// The settings dialog with the timer armed at 22:27:32 on the fake clock;
// the runs it starts are recorded, with whether the gate was held.
class TimerFixture : public EstablishFixture {
public:
    TimerFixture()
    {
        app.pageRuns = {[this](RunContext &context) { record("backup", context); },
                        [this](RunContext &context) { record("restore", context); }};
        control<QCheckBox>("chkTime")->click();
    }
    void setStartTimes(const QString &s1, const QString &s2, const QString &s3)
    {
        control<QLineEdit>("txtBackup1")->setText(s1);
        control<QLineEdit>("txtBackup2")->setText(s2);
        control<QLineEdit>("txtBackup3")->setText(s3);
    }
    QString clockLine() { return control<QLabel>("lblTime")->text(); }

    QStringList runs;
    QList<bool> gateHeld;
    std::function<void()> duringRun;

private:
    void record(const QString &run, RunContext &context)
    {
        runs << run;
        gateHeld << context.gate.busy();
        if (duringRun)
            duringRun();
    }
};

} // namespace

class TestTimer : public QObject {
    Q_OBJECT
private slots:
    void clockLineOnEveryTick()
    {
        TimerFixture f;
        f.form().trmClock_Timer();
        QCOMPARE(f.clockLine(), QStringLiteral("ただいまの時刻：22:27:32"));
        f.fake.clock.time = "9:05:07";
        f.form().trmClock_Timer();
        QCOMPARE(f.clockLine(), QStringLiteral("ただいまの時刻：9:05:07"));
        f.control<QCheckBox>("chkTime")->click();
        QCOMPARE(f.clockLine(), QString());
    }

    void starts_data()
    {
        QTest::addColumn<QStringList>("starts");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QList<MsgAnswer>>("answers");
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("questions");
        const QString now = "22:27:32";
        QTest::newRow("match") << QStringList{now, "", ""} << false << QList<MsgAnswer>{} << 1 << 0;
        QTest::newRow("no match") << QStringList{"22:27:31", "", ""} << false << QList<MsgAnswer>{} << 0 << 0;
        QTest::newRow("full-width digits") << QStringList{"２２：２７：３２", "", ""} << false << QList<MsgAnswer>{} << 0 << 0;
        QTest::newRow("missing seconds") << QStringList{"22:27", "", ""} << false << QList<MsgAnswer>{} << 0 << 0;
        QTest::newRow("blank") << QStringList{now + " ", "", ""} << false << QList<MsgAnswer>{} << 0 << 0;
        QTest::newRow("empty first slot") << QStringList{"", now, now} << false << QList<MsgAnswer>{} << 0 << 0;
        QTest::newRow("duplicate slots start two runs") << QStringList{now, now, "1:00:00"} << false
                                                        << QList<MsgAnswer>{} << 2 << 0;
        QTest::newRow("asked, Yes") << QStringList{now, "", ""} << true << QList<MsgAnswer>{MsgAnswer::Yes} << 1 << 1;
        QTest::newRow("No at slot 1 skips the rest")
            << QStringList{now, now, now} << true << QList<MsgAnswer>{MsgAnswer::No} << 0 << 1;
        QTest::newRow("Yes, then No") << QStringList{now, "", now} << true
                                      << QList<MsgAnswer>{MsgAnswer::Yes, MsgAnswer::No} << 1 << 2;
    }
    void starts()
    {
        QFETCH(QStringList, starts);
        QFETCH(bool, ask);
        QFETCH(QList<MsgAnswer>, answers);
        QFETCH(int, runs);
        QFETCH(int, questions);
        TimerFixture f;
        f.setStartTimes(starts[0], starts[1], starts[2]);
        if (ask)
            f.control<QCheckBox>("chkMsg1")->click();
        for (MsgAnswer answer : answers)
            f.fake.messageBoxes.answerNext(answer);
        f.form().trmClock_Timer();
        QCOMPARE(f.runs, QStringList(runs, "backup"));
        QCOMPARE(f.fake.messageBoxes.boxes.size(), questions);
        for (const FakeMessageBoxes::Box &box : f.fake.messageBoxes.boxes) {
            QCOMPARE(box.text, Question);
            QCOMPARE(box.title, QStringLiteral("タイマー"));
            QCOMPARE(box.buttons, MsgButtons::YesNo);
            QCOMPARE(box.icon, MsgIcon::Question);
        }
        QVERIFY(!f.app.runContext().gate.busy());
    }

    void restorePageStartsTheRestoreRun()
    {
        TimerFixture f;
        auto *tabs = f.app.frmMain().window()->findChild<QTabWidget *>("SSTab");
        QVERIFY(tabs);
        tabs->setCurrentIndex(1);
        f.setStartTimes("22:27:32", "", "");
        f.form().trmClock_Timer();
        QCOMPARE(f.runs, QStringList{"restore"});
    }

    void oneStartPerSlotPerSecond()
    {
        TimerFixture f;
        f.setStartTimes("22:27:32", "22:27:33", "");
        for (int tick = 0; tick < 10; ++tick)
            f.form().trmClock_Timer();
        QCOMPARE(f.runs.size(), 1);
        f.fake.clock.time = "22:27:33";
        f.form().trmClock_Timer();
        f.form().trmClock_Timer();
        QCOMPARE(f.runs.size(), 2);
    }

    void nothingStartsWhileARunIsInProgress()
    {
        TimerFixture f;
        f.setStartTimes("22:27:32", "", "");
        RunContext context = f.app.runContext();
        {
            const RunGate::Hold runningFromTheMainWindow(context.gate);
            f.form().trmClock_Timer();
        }
        QVERIFY(f.runs.isEmpty());
        QVERIFY(f.fake.messageBoxes.boxes.isEmpty());
        QCOMPARE(f.clockLine(), QStringLiteral("ただいまの時刻：22:27:32"));
    }

    // A long copy keeps the events going, so ticks arrive during the run:
    // they refresh the clock and start nothing.
    void ticksDuringTheTimersRunStartNothing()
    {
        TimerFixture f;
        f.setStartTimes("22:27:32", "22:27:33", "");
        f.duringRun = [&f] {
            f.fake.clock.time = "22:27:33";
            f.form().trmClock_Timer();
        };
        f.form().trmClock_Timer();
        QCOMPARE(f.runs, QStringList{"backup"});
        QCOMPARE(f.gateHeld, QList<bool>{true});
        QCOMPARE(f.clockLine(), QStringLiteral("ただいまの時刻：22:27:33"));
        QVERIFY(!f.app.runContext().gate.busy());
    }

    void runThatEndsTheProgramEndsTheTick()
    {
        TimerFixture f;
        f.setStartTimes("22:27:32", "22:27:32", "");
        f.duringRun = [] { throw ProgramEnded{}; };
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, f.form().trmClock_Timer());
        QCOMPARE(f.runs.size(), 1);
        QVERIFY(!f.app.runContext().gate.busy());
    }

    void theTimerTicksByItself()
    {
        TimerFixture f;
        f.setStartTimes("22:27:32", "", "");
        QTRY_COMPARE(f.clockLine(), QStringLiteral("ただいまの時刻：22:27:32"));
        QTRY_COMPARE(f.runs.size(), 1);
    }

    void okKeepsTheTimerArmedAndCancelStopsIt()
    {
        TimerFixture f;
        f.app.frmMain().Show();
        f.form().Show(&f.app.frmMain());
        f.control<QPushButton>("cmdOK")->click();
        QVERIFY(f.control<QTimer>("trmClock")->isActive());
        f.form().Show(&f.app.frmMain());
        const QPointer<QTimer> timer = f.control<QTimer>("trmClock");
        f.control<QPushButton>("cmdCancel")->click();
        QVERIFY(!timer || !timer->isActive());
        QVERIFY(!f.formObject().isLoaded());
    }
};

QTEST_MAIN(TestTimer)
#include "tst_timer.moc"
