// The drive side of the file-system component and its folder queries, over
// a drive table of temporary folders.

#include "fakes/Ext4Image.h"
#include "fakes/Trees.h"
#include "fakes/FakeDriveTable.h"
#include "runs/CopyCheck.h"
#include "runs/DriveFileSystem.h"

#include <QtTest>

#include <cerrno>
#include <sys/stat.h>

#include <memory>

using namespace Trees;

class TstDriveFileSystem : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void driveNameOfEntriesAndPaths_data();
    void driveNameOfEntriesAndPaths();
    void getDriveFindsTheDriveOrFailsWith68_data();
    void getDriveFindsTheDriveOrFailsWith68();
    void readinessAndFreeSpaceComeFromTheTable();
    void sizeTotalsTheFilesOfTheTree();
    void getFolderAndSizeOfWhatIsNoFolder_data();
    void getFolderAndSizeOfWhatIsNoFolder();
    void flushWorksOnTheNearestExistingFolder();
    void flushOfNoPathFails();
    void flushPutsWrittenDataOnTheDevice();
    void readBackFindsWhatDiffers_data();
    void readBackFindsWhatDiffers();
    void writtenEntriesGiveBackTheirPaths();
    void readBackWidthFollowsTheDisk_data();
    void readBackWidthFollowsTheDisk();

private:
    // "E/Work" becomes the native path under drive E:'s folder.
    QString onDrive(const QString &path) const;

    std::unique_ptr<FakeDriveTable> m_drives;
    std::unique_ptr<DriveFileSystem> m_fs;
};

void TstDriveFileSystem::init()
{
    m_drives = std::make_unique<FakeDriveTable>();
    m_fs = std::make_unique<DriveFileSystem>(*m_drives, m_drives.get());
    m_drives->addDrive(QStringLiteral("D"), QStringLiteral("STICK"));
    m_drives->addDrive(QStringLiteral("E"));
}

void TstDriveFileSystem::cleanup()
{
    m_fs.reset();
    m_drives.reset();
}

QString TstDriveFileSystem::onDrive(const QString &path) const
{
    if (path.size() >= 2 && path[1] == QLatin1Char('/') && path[0].isUpper())
        return m_drives->root(path.left(1)) + path.mid(2);
    return path;
}

void TstDriveFileSystem::driveNameOfEntriesAndPaths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("driveName");
    QTest::newRow("drive list entry") << "C: [ホーム]" << "C:";
    QTest::newRow("drive name") << "D:" << "D:";
    QTest::newRow("lower case") << "e:" << "E:";
    QTest::newRow("drive root") << "D/" << "D:";
    QTest::newRow("drive root without separator") << "D/." << "D:";
    QTest::newRow("path on a drive") << "E/Work/Report.old" << "E:";
    QTest::newRow("doubled separator") << "D//Data" << "D:";
    QTest::newRow("path on no drive") << "/nowhere/at/all" << "";
    QTest::newRow("relative path") << "Work/Report" << "";
    QTest::newRow("a letter alone is a relative path") << "C" << "";
    QTest::newRow("empty") << "" << "";
}

void TstDriveFileSystem::driveNameOfEntriesAndPaths()
{
    QFETCH(QString, text);
    QFETCH(QString, driveName);
    QCOMPARE(m_fs->GetDriveName(onDrive(text)), driveName);
}

void TstDriveFileSystem::getDriveFindsTheDriveOrFailsWith68_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found"); // empty: error 68
    QTest::newRow("D:") << "D:" << "D:";
    QTest::newRow("d") << "d" << "D:";
    QTest::newRow("entry text") << "D: [STICK]" << "D:";
    QTest::newRow("no such drive") << "Q:" << "";
    QTest::newRow("A: is never given") << "A:" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("no letter") << "1:" << "";
    QTest::newRow("a path") << "/tmp" << "";
}

void TstDriveFileSystem::getDriveFindsTheDriveOrFailsWith68()
{
    QFETCH(QString, name);
    QFETCH(QString, found);
    const Result<DriveEntry> drive = m_fs->GetDrive(name);
    if (found.isEmpty()) {
        QVERIFY(!drive.ok());
        QCOMPARE(drive.error().number, 68);
    } else {
        QVERIFY(drive.ok());
        QCOMPARE(drive->name, found);
        QCOMPARE(drive->root, m_drives->root(found));
    }
}

