// The rate and time left a long copy shows, from its progress over time.
#include "platform/CopyEstimate.h"

#include <QtTest>

namespace {

using namespace std::chrono_literals;

constexpr qint64 MiB = 1024 * 1024;

// A stretch of a copy at even speed.
struct Phase {
    qint64 ms;
    double bytesPerSecond;
    double filesPerSecond;
};

} // namespace

Q_DECLARE_METATYPE(Phase)

class tst_CopyEstimate : public QObject {
    Q_OBJECT
private slots:
    void followsTheCopy_data();
    void followsTheCopy();
    void partDoneWeighsFiles();
    void timeLeftInWords_data();
    void timeLeftInWords();
};

void tst_CopyEstimate::followsTheCopy_data()
{
    QTest::addColumn<qint64>("totalFiles");
    QTest::addColumn<qint64>("totalBytes");
    QTest::addColumn<QList<Phase>>("phases");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("timeLeft");

    QTest::newRow("nothing before two seconds")
        << qint64(1) << 2000 * MiB << QList<Phase>{{1900, 10.0 * MiB, 0}} << "" << "";
    QTest::newRow("steady rate")
        << qint64(1) << 2000 * MiB << QList<Phase>{{10000, 12.4 * MiB, 0}} << "12.4 MB/秒" << "残り 約3分";
    QTest::newRow("steady rate, seconds left")
        << qint64(1) << 480 * MiB << QList<Phase>{{10000, 10.0 * MiB, 0}} << "10.0 MB/秒" << "残り 約40秒";
    // One slow file is evened out over the last five seconds.
    QTest::newRow("a short stall")
        << qint64(1) << 2000 * MiB << QList<Phase>{{10000, 10.0 * MiB, 0}, {2000, 0, 0}}
        << "6.0 MB/秒" << "残り 約5分";
    QTest::newRow("a stall longer than the window")
        << qint64(1) << 2000 * MiB << QList<Phase>{{10000, 10.0 * MiB, 0}, {6000, 0, 0}}
        << "0 bytes/秒" << "";
    // A burst into the disk cache.
    QTest::newRow("a burst")
        << qint64(1) << 2000 * MiB << QList<Phase>{{10000, 10.0 * MiB, 0}, {500, 200.0 * MiB, 0}}
        << "29.0 MB/秒" << "残り 約1分";
    QTest::newRow("a burst, forgotten five seconds on")
        << qint64(1) << 2000 * MiB
        << QList<Phase>{{10000, 10.0 * MiB, 0}, {500, 200.0 * MiB, 0}, {5000, 10.0 * MiB, 0}}
        << "10.0 MB/秒" << "残り 約3分";
    // Empty files move no bytes, yet the copy goes on and its end can be told.
    QTest::newRow("many small files")
        << qint64(20000) << qint64(0) << QList<Phase>{{5000, 0, 1000}} << "0 bytes/秒" << "残り 約20秒";
    QTest::newRow("many small files, then fewer per second")
        << qint64(20000) << 20000 * 4096LL << QList<Phase>{{5000, 4096 * 1000.0, 1000}, {10000, 4096 * 200.0, 200}}
        << "800.0 kB/秒" << "残り 約1分";
}

void tst_CopyEstimate::followsTheCopy()
{
    QFETCH(qint64, totalFiles);
    QFETCH(qint64, totalBytes);
    QFETCH(QList<Phase>, phases);
    QFETCH(QString, rate);
    QFETCH(QString, timeLeft);

    // Sampled every tenth of a second, as the progress window does.
    CopyEstimate estimate(totalFiles, totalBytes);
    qint64 at = 0;
    double files = 0, bytes = 0;
    estimate.sample(0ms, 0, 0);
    for (const Phase &phase : phases)
        for (qint64 end = at + phase.ms; at < end;) {
            at += 100;
            files += phase.filesPerSecond / 10;
            bytes += phase.bytesPerSecond / 10;
            estimate.sample(std::chrono::milliseconds(at), qint64(files + 0.5), qint64(bytes + 0.5));
        }
    QCOMPARE(estimate.rateText(QLocale::c()), rate);
    QCOMPARE(estimate.timeLeftText(), timeLeft);
}

void tst_CopyEstimate::partDoneWeighsFiles()
{
    QCOMPARE(CopyEstimate(4, 4 * MiB).partDone(2, 2 * MiB), 0.5);
    QCOMPARE(CopyEstimate(100, 0).partDone(25, 0), 0.25);
    QCOMPARE(CopyEstimate(0, 0).partDone(0, 0), 0.0);
    // The large files came first: every byte is written, most files are not.
    QVERIFY(CopyEstimate(5004, 100 * MiB).partDone(324, 100 * MiB) < 0.2);
}

void tst_CopyEstimate::timeLeftInWords_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("done but for the last step") << 0 << "残り 約10秒";
    QTest::newRow("ten") << 10 << "残り 約10秒";
    QTest::newRow("rounded up to ten") << 11 << "残り 約20秒";
    QTest::newRow("forty") << 40 << "残り 約40秒";
    QTest::newRow("fifty") << 50 << "残り 約50秒";
    QTest::newRow("under a minute, rounded up to it") << 51 << "残り 約1分";
    QTest::newRow("a minute and a half and less") << 89 << "残り 約1分";
    QTest::newRow("a minute and a half") << 90 << "残り 約2分";
    QTest::newRow("minutes") << 185 << "残り 約3分";
    QTest::newRow("just under the hour") << 3569 << "残り 約59分";
    QTest::newRow("the hour") << 3570 << "残り 約1時間";
    QTest::newRow("hours and minutes") << 4810 << "残り 約1時間20分";
}

void tst_CopyEstimate::timeLeftInWords()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(TimeLeftText(std::chrono::seconds(seconds)), text);
}

QTEST_GUILESS_MAIN(tst_CopyEstimate)
#include "tst_copyestimate.moc"
