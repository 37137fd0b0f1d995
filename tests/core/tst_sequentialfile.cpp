#include "core/SequentialFile.h"
#include "fakes/ResourceLimit.h"
#include "fakes/TmpfsMount.h"
#include "fakes/Trees.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList readAllFields(const QString &text)
{
    SequentialReader reader(text);
    QStringList fields;
    while (!reader.atEnd())
        fields << reader.readField().value();
    return fields;
}

} // namespace

class TestSequentialFile : public QObject {
    Q_OBJECT
private slots:
    void fieldRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("one line") << "Docs\r\n" << QStringList{"Docs"};
        QTest::newRow("comma splits") << "a,b\r\n" << QStringList{"a", "b"};
        QTest::newRow("quoted keeps comma") << "\"C:\\a,b\"\r\n" << QStringList{"C:\\a,b"};
        QTest::newRow("quotes dropped") << "\"\"\r\n1\r\n" << QStringList{"", "1"};
        QTest::newRow("blank line is an empty item") << "a\r\n\r\nb\r\n" << QStringList{"a", "", "b"};
        QTest::newRow("leading blanks skipped") << "  x y  \r\n" << QStringList{"x y"};
        QTest::newRow("text after closing quote ignored") << "\"ab\"cd,e\r\n" << QStringList{"ab", "e"};
        QTest::newRow("bare LF and CR end lines") << "a\nb\rc" << QStringList{"a", "b", "c"};
        QTest::newRow("no final line end") << "last" << QStringList{"last"};
        QTest::newRow("unclosed quote runs to the end") << "\"abc\r\n" << QStringList{"abc\r\n"};
    }
    void fieldRules()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        QCOMPARE(readAllFields(text), fields);
    }

    void endOfFileIsError62()
    {
        SequentialReader empty{QString()};
        QVERIFY(empty.atEnd());
        const auto field = empty.readField();
        QVERIFY(!field);
        QCOMPARE(field.error().number, 62);

        SequentialReader one(QStringLiteral("1\r\n"));
        QCOMPARE(one.readInt().value(), 1);
        QCOMPARE(one.readInt().error().number, 62);
    }

    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("two") << "2" << 2;
        QTest::newRow("text reads as 0") << "abc" << 0;
        QTest::newRow("quoted text reads as 0") << "\"x\"" << 0;
        QTest::newRow("empty reads as 0") << "" << 0;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        SequentialReader reader(text + QStringLiteral("\r\n"));
        QCOMPARE(reader.readInt().value(), value);
    }

    void missingFileIs53()
    {
        QTemporaryDir dir;
        const auto reader = SequentialReader::open(dir.filePath(QStringLiteral("none.dat")));
        QVERIFY(!reader);
        QCOMPARE(reader.error().number, 53);
    }

    // Each of these once hung the program or ran it out of memory.
    void onlyRegularFilesOfDataSizeAreRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("folder") << "folder";
        QTest::newRow("larger than any data file") << "large";
    }
    void onlyRegularFilesOfDataSizeAreRead()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Path.dat"));
        const QByteArray name = QFile::encodeName(path);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == "zero")
            Trees::makeLink(QStringLiteral("/dev/zero"), path);
        else if (kind == "folder")
            Trees::makeFolder(path);
        else
            Trees::writeFile(path, QByteArray(SequentialReader::MaxBytes + 1, 'x'));

        ::alarm(10); // a blocked open ends the test instead of hanging it
        const auto reader = SequentialReader::open(path);
        ::alarm(0);
        QVERIFY(!reader);
        QCOMPARE(reader.error().number, 75);
    }

    void shiftJisFilesDecode()
    {
        auto reader = SequentialReader::open(QFINDTESTDATA("../data/shift-jis/Path.dat"));
        QVERIFY(reader);
        QCOMPARE(reader.value().readField().value(), QStringLiteral("表計算ソフト"));

        auto settings = SequentialReader::open(QFINDTESTDATA("../data/shift-jis/Establish.dat"));
        QVERIFY(settings);
        QCOMPARE(settings.value().readInt().value(), 1);
        QCOMPARE(settings.value().readField().value(), QStringLiteral("D:\\仕事\\報告書.old"));
    }

    void utf8IsPreferred()
    {
        const QString text = QStringLiteral("表計算ソフト");
        QCOMPARE(SequentialReader::decode(text.toUtf8()), text);
    }

    void writerRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/Establish.dat"));
        SequentialWriter writer;
        writer.writeInt(0);
        writer.writeQuoted(QStringLiteral("/media/u/a,b"));
        writer.writeLine(QStringLiteral("表計算"));
        writer.writeQuoted(QString());
        QVERIFY(writer.commit(path));
        QCOMPARE(Trees::readFile(path),
                 QByteArray("0\r\n\"/media/u/a,b\"\r\n") + QStringLiteral("表計算").toUtf8()
                     + QByteArray("\r\n\"\"\r\n"));

        auto reader = SequentialReader::open(path);
        QVERIFY(reader);
        QCOMPARE(reader.value().readInt().value(), 0);
        QCOMPARE(reader.value().readField().value(), QStringLiteral("/media/u/a,b"));
        QCOMPARE(reader.value().readField().value(), QStringLiteral("表計算"));
        QCOMPARE(reader.value().readField().value(), QString());
        QVERIFY(reader.value().atEnd());

        // Written anew, the file keeps the bits its owner gave it.
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0604), 0);
        QVERIFY(writer.commit(path));
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0604));
    }

    void failedCommitKeepsOldFile()
    {
        // A file system with no inode left: the file can still be rewritten
        // in place, but no new file can be made beside it.
        QTemporaryDir dir;
        const TmpfsMount full(dir.filePath(QStringLiteral("full")), "nr_inodes=2,size=1m");
        if (!full.mounted())
            QSKIP("mounting a tmpfs is not permitted here");
        const QString path = dir.filePath(QStringLiteral("full/Path.dat"));
        SequentialWriter first;
        first.writeLine(QStringLiteral("old"));
        QVERIFY(first.commit(path));

        SequentialWriter second;
        second.writeLine(QStringLiteral("new"));
        const auto result = second.commit(path);
        QVERIFY(!result);
        QCOMPARE(result.error().number, ErrorNumber::DiskFull);
        QCOMPARE(Trees::readFile(path), QByteArray("old\r\n"));
    }

    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("sizeLimit"); // else the disk is full
        QTest::newRow("full disk") << false;
        // Part of the bytes is written, the rest refused.
        QTest::newRow("file larger than allowed") << true;
    }

    // A full disk refuses the new bytes: the step fails, the old file stays
    // byte for byte and no temporary is left behind.
    void fullDiskKeepsTheOldFile()
    {
        QFETCH(bool, sizeLimit);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("full"));
        const TmpfsMount full(folder, "size=64k");
        if (!full.mounted())
            QSKIP("mounting a tmpfs is not permitted here");
        const QString path = folder + QStringLiteral("/Riri.dat");
        Trees::writeFile(path, "head\r\nold\r\n");
        if (!sizeLimit)
            full.fill();
        SequentialWriter writer; // more than the room left in the file's last block
        writer.writeLine(QString(8192, 'n'));

        for (const bool append : {false, true}) {
            const Result<void> written = [&] {
                const ResourceLimit limit(RLIMIT_FSIZE, sizeLimit ? 4000 : RLIM_INFINITY);
                return append ? writer.append(path) : writer.commit(path);
            }();
            QVERIFY(!written);
            QCOMPARE(written.error().number, 61);
            QCOMPARE(Trees::readFile(path), QByteArray("head\r\nold\r\n"));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                     sizeLimit ? QStringList{"Riri.dat"} : QStringList({"Riri.dat", "filler"}));
        }
    }
};

QTEST_GUILESS_MAIN(TestSequentialFile)
#include "tst_sequentialfile.moc"
