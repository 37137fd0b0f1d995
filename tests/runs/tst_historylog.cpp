#include "fakes/FakePlatform.h"
#include "fakes/Trees.h"
#include "runs/HistoryLog.h"
#include "runs/RunLog.h"

#include <QtTest>

using Trees::readFile;
using Trees::writeFile;

namespace {

const QString CrLf = HistoryLog::CrLf;

QByteArray fileBytes(const FakePlatform &fake)
{
    return Trees::readFile(fake.dataDirectory.filePath(HistoryLog::FileName));
}

} // namespace

class TestHistoryLog : public QObject {
    Q_OBJECT

private slots:
    void header()
    {
        QCOMPARE(HistoryLog::Header, QString(34, '-') + QStringLiteral("今までの履歴") + QString(31, '-'));
    }

    void entries_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("entry");
        QTest::newRow("backup") << false
                                << QStringLiteral("2001/05/20 22:27:32  バックアップ元/home/u/Docs  バックアップ先/media/u/S/Docs");
        QTest::newRow("restore") << true
                                 << QStringLiteral("2001/05/20 22:27:32  復旧元/home/u/Docs  復旧先/media/u/S/Docs");
    }
    void entries()
    {
        QFETCH(bool, restore);
        QFETCH(QString, entry);
        FakeClock clock;
        QCOMPARE(HistoryLog::Entry(clock.dateText(), clock.timeText(),
                                   restore ? HistoryLog::RestoreLabels : HistoryLog::BackupLabels,
                                   "/home/u/Docs", "/media/u/S/Docs"),
                 entry);
    }

    // Each load ends every line with CR LF, so the first entry after a load
    // follows an empty line; entries without a load between follow directly.
    void workedExampleByteForByte()
    {
        FakePlatform fake;
        FakeHistoryBox box;
        const QString e1 = "2001/05/20 22:27:32  バックアップ元/a  バックアップ先/b";
        const QString e2 = "2001/05/20 22:30:00  復旧元/b  復旧先/a";
        const QString e3 = "2001/05/21 9:05:07  バックアップ元/a  バックアップ先/b";

        QVERIFY(HistoryLog::AppendAndSave(box, fake.dataDirectory, e1).ok());
        const QString once = HistoryLog::Header + CrLf + CrLf + e1;
        QCOMPARE(box.text, once);
        QCOMPARE(fileBytes(fake), (once + CrLf).toUtf8());

        const Result<QString> loaded = HistoryLog::Load(fake.dataDirectory);
        QVERIFY(loaded.ok());
        QCOMPARE(*loaded, once + CrLf);

        box.text = *loaded;
        QVERIFY(HistoryLog::AppendAndSave(box, fake.dataDirectory, e2).ok());
        QVERIFY(HistoryLog::AppendAndSave(box, fake.dataDirectory, e3).ok());
        const QString thrice = once + CrLf + CrLf + e2 + CrLf + e3;
        QCOMPARE(box.text, thrice);
        QCOMPARE(fileBytes(fake), (thrice + CrLf).toUtf8());
    }

    void loadByItems_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("line with commas comes back split")
            << QByteArray("head\r\n2001/05/20 1:00:00  バックアップ元/a,b  バックアップ先/c,d\r\n")
            << QStringLiteral("head\r\n2001/05/20 1:00:00  バックアップ元/a\r\nb  バックアップ先/c\r\nd\r\n");
        QTest::newRow("blank lines survive") << QByteArray("a\r\n\r\n\r\nb\r\n") << "a\r\n\r\n\r\nb\r\n";
        QTest::newRow("no final line end") << QByteArray("a\r\nb") << "a\r\nb\r\n";
        QTest::newRow("bare line feeds") << QByteArray("a\nb\n") << "a\r\nb\r\n";
        QTest::newRow("quoted item keeps its comma") << QByteArray("\"a,b\"\r\n") << "a,b\r\n";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("blanks after the last line end") << QByteArray("a\r\nb\r\n \t ") << "a\r\nb\r\n";
    }
    void loadByItems()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        FakePlatform fake;
        Trees::writeFile(fake.dataDirectory.filePath(HistoryLog::FileName), file);
        const Result<QString> loaded = HistoryLog::Load(fake.dataDirectory);
        QVERIFY(loaded.ok());
        QCOMPARE(*loaded, text);
    }

    void missingFileIs53()
    {
        FakePlatform fake;
        const Result<QString> loaded = HistoryLog::Load(fake.dataDirectory);
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.error().number, 53);
    }

    void clearLeavesTheHeaderLine()
    {
        FakePlatform fake;
        FakeHistoryBox box;
        QVERIFY(HistoryLog::AppendAndSave(box, fake.dataDirectory, "entry").ok());
        QVERIFY(HistoryLog::Clear(fake.dataDirectory).ok());
        QCOMPARE(fileBytes(fake), HeaderText.toUtf8());
    }

    void failedWriteKeepsTheEntryInTheBox()
    {
        FakePlatform fake;
        fake.makeDataDirectoryUnwritable();
        FakeHistoryBox box;
        QVERIFY(!HistoryLog::AppendAndSave(box, fake.dataDirectory, "entry").ok());
        QCOMPARE(box.text, HeaderText + CrLf + "entry");
        QVERIFY(!HistoryLog::Clear(fake.dataDirectory).ok());
    }

    void shiftJisFileFromTheOriginalSystems()
    {
        FakePlatform fake;
        QVERIFY(QFile::copy(QFINDTESTDATA("../data/shift-jis/Riri.dat"),
                            fake.dataDirectory.filePath(HistoryLog::FileName)));
        const Result<QString> loaded = HistoryLog::Load(fake.dataDirectory);
        QVERIFY(loaded.ok());
        QCOMPARE(*loaded, HeaderText + CrLf
                              + "2001/05/20 22:27:32  バックアップ元C:\\書類  バックアップ先D:\\書類\r\n"
                                "2001/05/21 9:05:07  バックアップ元C:\\書類  バックアップ先D:\\書類\r\n\r\n"
                                "2001/05/22 8:00:00  復旧元D:\\書類  復旧先C:\\\\書類\r\n");
    }

    // The run log beside the history: past its limit the oldest half goes,
    // cut where a line begins, and the new line still comes last, one line
    // whatever its name holds. A link in the log's place is not written through.
    void runLogDropsItsOldestHalf()
    {
        FakePlatform fake;
        const QString folder = fake.dataDirectory.stateDirectory();
        QByteArray old;
        for (int i = 0; old.size() <= RunLog::Limit; ++i)
            old += "2001/05/20 22:27:32 バックアップ 57 line " + QByteArray::number(i) + '\n';
        writeFile(folder + QLatin1Char('/') + RunLog::FileName, old);
        RunLog::Append(folder, QStringLiteral("new\n0:00 \x1b]0;\a\r\u009b\\x0a\u2028"));
        const QByteArray kept = readFile(folder + QLatin1Char('/') + RunLog::FileName);
        QVERIFY(qAbs(kept.size() - old.size() / 2) < 64);
        QVERIFY(kept.startsWith("2001/05/20 22:27:32 バックアップ 57 line "));
        const QByteArray newest = "new\\x0a0:00 \\x1b]0;\\x07\\x0d\\x9b\\x5cx0a\\x2028\n";
        QVERIFY(old.endsWith(kept.chopped(newest.size())) && kept.endsWith('\n' + newest));
        QVERIFY(QFile::remove(RunLog::FilePath(folder)) && QFile::link(fake.tempPath() + "/x", RunLog::FilePath(folder)));
        RunLog::Append(folder, QStringLiteral("57"));
        QVERIFY(!QFileInfo::exists(fake.tempPath() + "/x"));
    }

};

QTEST_MAIN(TestHistoryLog)
#include "tst_historylog.moc"
