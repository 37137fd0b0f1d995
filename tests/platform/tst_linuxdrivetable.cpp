// The Linux drive table: which mounted file systems become drives, which
// letters they hold while mounts come and go, and the watch on the kernel's
// mount table.

#include "fakes/Ext4Image.h"
#include "fakes/TmpfsMount.h"
#include "fakes/Trees.h"
#include "platform/LinuxDriveTable.h"
#include "platform/LinuxMountWatch.h"

#include <QtTest>

#include <algorithm>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

using namespace Trees;

namespace {

// One mountinfo line for a mount point and file system type.
QByteArray mountLine(int id, const QByteArray &mountPoint, const QByteArray &type,
                     const QByteArray &device = "8:1")
{
    return QByteArray::number(id) + " 1 " + device + " / " + mountPoint + " rw,relatime shared:1 - "
           + type + " /dev/sdx rw\n";
}

QStringList texts(const QList<DriveEntry> &drives)
{
    QStringList result;
    for (const DriveEntry &d : drives)
        result << d.text() + QLatin1Char(' ') + d.root;
    return result;
}

// A drive table over a mount table file that the test rewrites.
struct FakeMountTable {
    QTemporaryDir tmp;
    QString path = tmp.filePath(QStringLiteral("mountinfo"));
    QString byUuid = tmp.filePath(QStringLiteral("by-uuid"));
    LinuxDriveTable table{QStringLiteral("/home/u"), path, byUuid};

    QList<DriveEntry> drivesAfter(const QByteArray &mountInfo)
    {
        Trees::writeFile(path, mountInfo);
        return table.drives();
    }
};

QList<DriveEntry> tableFrom(const QByteArray &mountInfo)
{
    FakeMountTable mounts;
    return mounts.drivesAfter(mountInfo);
}

} // namespace

class TstLinuxDriveTable : public QObject {
    Q_OBJECT

private slots:
    void keepsDataFileSystemsInMountOrder();
    void skipsVirtualAndSystemFileSystems_data();
    void skipsVirtualAndSystemFileSystems();
    void runsOutOfLettersAtY();
    void lettersHoldStill();
    void readsTheMountTableAndTheFoldersAfresh();
    void freeSpaceLeavesOutRootsReserve();
    void watchHearsMountsComeAndGo();
};

void TstLinuxDriveTable::keepsDataFileSystemsInMountOrder()
{
    const QByteArray mountInfo = mountLine(1, "/", "ext4") + mountLine(2, "/proc", "proc")
                                 + mountLine(3, "/mnt/data", "ext4")
                                 + mountLine(4, "/media/u/USBSTICK", "vfat")
                                 + mountLine(5, "/run/media/u/My\\040Disk", "exfat")
                                 + mountLine(6, "/home/u", "ext4")
                                 + mountLine(7, "/media/u/USBSTICK", "vfat")
                                 + "broken line\n";

    const QList<DriveEntry> drives = tableFrom(mountInfo);

    QCOMPARE(texts(drives), QStringList({"C: [ホーム] /home/u/", "D: [USBSTICK] /media/u/USBSTICK/",
                                         "E: [data] /mnt/data/", "F: [My Disk] /run/media/u/My Disk/",
                                         "Z: [/] /"}));
}

void TstLinuxDriveTable::skipsVirtualAndSystemFileSystems_data()
{
    QTest::addColumn<QByteArray>("mountPoint");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("proc") << QByteArray("/proc") << QByteArray("proc");
    QTest::newRow("tmpfs") << QByteArray("/mnt/scratch") << QByteArray("tmpfs");
    QTest::newRow("cgroup") << QByteArray("/sys/fs/cgroup") << QByteArray("cgroup2");
    QTest::newRow("overlay") << QByteArray("/mnt/merged") << QByteArray("overlay");
    QTest::newRow("snap image") << QByteArray("/snap/core/1") << QByteArray("squashfs");
    QTest::newRow("desktop portal") << QByteArray("/run/user/1000/doc") << QByteArray("fuse.portal");
    QTest::newRow("boot partition") << QByteArray("/boot/efi") << QByteArray("vfat");
    QTest::newRow("container's file") << QByteArray("/etc/hosts") << QByteArray("ext4");
    QTest::newRow("system folder") << QByteArray("/var") << QByteArray("ext4");
    QTest::newRow("runtime folder") << QByteArray("/run/user/1000") << QByteArray("ext4");
    QTest::newRow("home folder itself") << QByteArray("/home/u") << QByteArray("ext4");
}