void TstDriveFileSystem::readinessAndFreeSpaceComeFromTheTable()
{
    const DriveEntry stick = m_fs->GetDrive(QStringLiteral("D:")).value();
    m_drives->setFreeSpace(QStringLiteral("D"), 123456789);
    QVERIFY(m_fs->IsReady(stick));
    QCOMPARE(m_fs->FreeSpace(stick).value(), 123456789);

    m_drives->setReady(QStringLiteral("D"), false);
    QVERIFY(!m_fs->IsReady(stick));
    const Result<qint64> space = m_fs->FreeSpace(stick);
    QVERIFY(!space.ok());
    QCOMPARE(space.error().number, 71);
    QVERIFY(m_fs->IsReady(m_fs->GetDrive(QStringLiteral("E:")).value()));
}

void TstDriveFileSystem::sizeTotalsTheFilesOfTheTree()
{
    const QString docs = onDrive(QStringLiteral("D/Docs"));
    writeFile(docs + QStringLiteral("/a.txt"), QByteArray(1000, 'a'));
    writeFile(docs + QStringLiteral("/sub/b.txt"), QByteArray(234, 'b'));
    writeFile(docs + QStringLiteral("/sub/deeper/c.txt"), QByteArray(5, 'c'));
    writeFile(docs + QStringLiteral("/sub/empty.txt"), QByteArray());
    makeFolder(docs + QStringLiteral("/empty"));
    // A link counts as nothing, and what it points to is not counted twice.
    makeLink(docs + QStringLiteral("/sub"), docs + QStringLiteral("/sub link"));

    const Result<Folder> folder = m_fs->GetFolder(docs + QStringLiteral("//"));
    QVERIFY(folder.ok());
    QCOMPARE(m_fs->Size(*folder).value(), 1239);
    QCOMPARE(m_fs->Size(Folder{docs + QStringLiteral("/empty")}).value(), 0);
}

void TstDriveFileSystem::getFolderAndSizeOfWhatIsNoFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("number");
    QTest::newRow("missing") << "D/Nothing" << 76;
    QTest::newRow("a file") << "D/file.txt" << 76;
    QTest::newRow("below a file") << "D/file.txt/x" << 76;
    QTest::newRow("empty") << "" << 76;
    QTest::newRow("relative") << "Docs" << 76;
    QTest::newRow("NUL inside") << QStringLiteral("D/Docs") + QChar(0) << 75;
}

void TstDriveFileSystem::getFolderAndSizeOfWhatIsNoFolder()
{
    QFETCH(QString, path);
    QFETCH(int, number);
    writeFile(onDrive(QStringLiteral("D/file.txt")), "f");
    makeFolder(onDrive(QStringLiteral("D/Docs")));

    const Result<Folder> folder = m_fs->GetFolder(onDrive(path));
    QVERIFY(!folder.ok());
    QCOMPARE(folder.error().number, number);
    const Result<qint64> size = m_fs->Size(Folder{onDrive(path)});
    QVERIFY(!size.ok());
    QCOMPARE(size.error().number, number);
}

void TstDriveFileSystem::flushWorksOnTheNearestExistingFolder()
{
    makeFolder(onDrive(QStringLiteral("D/Docs")));
    QVERIFY(m_fs->FlushToDevice(onDrive(QStringLiteral("D/Docs"))).ok());
    QVERIFY(m_fs->FlushToDevice(onDrive(QStringLiteral("D//Docs/not/yet/there"))).ok());
}

void TstDriveFileSystem::flushOfNoPathFails()
{
    for (const QString &path : {QString(), QStringLiteral("Docs")}) {
        const Result<void> flushed = m_fs->FlushToDevice(path);
        QVERIFY(!flushed.ok());
        QVERIFY(flushed.error().number != 0);
    }
}

