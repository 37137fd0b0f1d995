#include "settings/ClockSchedule.h"

#include <QtTest>

class TestClockSchedule : public QObject {
    Q_OBJECT
private slots:
    void clockLine()
    {
        QCOMPARE(ClockSchedule::ClockLine("9:05:07"), QStringLiteral("ただいまの時刻：9:05:07"));
    }

    void matching_data()
    {
        QTest::addColumn<QStringList>("starts");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QList<int>>("due");
        QTest::newRow("first slot") << QStringList{"22:27:32", "", ""} << "22:27:32" << QList<int>{0};
        QTest::newRow("third slot") << QStringList{"8:00:00", "", "22:27:32"} << "22:27:32" << QList<int>{2};
        QTest::newRow("no slot") << QStringList{"22:27:31", "22:27:33", "22:28:32"} << "22:27:32" << QList<int>{};
        QTest::newRow("full-width digits") << QStringList{"２２：２７：３２", "", ""} << "22:27:32" << QList<int>{};
        QTest::newRow("missing seconds") << QStringList{"22:27", "", ""} << "22:27:00" << QList<int>{};
        QTest::newRow("leading blank") << QStringList{" 22:27:32", "", ""} << "22:27:32" << QList<int>{};
        QTest::newRow("trailing blank") << QStringList{"22:27:32 ", "", ""} << "22:27:32" << QList<int>{};
        QTest::newRow("leading zero on the hour") << QStringList{"09:05:07", "", ""} << "9:05:07" << QList<int>{};
        QTest::newRow("empty first slot stops the rest")
            << QStringList{"", "22:27:32", "22:27:32"} << "22:27:32" << QList<int>{};
        QTest::newRow("two slots with the same time")
            << QStringList{"22:27:32", "22:27:32", "6:00:00"} << "22:27:32" << QList<int>{0, 1};
        QTest::newRow("all three") << QStringList{"1:02:03", "1:02:03", "1:02:03"} << "1:02:03"
                                   << QList<int>{0, 1, 2};
    }
    void matching()
    {
        QFETCH(QStringList, starts);
        QFETCH(QString, time);
        QFETCH(QList<int>, due);
        ClockSchedule schedule;
        QCOMPARE(schedule.due({starts[0], starts[1], starts[2]}, time), due);
    }

    void eachSecondIsServedOnce()
    {
        ClockSchedule schedule;
        const ClockSchedule::StartTimes starts{"14:30:00", "14:30:01", ""};
        QCOMPARE(schedule.due(starts, "14:29:59"), QList<int>{});
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{0});
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{});
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{});
        QCOMPARE(schedule.due(starts, "14:30:01"), QList<int>{1});
        // The next day, after other seconds went by.
        QCOMPARE(schedule.due(starts, "14:29:59"), QList<int>{});
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{0});
    }

    void emptyFirstSlotStillUsesUpTheSecond()
    {
        ClockSchedule schedule;
        QCOMPARE(schedule.due({"", "14:30:00", ""}, "14:30:00"), QList<int>{});
        QCOMPARE(schedule.due({"14:30:00", "", ""}, "14:30:00"), QList<int>{});
    }

    void resetStartsAfresh()
    {
        ClockSchedule schedule;
        const ClockSchedule::StartTimes starts{"14:30:00", "", ""};
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{0});
        schedule.reset();
        QCOMPARE(schedule.due(starts, "14:30:00"), QList<int>{0});
    }
};

QTEST_GUILESS_MAIN(TestClockSchedule)
#include "tst_clockschedule.moc"