void TstLinuxDriveTable::skipsVirtualAndSystemFileSystems()
{
    QFETCH(QByteArray, mountPoint);
    QFETCH(QByteArray, type);
    const QList<DriveEntry> drives
        = tableFrom(mountLine(1, "/", "ext4") + mountLine(2, mountPoint, type));
    QCOMPARE(texts(drives), QStringList({"C: [ホーム] /home/u/", "Z: [/] /"}));
}

void TstLinuxDriveTable::runsOutOfLettersAtY()
{
    QByteArray mountInfo;
    for (int i = 0; i < 30; ++i)
        mountInfo += mountLine(i, "/mnt/d" + QByteArray::number(10 + i), "ext4");

    FakeMountTable mounts;
    const QList<DriveEntry> drives = mounts.drivesAfter(mountInfo);

    QCOMPARE(drives.size(), 1 + 22 + 1);
    QCOMPARE(drives[1].name, QStringLiteral("D:"));
    QCOMPARE(drives[22].name, QStringLiteral("Y:"));
    QCOMPARE(drives.last().name, QStringLiteral("Z:"));
    // D:'s drive leaves: with no letter free, the first waiting mount takes it.
    const QList<DriveEntry> after = mounts.drivesAfter(mountInfo.mid(mountInfo.indexOf('\n') + 1));
    QCOMPARE(after[1].name + after[1].mountPoint, QStringLiteral("D:/mnt/d32"));
}

// Mounts leave before and after others and new ones arrive: no letter
// shifts, a drive that left keeps its letter for when it comes back, and a
// newcomer takes the first letter no drive holds.
void TstLinuxDriveTable::lettersHoldStill()
{
    const QByteArray a = mountLine(11, "/mnt/a", "ext4"), b = mountLine(12, "/mnt/b", "ext4"),
                     c = mountLine(13, "/mnt/c", "ext4"), d = mountLine(14, "/mnt/d", "vfat"),
                     e = mountLine(15, "/mnt/e", "vfat"), aAgain = mountLine(16, "/mnt/a", "ext4");
    const auto lettered = [](const QList<DriveEntry> &drives) {
        QStringList result;
        for (const DriveEntry &drive : drives.mid(1, drives.size() - 2))
            result << drive.name + drive.mountPoint + QLatin1Char('#') + QString::number(drive.mountId);
        return result;
    };
    FakeMountTable mounts;
    QCOMPARE(lettered(mounts.drivesAfter(c + b + a)),
             QStringList({"D:/mnt/a#11", "E:/mnt/b#12", "F:/mnt/c#13"}));
    QCOMPARE(lettered(mounts.drivesAfter(b + c)), QStringList({"E:/mnt/b#12", "F:/mnt/c#13"}));
    QCOMPARE(lettered(mounts.drivesAfter(b)), QStringList({"E:/mnt/b#12"}));
    QCOMPARE(lettered(mounts.drivesAfter(b + d)), QStringList({"E:/mnt/b#12", "G:/mnt/d#14"}));
    // Mounted again, the same device at a's folder is a, back at its letter.
    QCOMPARE(lettered(mounts.drivesAfter(b + d + e + aAgain)),
             QStringList({"D:/mnt/a#16", "E:/mnt/b#12", "G:/mnt/d#14", "H:/mnt/e#15"}));

    // A file system the system gives a UUID is known by it, wherever it
    // is mounted again.
    QVERIFY(QDir().mkpath(mounts.byUuid));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), mounts.byUuid + QStringLiteral("/1234-ABCD")));
    const QByteArray stick = mountLine(21, "/media/u/STICK", "vfat", "1:3");
    const DriveEntry first = mounts.drivesAfter(b + stick)[2];
    QCOMPARE(first.text(), QStringLiteral("I: [STICK]"));
    QCOMPARE(lettered(mounts.drivesAfter(b + c)), QStringList({"E:/mnt/b#12", "F:/mnt/c#13"}));
    const DriveEntry back = mounts.drivesAfter(b + c + mountLine(22, "/media/u/STICK1", "vfat", "1:3"))[3];
    QCOMPARE(back.name + back.mountPoint, QStringLiteral("I:/media/u/STICK1"));
    QVERIFY(back.sameDrive(first));
}