void TstDriveFileSystem::flushPutsWrittenDataOnTheDevice()
{
    QTemporaryDir folder;
    const Ext4Image disk(folder.path());
    if (!disk.mounted())
        QSKIP("mounting a loop device is not permitted here");
    // ext4 allocates a new file's blocks late: its data stays in memory,
    // not in the image, until something flushes it.
    const QByteArray data = "on the device " + QByteArray::number(QRandomGenerator::global()->generate64());
    writeFile(disk.mountPoint() + QStringLiteral("/Docs/a.txt"), data);
    QVERIFY(!readFile(disk.imagePath()).contains(data));

    QVERIFY(m_fs->FlushToDevice(disk.mountPoint() + QStringLiteral("/Docs")).ok());

    QVERIFY(readFile(disk.imagePath()).contains(data));
}

void TstDriveFileSystem::readBackFindsWhatDiffers_data()
{
    QTest::addColumn<QString>("change");  // made to the copy or its source before the read-back
    QTest::addColumn<QString>("failure"); // in the error's description; empty: it reads back well
    QTest::newRow("as copied") << "" << "";
    QTest::newRow("one flipped byte") << "flip" << "differs from the source at byte 9437000: ";
    QTest::newRow("killed before the read-back") << "flip, no read-back" << "";
    QTest::newRow("short copy") << "truncate" << "is 1000 bytes, not 9438184: ";
    QTest::newRow("read error") << "read error" << "Input/output error: ";
    QTest::newRow("other link target") << "relink" << "link differs: ";
    QTest::newRow("folder swapped for a link") << "swap" << "Not a directory: ";
    QTest::newRow("copy moved, an empty folder in its place") << "move" << "";
    // Not the device's fault: named, and copied again by the next run.
    QTest::newRow("source changed since") << "source" << "changed since it was copied";
    QTest::newRow("source rewritten, its time put back") << "source, time kept" << "changed since it was copied";
    QTest::newRow("source deleted") << "source deleted" << "changed since it was copied";
    // The large file holds data only at its ends.
    QTest::newRow("with holes, as copied") << "holes" << "";
    QTest::newRow("with holes, a byte flipped past one") << "holes, flip" << "differs from the source at byte 9437000: ";
    QTest::newRow("with holes, a byte put into one") << "holes, fill" << "differs from the source at byte 5000000: ";
}

