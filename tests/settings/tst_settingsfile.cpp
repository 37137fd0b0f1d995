#include "EstablishFixture.h"
#include "fakes/TmpfsMount.h"
#include "fakes/Trees.h"
#include "settings/SettingsFile.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(Settings)

namespace {

Settings changed(std::function<void(Settings &)> change)
{
    Settings settings;
    change(settings);
    return settings;
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(SettingsFile::FileName); }
    QByteArray fileBytes() const { return Trees::readFile(path()); }

private slots:
    void defaultsAreTheTwelveLines()
    {
        QVERIFY(SettingsFile::Write(path(), Settings{}).ok());
        QCOMPARE(fileBytes(), DefaultsFile);
    }

    void linesInFileOrder()
    {
        const Settings settings{1, "/src", 0, "/dst", 0, 1, 0, 1, "9:00:00", "12:00:00", "", 1};
        QVERIFY(SettingsFile::Write(path(), settings).ok());
        QCOMPARE(fileBytes(), QByteArray("1\r\n\"/src\"\r\n0\r\n\"/dst\"\r\n0\r\n1\r\n0\r\n1\r\n"
                                         "\"9:00:00\"\r\n\"12:00:00\"\r\n\"\"\r\n1\r\n"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<Settings>("saved");
        QTest::addColumn<Settings>("loaded");
        const Settings comma = changed([](Settings &s) { s.chkFolder1 = 1; s.txtFolderPath1 = "/home/u/a,b"; });
        QTest::newRow("path with a comma survives") << comma << comma;
        const Settings japanese = changed([](Settings &s) { s.txtFolderPath2 = "/media/u/ＵＳＢ/仕事 報告"; });
        QTest::newRow("Japanese text with a blank survives") << japanese << japanese;
        const Settings blanks = changed([](Settings &s) { s.txtBackup2 = " 14:30:00 "; });
        QTest::newRow("blanks inside the quotes survive") << blanks << blanks;
        const Settings grey = changed([](Settings &s) { s.chkUwa = 2; s.chkTime = 2; });
        QTest::newRow("check value 2 survives") << grey << grey;
        QTest::newRow("double quote cuts the text")
            << changed([](Settings &s) { s.txtFolderPath1 = "/a\"b"; })
            << changed([](Settings &s) { s.txtFolderPath1 = "/a"; });
        QTest::newRow("double quote then comma shifts the later fields")
            << changed([](Settings &s) { s.txtBackup1 = "x\"y,z"; s.chkMsg1 = 1; })
            << changed([](Settings &s) { s.txtBackup1 = "x"; s.txtBackup2 = "z\""; s.chkMsg1 = 0; });
    }
    void roundTrip()
    {
        QFETCH(Settings, saved);
        QFETCH(Settings, loaded);
        QVERIFY(SettingsFile::Write(path(), saved).ok());
        const Result<Settings> read = SettingsFile::Read(path());
        QVERIFY(read.ok());
        QVERIFY(*read == loaded);
    }

    void lenientReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Settings>("loaded");
        QTest::newRow("text where a number belongs reads 0")
            << QByteArray("abc\r\n\"\"\r\n0\r\n\"\"\r\n\"yes\"\r\n1\r\n1\r\n0\r\n\"\"\r\n\"\"\r\n\"\"\r\n0\r\n")
            << changed([](Settings &s) { s.chkEnd = 0; });
        QTest::newRow("fields on one line, bare LF")
            << QByteArray("1,\"/x\",1,\"/y\"\n0,0,0,1,\"8:00:00\",\"\",\"\",1\n")
            << Settings{1, "/x", 1, "/y", 0, 0, 0, 1, "8:00:00", "", "", 1};
        QTest::newRow("unquoted text taken as it stands")
            << QByteArray("0\r\n/home/u/Docs\r\n0\r\n\r\n1\r\n1\r\n1\r\n0\r\n\r\n\r\n\r\n0\r\n")
            << changed([](Settings &s) { s.txtFolderPath1 = "/home/u/Docs"; });
    }
    void lenientReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Settings, loaded);
        Trees::writeFile(path(), bytes);
        const Result<Settings> read = SettingsFile::Read(path());
        QVERIFY(read.ok());
        QVERIFY(*read == loaded);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file
        QTest::addColumn<int>("number");
        QTest::newRow("missing") << QByteArray() << 53;
        QTest::newRow("empty file") << QByteArray("\r\n") << 62;
        QTest::newRow("eleven fields") << DefaultsFile.left(DefaultsFile.size() - 3) << 62;
    }
    void failures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, number);
        QFile::remove(path());
        if (!bytes.isEmpty())
            Trees::writeFile(path(), bytes);
        const Result<Settings> read = SettingsFile::Read(path());
        QVERIFY(!read.ok());
        QCOMPARE(read.error().number, number);
    }

    void shiftJisFileFromTheOriginalSystems()
    {
        const Result<Settings> read = SettingsFile::Read(QFINDTESTDATA("../data/shift-jis/Establish.dat"));
        QVERIFY(read.ok());
        const Settings expected{1, "D:\\仕事\\報告書.old", 1, "E:\\バックアップ", 1, 1, 0, 1, "14:30:00", "", "", 0};
        QVERIFY(*read == expected);
    }

    void refusedWriteReportsAndKeepsTheOldFile()
    {
        // No inode left: only a writer that rewrites the file in place
        // could save, and it would leave a half-written file on a real fault.
        const QString folder = m_dir.filePath("full");
        const TmpfsMount full(folder, "nr_inodes=2,size=1m");
        if (!full.mounted())
            QSKIP("mounting a tmpfs is not permitted here");
        const QString file = folder + QLatin1Char('/') + SettingsFile::FileName;
        QVERIFY(SettingsFile::Write(file, Settings{}).ok());
        const QByteArray old = Trees::readFile(file);

        QVERIFY(!SettingsFile::Write(file, changed([](Settings &s) { s.chkTime = 1; })).ok());
        QCOMPARE(Trees::readFile(file), old);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