void TstLinuxDriveTable::readsTheMountTableAndTheFoldersAfresh()
{
    QTemporaryDir tmp;
    const QString home = tmp.path() + QStringLiteral("/home");
    const QString stick = tmp.path() + QStringLiteral("/stick");
    const QString mountInfoPath = tmp.path() + QStringLiteral("/mountinfo");
    makeFolder(home);
    makeFolder(stick);
    writeFile(mountInfoPath, mountLine(1, "/", "ext4"));
    LinuxDriveTable table(home, mountInfoPath, tmp.filePath(QStringLiteral("by-uuid")));
    QCOMPARE(table.drives().size(), 2);

    // A stick plugged in after the start appears on the next look.
    const auto stickLine = [&](quint64 id) {
        return mountLine(int(id), QFile::encodeName(stick), "vfat");
    };
    const quint64 folderMount = mountIdOf(stick);
    QVERIFY(folderMount != 0);
    writeFile(mountInfoPath, mountLine(1, "/", "ext4") + stickLine(folderMount));
    const QList<DriveEntry> drives = table.drives();
    QCOMPARE(drives.size(), 3);
    const DriveEntry stickDrive = drives[1];
    QCOMPARE(stickDrive.root, stick + QLatin1Char('/'));
    QVERIFY(table.isReady(stickDrive));
    QVERIFY(table.freeSpace(stickDrive).value() > 0);

    // An entry naming another mount than the one its folder lies on now is
    // a bare mount point: the stick has left, whatever the folder holds.
    writeFile(mountInfoPath, mountLine(1, "/", "ext4") + stickLine(folderMount + 1000));
    const DriveEntry leftDrive = table.drives()[1];
    QCOMPARE(leftDrive.root, stickDrive.root);
    QVERIFY(!table.isReady(leftDrive));
    // Plugged in again: a new mount of the same device at the same folder.
    writeFile(mountInfoPath, mountLine(1, "/", "ext4") + stickLine(folderMount));
    QVERIFY(table.isReady(leftDrive));

    // Pulled out: the folder is gone.
    QVERIFY(QDir(stick).removeRecursively());
    QVERIFY(!table.isReady(stickDrive));
    QCOMPARE(table.freeSpace(stickDrive).error().number, 71);

    QVERIFY(table.isReady(drives.first()));
    QCOMPARE(drives.first().root, home + QLatin1Char('/'));
    QCOMPARE(drives.last().root, QStringLiteral("/"));

    const QString workingFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(home));
    const QString current = table.currentDrive();
    QDir::setCurrent(workingFolder);
    QCOMPARE(current, QStringLiteral("C:"));
}

// The real mount table, where the blank of "my stick" is written \040.
void TstLinuxDriveTable::freeSpaceLeavesOutRootsReserve()
{
    QTemporaryDir folder;
    const Ext4Image disk(folder.path() + QStringLiteral("/my stick"));
    if (!disk.mounted())
        QSKIP("mounting a loop device is not permitted here");
    struct statvfs fs;
    QCOMPARE(::statvfs(QFile::encodeName(disk.mountPoint()).constData(), &fs), 0);
    QVERIFY(fs.f_bfree > fs.f_bavail); // the image keeps blocks for root

    LinuxDriveTable table;
    const QList<DriveEntry> drives = table.drives();
    const auto drive = std::find_if(drives.cbegin(), drives.cend(), [&](const DriveEntry &entry) {
        return entry.mountPoint == disk.mountPoint();
    });
    QVERIFY2(drive != drives.cend(), qPrintable(texts(drives).join(QLatin1Char('\n'))));
    QCOMPARE(drive->root, disk.mountPoint() + QLatin1Char('/'));
    QCOMPARE(drive->mountId, mountIdOf(disk.mountPoint()));
    QCOMPARE(table.freeSpace(*drive).value(), qint64(fs.f_bavail * fs.f_frsize));
}

void TstLinuxDriveTable::watchHearsMountsComeAndGo()
{
    // A mount table of its own, so that no other program's mounts are heard.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        QSKIP("a mount table of its own is refused here");
    LinuxMountWatch watch;
    QSignalSpy changes(&watch, &MountWatch::changed);
    // However often the event loop looks, nothing more is heard than what changed.
    const auto heardOnly = [&](qsizetype count) {
        for (int look = 0; look < 20; ++look)
            QCoreApplication::processEvents();
        return changes.size() == count;
    };
    QVERIFY(heardOnly(0));
    QTemporaryDir tmp;
    TmpfsMount mount(tmp.path(), "size=64k");
    if (!mount.mounted())
        QSKIP("mounting a tmpfs is not permitted here");
    QTRY_COMPARE(changes.size(), 1);
    QVERIFY(heardOnly(1));
    QVERIFY(mount.unmount());
    QTRY_COMPARE(changes.size(), 2);
    QVERIFY(heardOnly(2));
}

QTEST_GUILESS_MAIN(TstLinuxDriveTable)
#include "tst_linuxdrivetable.moc"