// The copy is changed behind the program's back, its time kept, as by a
// device that hands back other bytes than it took.
void TstDriveFileSystem::readBackFindsWhatDiffers()
{
    QFETCH(QString, change);
    QFETCH(QString, failure);
    const bool holes = change.startsWith(QLatin1String("holes"));
    const QString source = onDrive(QStringLiteral("C/Data")), copy = onDrive(QStringLiteral("D/Data"));
    writeFile(source + QStringLiteral("/a.txt"), "small");
    // Three chunks of the read-back, the last one short of a whole block.
    writeFile(source + QStringLiteral("/sub/big.bin"), QByteArray(holes ? 4096 : 9 * 1024 * 1024 + 1000, 'x'));
    if (holes) {
        QFile sparse(source + QStringLiteral("/sub/big.bin"));
        QVERIFY(sparse.open(QIODevice::ReadWrite) && sparse.seek(9437000) && sparse.write(QByteArray(1184, 'x')) == 1184);
    }
    makeLink(QStringLiteral("a.txt"), source + QStringLiteral("/link"));
    WrittenRecorder recorder(nullptr);
    QVERIFY(m_fs->CopyFolder(source, copy, {}, &recorder).ok());
    QCOMPARE(recorder.written.size(), size_t(4)); // a.txt, link, big.bin, sub

    const QByteArray big = QFile::encodeName(copy + QStringLiteral("/sub/big.bin"));
    struct stat before, original;
    QCOMPARE(::stat(big.constData(), &before), 0);
    QCOMPARE(::stat(QFile::encodeName(source + QStringLiteral("/sub/big.bin")).constData(), &original), 0);
    QFile file(QString::fromLocal8Bit(big));
    if (change.contains(QLatin1String("flip")) || change.contains(QLatin1String("fill")))
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(change.contains(QLatin1String("fill")) ? 5000000 : 9437000)
                && file.putChar('y'));
    file.close();
    if (change == QLatin1String("truncate"))
        QVERIFY(file.resize(1000));
    if (change == QLatin1String("read error"))
        m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::ReadBack, EIO);
    if (change == QLatin1String("relink"))
        QVERIFY(QFile::remove(copy + QStringLiteral("/link")) && QFile::link(QStringLiteral("sub"), copy + QStringLiteral("/link")));
    const QString elsewhere = onDrive(QStringLiteral("D/elsewhere"));
    if (change == QLatin1String("swap"))
        QVERIFY(QDir().rename(copy + QStringLiteral("/sub"), elsewhere) && QFile::link(elsewhere, copy + QStringLiteral("/sub")));
    if (change == QLatin1String("source"))
        writeFile(source + QStringLiteral("/sub/big.bin"), "changed");
    if (change == QLatin1String("source, time kept")) {
        writeFile(source + QStringLiteral("/sub/big.bin"), QByteArray(9 * 1024 * 1024 + 1000, 'y'));
        const struct timespec put[2] = {original.st_atim, original.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(source + QStringLiteral("/sub/big.bin")).constData(), put, 0), 0);
    }
    if (change == QLatin1String("source deleted"))
        QVERIFY(QFile::remove(source + QStringLiteral("/sub/big.bin")));
    const struct timespec kept[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, big.constData(), kept, 0), 0);
    const QString moved = onDrive(QStringLiteral("D/moved"));
    if (change == QLatin1String("move"))
        QVERIFY(QDir().rename(copy, moved) && QDir().mkdir(copy));

    const Result<void> checked = change.endsWith(QLatin1String("no read-back")) ? Result<void>()
                                                                                 : m_fs->ReadBack(recorder);
    QCOMPARE(checked.ok(), failure.isEmpty());
    // The copy is read where it went, not what stands at its path now.
    if (change == QLatin1String("move"))
        QVERIFY(QDir(copy).isEmpty() && QDir().rmdir(copy) && QDir().rename(moved, copy));
    // Only a copy read back right looks current (the link is another
    // entry), and nothing outside the copy is touched.
    QCOMPARE(::stat(big.constData(), &before), 0);
    QCOMPARE(sameInstant(before.st_mtim, original.st_mtim), QStringList({"", "holes", "relink", "move"}).contains(change));
    if (change == QLatin1String("swap"))
        QVERIFY(QFile::remove(copy + QStringLiteral("/sub")) && QDir().rename(elsewhere, copy + QStringLiteral("/sub")));
    const int number = change.startsWith(QLatin1String("source")) ? ErrorNumber::PathFileAccess : ErrorNumber::DeviceIO;
    QVERIFY2(checked || checked.error().number == number, qPrintable(QString::number(checked.error().number)));
    QVERIFY2(checked || checked.error().description.contains(failure), qPrintable(checked.error().description));
    if (number == ErrorNumber::PathFileAccess)
        QVERIFY2(checked.error().description.endsWith(source + QStringLiteral("/sub/big.bin")), qPrintable(checked.error().description));
    // Whatever failed is copied again by the next repeat, even a file whose
    // size and time still look current.
    m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::ReadBack, 0);
    QVERIFY(m_fs->CopyFolder(source, copy, {.overwrite = true}).ok());
    if (change != QLatin1String("source deleted"))
        QCOMPARE(listing(copy), listing(source));
}

// The record of what a copy wrote keeps each folder once; every entry must
// still come back with its own two paths, however they split.
void TstDriveFileSystem::writtenEntriesGiveBackTheirPaths()
{
    using Kind = WrittenEntry::Kind;
    const std::vector<WrittenEntry> wrote = {
        {Kind::Folder, "/home/u/Work", "/media/stick/Backup", 0, {}, {}, false}, // the names differ
        {Kind::File, "/home/u/Work/a.txt", "/media/stick/Backup/a.txt", 5, {7, 8}, {}, false},
        {Kind::Link, "/home/u/Work/l", "/media/stick/Backup/l", 0, {}, "a.txt", false},
        {Kind::File, "/home/u/Work/sub/b", "/media/stick/Backup/sub/b", 9, {1, 2}, {}, true},
        {Kind::File, "/home/u/Work/c", "/media/stick/Backup/c", 1, {}, {}, false}, // back in a folder left
        {Kind::File, "/x", "/y/x", 2, {}, {}, false},                            // at the root
        {Kind::File, "/s/", "/d/", 3, {}, {}, false},                            // no name to split off
    };
    WrittenEntries written;
    for (const WrittenEntry &entry : wrote)
        written.push_back(entry);
    QCOMPARE(written.size(), wrote.size());
    size_t at = 0;
    for (const WrittenEntry &entry : written) {
        const WrittenEntry &expected = wrote[at++];
        QCOMPARE(entry.source, expected.source);
        QCOMPARE(entry.destination, expected.destination);
        QVERIFY(entry.kind == expected.kind && entry.size == expected.size && entry.sourceIsLink == expected.sourceIsLink);
        QVERIFY(sameInstant(entry.modified, expected.modified));
        QCOMPARE(entry.linkTarget, expected.linkTarget);
    }
    QCOMPARE(at, wrote.size());
    QCOMPARE(written.files().count, 5);
    QCOMPARE(written.files().bytes, 20);
}

void TstDriveFileSystem::readBackWidthFollowsTheDisk_data()
{
    QTest::addColumn<QString>("device"); // its folder under /sys/devices
    QTest::addColumn<bool>("oneAtATime");
    const QString pci = QStringLiteral("pci0000:00/0000:00:04.0/");
    QTest::newRow("nvme") << pci + "nvme/nvme0/nvme0n1" << false;
    QTest::newRow("virtual disk, told rotational") << pci + "virtio1/block/vda" << false;
    QTest::newRow("disk that queues one") << pci + "ata1/host0/target0:0:0/0:0:0:0/block/sda" << true;
    QTest::newRow("stick on usb, not removable") << pci + "usb2/2-1/2-1:1.0/host6/block/sdc" << true;
    QTest::newRow("removable") << pci + "block/sdd" << true;
    QTest::newRow("partition of it") << pci + "block/sdd/sdd1" << true;
    QTest::newRow("sd card") << pci + "mmc_host/mmc0/mmc0:aaaa/block/mmcblk0" << true;
    QTest::newRow("encrypted stick") << "virtual/block/dm-0" << true;
    QTest::newRow("encrypted nvme") << "virtual/block/dm-1" << false;
}

// Sticks and card readers serve one request at a time and get one; a disk
// with a queue gets many, whatever it says of its rotation.
void TstDriveFileSystem::readBackWidthFollowsTheDisk()
{
    QFETCH(QString, device);
    QFETCH(bool, oneAtATime);
    QTemporaryDir sys;
    const QString pci = sys.path() + QStringLiteral("/devices/pci0000:00/0000:00:04.0/");
    const QString stick = pci + "usb2/2-1/2-1:1.0/host6/block/sdc", nvme = pci + "nvme/nvme0/nvme0n1";
    // Every disk has a queue; the rest as Linux tells it.
    for (const QString &disk : {nvme, pci + "virtio1/block/vda", pci + "ata1/host0/target0:0:0/0:0:0:0/block/sda", stick,
                                pci + "block/sdd", pci + "mmc_host/mmc0/mmc0:aaaa/block/mmcblk0",
                                sys.path() + "/devices/virtual/block/dm-0", sys.path() + "/devices/virtual/block/dm-1"})
        writeFile(disk + "/queue/rotational", disk.contains(QLatin1String("nvme")) ? "0\n" : "1\n");
    writeFile(pci + "ata1/host0/target0:0:0/0:0:0:0/block/sda/device/queue_depth", "1\n");
    writeFile(stick + "/device/queue_depth", "64\n");
    writeFile(stick + "/sdc1/partition", "1\n");
    writeFile(pci + "block/sdd/sdd1/partition", "1\n");
    writeFile(pci + "block/sdd/removable", "1\n");
    makeFolder(sys.path() + "/devices/virtual/block/dm-0/slaves");
    makeLink(stick + "/sdc1", sys.path() + "/devices/virtual/block/dm-0/slaves/sdc1");
    makeFolder(sys.path() + "/devices/virtual/block/dm-1/slaves");
    makeLink(nvme, sys.path() + "/devices/virtual/block/dm-1/slaves/nvme0n1");

    const size_t width = readBackWidthOf((sys.path() + "/devices/" + device).toStdString());
    QCOMPARE(width == 1, oneAtATime);
    QVERIFY(width >= 1);
}

QTEST_GUILESS_MAIN(TstDriveFileSystem)
#include "tst_drivefilesystem.moc"
