// CopyFolder against real trees in temporary folders: C: holds the
// sources, D: receives the copies.

#include "fakes/Ext4Image.h"
#include "fakes/FakeDriveTable.h"
#include "fakes/ResourceLimit.h"
#include "fakes/TmpfsMount.h"
#include "fakes/Trees.h"
#include "runs/CopyCheck.h"
#include "runs/DriveFileSystem.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <memory>
#include <mutex>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Trees;

namespace {

// Every call the copy makes to its observer, in order.
class RecordingObserver final : public CopyObserver {
public:
    QStringList events;
    qint64 plannedBytes = -1;
    qint64 bytes = 0;
    int chunks = 0;
    // Runs as each file is reached, after the tree was read.
    std::function<void(const QString &)> beforeFile;

    void copyPlanned(qint64 files, qint64 total) override
    {
        events << QStringLiteral("plan %1").arg(files);
        plannedBytes = total;
    }
    void fileStarted(const QString &sourcePath) override
    {
        events << sourcePath;
        if (beforeFile)
            beforeFile(sourcePath);
    }
    void bytesCopied(qint64 n) override
    {
        bytes += n;
        ++chunks;
    }
};

// Puts a file where the copy is about to write, after its look for one.
class PlantingObserver final : public CopyObserver {
public:
    QString path;
    void copyPlanned(qint64, qint64) override {}
    void fileStarted(const QString &) override { writeFile(path, "appeared"); }
    void bytesCopied(qint64) override {}
};

// Bytes that differ from one position to the next, so a chunk written in
// the wrong place shows.
QByteArray patterned(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 7919) >> 3);
    return data;
}

// Presses stop once the copy has started this many files and copied more
// than this many bytes.
class StoppingObserver final : public CopyObserver {
public:
    StoppingObserver(int files, qint64 bytes) : m_stopFiles(files), m_stopBytes(bytes) {}
    void copyPlanned(qint64, qint64) override {}
    void fileStarted(const QString &) override { ++m_files; }
    void bytesCopied(qint64 n) override { m_bytes += n; }
    bool stopRequested() const override { return m_files >= m_stopFiles && m_bytes > m_stopBytes; }

private:
    const int m_stopFiles;
    const qint64 m_stopBytes;
    int m_files = 0;
    qint64 m_bytes = 0;
};

// The paths below root, of the kinds filters names.
QStringList pathsBelow(const QString &root, QDir::Filters filters)
{
    QStringList paths;
    for (QDirIterator it(root, filters | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();)
        paths << it.next();
    return paths;
}

// The files and links of a listing, without its folders.
QStringList filesOf(const QStringList &listing)
{
    QStringList files;
    for (const QString &line : listing)
        if (!line.startsWith(QLatin1String("d ")))
            files << line;
    return files;
}

// Leaves a socket at path, as a program that listened there does.
bool makeSocket(const QString &path)
{
    struct sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const Fd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket.valid() && ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

struct stat statOf(const QString &path)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        qFatal("cannot stat %s", qPrintable(path));
    return st;
}

void setTimes(const QString &path, qint64 seconds, long nanoseconds)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        qFatal("cannot set times of %s", qPrintable(path));
}

void setMode(const QString &path, mode_t mode)
{
    if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
        qFatal("cannot chmod %s", qPrintable(path));
}

// Root reads and writes whatever the permission bits say; without these
// two capabilities the bits count for it as for a user.
class PermissionBitsCount {
public:
    PermissionBitsCount()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            qFatal("capget failed");
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        if (::syscall(SYS_capset, &m_header, reduced) != 0)
            qFatal("capset failed");
    }
    ~PermissionBitsCount() { (void)::syscall(SYS_capset, &m_header, m_saved); }
    PermissionBitsCount(const PermissionBitsCount &) = delete;
    PermissionBitsCount &operator=(const PermissionBitsCount &) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

// A copy that opens a FIFO for reading waits for a writer for ever. After
// a grace time this plays the writer, so such a copy comes back and the
// test fails instead of hanging.
class FifoWriter {
public:
    explicit FifoWriter(const QString &fifo) : m_thread([this, path = QFile::encodeName(fifo)] { run(path); }) {}
    ~FifoWriter() { finish(); }
    FifoWriter(const FifoWriter &) = delete;
    FifoWriter &operator=(const FifoWriter &) = delete;

    // True when a reader waited and was let go.
    bool finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_released;
    }

private:
    void run(const QByteArray &path)
    {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::seconds(10), [this] { return m_finished; }))
            return;
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_finished; })) {
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_released = true;
                ::close(fd);
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    bool m_released = false;
    std::thread m_thread;
};

} // namespace

class TstCopyEngine : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newDestinationGetsTheWholeTree();
    void doubledSeparatorMeansOne();
    void mergesIntoExistingFolders();
    void overwriteReplacesFilesAndKeepsTheRest();
    void withoutOverwriteStopsAtTheFirstExistingFile_data();
    void withoutOverwriteStopsAtTheFirstExistingFile();
    void refusesCopyOntoItselfOrIntoItsOwnFolder_data();
    void refusesCopyOntoItselfOrIntoItsOwnFolder();
    void refusesToMergeIntoItsOwnSourceFromAbove();
    void somethingInTheWayIs75_data();
    void somethingInTheWayIs75();
    void copiesLinksAsLinksAndNeverFollowsThem();
    void neverWritesThroughALinkInTheDestination_data();
    void neverWritesThroughALinkInTheDestination();
    void replacesALinkStandingWhereAFileGoes();
    void skipsSpecialFiles();
    void keepsModificationTimesAndPermissions();
    void overwritesReadOnlyFiles();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void refusedWritingIs70_data();
    void refusedWritingIs70();
    void repeatRewritesOnlyWhatChanged_data();
    void repeatRewritesOnlyWhatChanged();
    void repeatReplacesOnlyLinksWhoseTargetChanged();
    void repeatOnWholeSecondTimesLeavesUnchangedFiles();
    void repeatTouchesOnlyFoldersThatChanged();
    void timesPastTheYear2262AreComparedExactly();
    void observerHearsThePlanThenEachFileInOrder();
    void largeFileArrivesWholeInChunks_data();
    void largeFileArrivesWholeInChunks();
    void refusedKernelCopyFallsBackToReading_data();
    void refusedKernelCopyFallsBackToReading();
    void renameWithoutNoReplaceStillKeepsWhatAppeared_data();
    void renameWithoutNoReplaceStillKeepsWhatAppeared();
    void stopLeavesNoHalfWrittenFile_data();
    void stopLeavesNoHalfWrittenFile();
    void badPathsGiveNumberedErrorsAndWriteNothing_data();
    void badPathsGiveNumberedErrorsAndWriteNothing();
    void readOnlyMountIs70();
    void fullDiskIs61AndKeepsTheOldFile_data();
    void fullDiskIs61AndKeepsTheOldFile();
    void entryThatChangedKindIsSkipped_data();
    void entryThatChangedKindIsSkipped();
    void stopLeavesOnlyFilledFoldersWithTheirBits_data();
    void stopLeavesOnlyFilledFoldersWithTheirBits();
    void temporariesOfAKilledCopyGoLookAlikesAreCopied_data();
    void temporariesOfAKilledCopyGoLookAlikesAreCopied();
    void treeNeedsFewDescriptors_data();
    void treeNeedsFewDescriptors();
    void linksBecomeFilesWhereTheDestinationHoldsNone_data();
    void linksBecomeFilesWhereTheDestinationHoldsNone();
    void sourceChangingWhileCopiedIsCopiedAgainOrLeftOut_data();
    void sourceChangingWhileCopiedIsCopiedAgainOrLeftOut();
    void readingRefusedOnTheSourceIs75_data();
    void readingRefusedOnTheSourceIs75();
    void fileAppearingJustBeforeTheRenameIsKept();
    void destinationFolderMovedDuringTheCopyFails_data();
    void destinationFolderMovedDuringTheCopyFails();
    void readOnlyFoldersTakeChangesInRepeats_data();
    void readOnlyFoldersTakeChangesInRepeats();
    void namesTheDestinationCannotHoldAreLeftOut_data();
    void namesTheDestinationCannotHoldAreLeftOut();
    void deepTreeIsCopiedOrTidiedWithoutRecursion_data();
    void deepTreeIsCopiedOrTidiedWithoutRecursion();
    void onKernelFat_data();
    void onKernelFat();
    void onExfatFuse_data();
    void onExfatFuse();

private:
    void copyTwiceOnto(const Ext4Image &stick);
    Result<void> copy(const QString &source, const QString &destination, bool overwrite,
                      CopyObserver *observer = nullptr)
    {
        return m_fs->CopyFolder(source, destination, {.overwrite = overwrite}, observer);
    }

    std::unique_ptr<FakeDriveTable> m_drives;
    std::unique_ptr<DriveFileSystem> m_fs;
    QString m_c; // drive roots, with a trailing '/'
    QString m_d;
};

void TstCopyEngine::init()
{
    m_drives = std::make_unique<FakeDriveTable>();
    m_fs = std::make_unique<DriveFileSystem>(*m_drives, m_drives.get());
    m_c = m_drives->root(QStringLiteral("C"));
    m_d = m_drives->addDrive(QStringLiteral("D"), QStringLiteral("STICK"));
}

void TstCopyEngine::cleanup()
{
    m_fs.reset();
    m_drives.reset();
}

void TstCopyEngine::newDestinationGetsTheWholeTree()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "alpha");
    writeFile(source + QStringLiteral("/with space.txt"), "space");
    writeFile(source + QStringLiteral("/comma,name.txt"), "comma");
    writeFile(source + QStringLiteral("/quote\"and'apostrophe.txt"), "quotes");
    writeFile(source + QStringLiteral("/日本語フォルダ/報告書 (第2版).txt"), "日本");
    writeFile(source + QStringLiteral("/.hidden"), "hidden");
    writeFile(source + QStringLiteral("/sub/one.txt"), "1");
    writeFile(source + QStringLiteral("/sub/deeper/two.txt"), "2");
    writeFile(source + QStringLiteral("/sub/deeper/empty.txt"), "");
    makeFolder(source + QStringLiteral("/empty"));
    makeFolder(source + QStringLiteral("/sub/empty too"));

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false);

    QVERIFY2(copied.ok(), qPrintable(copied.error().description));
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), listing(source));
    QCOMPARE(listing(m_d + QStringLiteral("Docs")).size(), 14);
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::doubledSeparatorMeansOne()
{
    const QString source = m_c + QStringLiteral("Data");
    writeFile(source + QStringLiteral("/f.txt"), "f");

    // The restore run joins a drive root and a name with one more separator.
    QVERIFY(copy(source + QLatin1Char('/'), m_d + QStringLiteral("/Data"), false).ok());

    QCOMPARE(listing(m_d), QStringList({QStringLiteral("d Data"), QStringLiteral("f Data/f.txt = f")}));
}

void TstCopyEngine::mergesIntoExistingFolders()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/new.txt"), "new");
    writeFile(source + QStringLiteral("/sub/new.txt"), "sub new");
    writeFile(m_d + QStringLiteral("Docs/mine.txt"), "mine");
    writeFile(m_d + QStringLiteral("Docs/sub/mine.txt"), "sub mine");
    setMode(source, 0755);
    setMode(m_d + QStringLiteral("Docs"), 0700);

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());

    // The folder that was there is the user's: its own bits stay.
    QCOMPARE(statOf(m_d + QStringLiteral("Docs")).st_mode & 07777, 0700u);

    QCOMPARE(listing(m_d + QStringLiteral("Docs")),
             QStringList({QStringLiteral("d sub"), QStringLiteral("f mine.txt = mine"),
                          QStringLiteral("f new.txt = new"), QStringLiteral("f sub/mine.txt = sub mine"),
                          QStringLiteral("f sub/new.txt = sub new")}));
}

void TstCopyEngine::overwriteReplacesFilesAndKeepsTheRest()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "new a");
    writeFile(source + QStringLiteral("/sub/b.txt"), "new b");
    writeFile(m_d + QStringLiteral("Docs/a.txt"), "old a, longer than the new one");
    writeFile(m_d + QStringLiteral("Docs/sub/b.txt"), "old b");
    writeFile(m_d + QStringLiteral("Docs/sub/keep.txt"), "keep");

    CopyCounts counts;
    QVERIFY(m_fs->CopyFolder(source, m_d + QStringLiteral("Docs"), {.overwrite = true}, nullptr, &counts).ok());
    // What was written, less the two files it replaced.
    QCOMPARE(counts.bytesAdded, qint64(5 + 5 - 30 - 5));

    QCOMPARE(listing(m_d + QStringLiteral("Docs")),
             QStringList({QStringLiteral("d sub"), QStringLiteral("f a.txt = new a"),
                          QStringLiteral("f sub/b.txt = new b"), QStringLiteral("f sub/keep.txt = keep")}));
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::withoutOverwriteStopsAtTheFirstExistingFile_data()
{
    // Source: a b c in the folder, then sub/x sub/y. What stands in the
    // destination first ("f:" file, "c:" the source file with its time,
    // "d:" folder, "l:" link), and what the
    // destination holds when the copy has stopped.
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("first file") << "f:a" << QStringList{"f a = old"};
    QTest::newRow("second file") << "f:b" << QStringList{"f a = A", "f b = old"};
    QTest::newRow("a current copy of the second file") << "c:b" << QStringList{"f a = A", "f b = B"};
    QTest::newRow("file in a subfolder, after all files above it")
        << "f:sub/y"
        << QStringList{"d sub", "f a = A", "f b = B", "f c = C", "f sub/x = X", "f sub/y = old"};
    QTest::newRow("folder where a file goes") << "d:b" << QStringList{"d b", "f a = A"};
    QTest::newRow("link where a file goes") << "l:c" << QStringList{"f a = A", "f b = B", "l c -> elsewhere"};
}

void TstCopyEngine::withoutOverwriteStopsAtTheFirstExistingFile()
{
    QFETCH(QString, existing);
    QFETCH(QStringList, after);
    const QString source = m_c + QStringLiteral("Docs");
    for (const char *name : {"a", "b", "c", "sub/x", "sub/y"})
        writeFile(source + QLatin1Char('/') + QLatin1String(name), QByteArray(name).right(1).toUpper());
    const QString target = m_d + QStringLiteral("Docs/");
    const QString existingPath = target + existing.mid(2);
    if (existing.startsWith(QLatin1Char('f')))
        writeFile(existingPath, "old");
    else if (existing.startsWith(QLatin1Char('c'))) {
        const struct stat from = statOf(source + QLatin1Char('/') + existing.mid(2));
        writeFile(existingPath, readFile(source + QLatin1Char('/') + existing.mid(2)));
        setTimes(existingPath, from.st_mtim.tv_sec, from.st_mtim.tv_nsec);
    }
    else if (existing.startsWith(QLatin1Char('d')))
        makeFolder(existingPath);
    else
        makeLink(QStringLiteral("elsewhere"), existingPath);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 58);
    QVERIFY(copied.error().description.contains(existing.mid(2)));
    QCOMPARE(listing(target), after);
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::refusesCopyOntoItselfOrIntoItsOwnFolder_data()
{
    QTest::addColumn<QString>("destination"); // relative to the C: root
    QTest::newRow("the folder itself") << "Docs";
    QTest::newRow("itself, written otherwise") << "/Docs/";
    QTest::newRow("a new folder inside it") << "Docs/sub/copy";
    QTest::newRow("an existing folder inside it") << "Docs/sub";
    QTest::newRow("inside it through a link") << "link to docs/copy";
}

void TstCopyEngine::refusesCopyOntoItselfOrIntoItsOwnFolder()
{
    QFETCH(QString, destination);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    writeFile(source + QStringLiteral("/sub/b.txt"), "b");
    makeLink(source, m_c + QStringLiteral("link to docs"));
    const QStringList before = listing(m_c);

    for (const bool overwrite : {false, true}) {
        const Result<void> copied = copy(source, m_c + destination, overwrite);
        QVERIFY(!copied.ok());
        QCOMPARE(copied.error().number, 75);
        QCOMPARE(listing(m_c), before);
    }
}

void TstCopyEngine::refusesToMergeIntoItsOwnSourceFromAbove()
{
    // Copying C:\a\b onto C:\a would put a\b\b's files over a\b's own.
    const QString source = m_c + QStringLiteral("a/b");
    writeFile(source + QStringLiteral("/x.txt"), "outer");
    writeFile(source + QStringLiteral("/b/x.txt"), "inner");

    const Result<void> copied = copy(source, m_c + QStringLiteral("a"), true);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 75);
    QCOMPARE(readFile(source + QStringLiteral("/x.txt")), QByteArray("outer"));
    QCOMPARE(readFile(source + QStringLiteral("/b/x.txt")), QByteArray("inner"));
}

void TstCopyEngine::somethingInTheWayIs75_data()
{
    QTest::addColumn<bool>("folderInTheWay"); // else a file where the source has a folder
    QTest::addColumn<bool>("overwrite");      // which replaces the copy of what the source held
    QTest::addColumn<bool>("versions");       // which keeps what stood in the way, beside the copy
    QTest::newRow("folder where a file goes, overwriting") << true << true << false;
    QTest::newRow("file where a folder goes") << false << false << false;
    QTest::newRow("file where a folder goes, overwriting") << false << true << false;
    QTest::newRow("folder where a file goes") << true << false << false;
    QTest::newRow("folder where a file goes, keeping versions") << true << true << true;
    QTest::newRow("file where a folder goes, keeping versions") << false << true << true;
}

void TstCopyEngine::somethingInTheWayIs75()
{
    QFETCH(bool, folderInTheWay);
    QFETCH(bool, overwrite);
    QFETCH(bool, versions);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a"), "new a");
    writeFile(source + QStringLiteral("/b/c"), "new c");
    const QString inTheWay = m_d + (folderInTheWay ? QStringLiteral("Docs/a/deeper/keep") : QStringLiteral("Docs/b"));
    writeFile(inTheWay, "keep");
    makeLink(QStringLiteral("keep"), inTheWay + QStringLiteral(" link"));

    CopyCounts counts;
    const CopyOptions options{.overwrite = overwrite, .keepVersions = versions ? 10 : 0,
                              .versionsStamp = QStringLiteral("2026-12-08 210000")};
    const Result<void> copied = m_fs->CopyFolder(source, m_d + QStringLiteral("Docs"), options, nullptr, &counts);

    // Kept beside the copy, at its path inside it.
    QStringList kept;
    if (versions && folderInTheWay)
        kept = QStringList{"d a", "d a/deeper", "f a/deeper/keep = keep", "l a/deeper/keep link -> keep"};
    else if (versions)
        kept = QStringList{"f b = keep"};
    QCOMPARE(listing(m_d + QStringLiteral(".tandemix-versions/Docs/2026-12-08 210000")), kept);
    if (overwrite) {
        QVERIFY2(copied.ok(), qPrintable(copied.error().description));
        // The two files, less the file "keep" in the way where it went.
        QCOMPARE(counts.bytesAdded, qint64(5 + 5 - (versions ? 0 : 4)));
        QCOMPARE(listing(m_d + QStringLiteral("Docs")),
                 listing(source) + (folderInTheWay ? QStringList() : QStringList{"l b link -> keep"}));
    } else {
        QVERIFY(!copied.ok());
        QCOMPARE(copied.error().number, folderInTheWay ? 58 : 75);
        QCOMPARE(readFile(inTheWay), QByteArray("keep"));
    }
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::copiesLinksAsLinksAndNeverFollowsThem()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/target.txt"), "T");
    writeFile(source + QStringLiteral("/sub/f.txt"), "F");
    writeFile(m_c + QStringLiteral("outside/secret.txt"), "outside");
    makeLink(QStringLiteral("target.txt"), source + QStringLiteral("/relative"));
    makeLink(source + QStringLiteral("/target.txt"), source + QStringLiteral("/absolute"));
    makeLink(QStringLiteral("nowhere"), source + QStringLiteral("/dangling"));
    makeLink(QStringLiteral("loop"), source + QStringLiteral("/loop"));
    makeLink(QStringLiteral(".."), source + QStringLiteral("/sub/up"));
    makeLink(m_c + QStringLiteral("outside"), source + QStringLiteral("/folder link"));

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());

    QCOMPARE(listing(m_d + QStringLiteral("Docs")), listing(source));
    QCOMPARE(linkText(m_d + QStringLiteral("Docs/sub/up")), QStringLiteral(".."));
    QVERIFY(QFileInfo(m_d + QStringLiteral("Docs/folder link")).isSymLink());
}

void TstCopyEngine::neverWritesThroughALinkInTheDestination_data()
{
    QTest::addColumn<QString>("link"); // relative to the D: root
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("destination folder is a link") << "Docs" << false;
    QTest::newRow("destination folder is a link, overwriting") << "Docs" << true;
    QTest::newRow("subfolder is a link") << "Docs/sub" << false;
    QTest::newRow("subfolder is a link, overwriting") << "Docs/sub" << true;
}

void TstCopyEngine::neverWritesThroughALinkInTheDestination()
{
    QFETCH(QString, link);
    QFETCH(bool, overwrite);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/sub/f.txt"), "F");
    const QString elsewhere = m_c + QStringLiteral("elsewhere");
    writeFile(elsewhere + QStringLiteral("/f.txt"), "keep me");
    makeLink(elsewhere, m_d + link);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), overwrite);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 75);
    QCOMPARE(listing(elsewhere), QStringList{"f f.txt = keep me"});
}

void TstCopyEngine::replacesALinkStandingWhereAFileGoes()
{
    const QString source = m_c + QStringLiteral("Docs");
    const QString target = m_d + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "new");
    writeFile(source + QStringLiteral("/b.txt"), "b");
    QVERIFY(copy(source, target, false).ok());
    const QString victim = m_c + QStringLiteral("victim.txt");
    writeFile(victim, "untouched");
    QVERIFY(QFile::remove(target + QStringLiteral("/a.txt")));
    makeLink(victim, target + QStringLiteral("/a.txt"));
    // b.txt is current but for its bits, until a link is swapped in after the tree was read.
    setMode(source + QStringLiteral("/b.txt"), 0600);
    RecordingObserver observer;
    observer.beforeFile = [&](const QString &path) {
        if (path.endsWith(QStringLiteral("/b.txt")) && QFile::remove(target + QStringLiteral("/b.txt")))
            makeLink(victim, target + QStringLiteral("/b.txt"));
    };

    QVERIFY(copy(source, target, true, &observer).ok());

    QCOMPARE(listing(target), QStringList({"f a.txt = new", "f b.txt = b"}));
    QCOMPARE(statOf(target + QStringLiteral("/b.txt")).st_mode, S_IFREG | 0600u);
    QCOMPARE(readFile(victim), QByteArray("untouched"));
    QCOMPARE(statOf(victim).st_mode & 07777, 0644u);
}

void TstCopyEngine::skipsSpecialFiles()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    QCOMPARE(::mkfifo(QFile::encodeName(source + QStringLiteral("/pipe")).constData(), 0600), 0);
    QVERIFY(makeSocket(source + QStringLiteral("/socket")));

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());

    QCOMPARE(listing(m_d + QStringLiteral("Docs")), QStringList{"f a.txt = a"});
}

void TstCopyEngine::keepsModificationTimesAndPermissions()
{
    const QString source = m_c + QStringLiteral("Docs");
    const QStringList paths = {QStringLiteral("/private.txt"), QStringLiteral("/script.sh"),
                               QStringLiteral("/readonly.txt"), QStringLiteral("/locked"),
                               QStringLiteral("/locked/inner.txt"), QStringLiteral("/shared.txt"),
                               QString(), QStringLiteral("/setgid.sh"), QStringLiteral("/team")};
    // 0666 is more than the usual umask lets a new file have; the special
    // bits are more than a new file or folder is given.
    const QList<mode_t> modes = {0640, 0755, 0444, 0750, 0600, 0666, 0711, 02755, 03775};
    writeFile(source + paths[0], "p");
    writeFile(source + paths[1], "#!/bin/sh\n");
    writeFile(source + paths[2], "r");
    writeFile(source + paths[4], "i");
    writeFile(source + paths[5], "s");
    writeFile(source + paths[7], "#!/bin/sh\n");
    makeFolder(source + paths[8]);
    makeLink(QStringLiteral("private.txt"), source + QStringLiteral("/link"));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        setMode(source + paths[i], modes[i]);
        setTimes(source + paths[i], 981173106 + i * 86400, 123456789);
    }
    setTimes(source + QStringLiteral("/link"), 1000000000, 5);

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());

    for (const QString &path : paths + QStringList{QStringLiteral("/link")}) {
        const struct stat from = statOf(source + path);
        const struct stat to = statOf(m_d + QStringLiteral("Docs") + path);
        QCOMPARE(to.st_mode, from.st_mode);
        QCOMPARE(to.st_mtim.tv_sec, from.st_mtim.tv_sec);
        QCOMPARE(to.st_mtim.tv_nsec, from.st_mtim.tv_nsec);
    }
}

void TstCopyEngine::overwritesReadOnlyFiles()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "new");
    writeFile(m_d + QStringLiteral("Docs/a.txt"), "old");
    setMode(m_d + QStringLiteral("Docs/a.txt"), 0444);

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), true).ok());

    QCOMPARE(readFile(m_d + QStringLiteral("Docs/a.txt")), QByteArray("new"));
}

void TstCopyEngine::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("number");
    QTest::newRow("disk full") << ENOSPC << 61;
    QTest::newRow("quota") << EDQUOT << 61;
    QTest::newRow("file too large for the disk") << EFBIG << 61;
    QTest::newRow("device error") << EIO << 57;
}

void TstCopyEngine::failedWriteKeepsTheOldFile()
{
    QFETCH(int, err);
    QFETCH(int, number);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "new and longer");
    writeFile(m_d + QStringLiteral("Docs/a.txt"), "old");
    m_drives->setWriteError(QStringLiteral("D"), err);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), true);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, number);
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), QStringList{"f a.txt = old"});
}

void TstCopyEngine::refusedWritingIs70_data()
{
    QTest::addColumn<bool>("destinationExists");
    QTest::newRow("new destination") << false;
    QTest::newRow("existing destination") << true;
}

void TstCopyEngine::refusedWritingIs70()
{
    QFETCH(bool, destinationExists);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    if (destinationExists)
        writeFile(m_d + QStringLiteral("Docs/old.txt"), "old");
    const QStringList before = listing(m_d);
    m_drives->setReadOnly(QStringLiteral("D"), true);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), true);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 70);
    QCOMPARE(listing(m_d), before);
}

void TstCopyEngine::repeatRewritesOnlyWhatChanged_data()
{
    // How the source file changes after the first copy, and whether the
    // repeat must write the destination file anew.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("nanosecondsLater");
    QTest::addColumn<mode_t>("mode");
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("unchanged") << QByteArray("alpha") << 0LL << mode_t(0644) << false;
    QTest::newRow("same size, new time") << QByteArray("ALPHA") << 3'000'000'000LL << mode_t(0644) << true;
    QTest::newRow("same size, one nanosecond later") << QByteArray("ALPHA") << 1LL << mode_t(0644) << true;
    QTest::newRow("same time, other size") << QByteArray("alphabet") << 0LL << mode_t(0644) << true;
    QTest::newRow("permission bits alone") << QByteArray("alpha") << 0LL << mode_t(0600) << false;
}

void TstCopyEngine::repeatRewritesOnlyWhatChanged()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, nanosecondsLater);
    QFETCH(mode_t, mode);
    QFETCH(bool, rewritten);
    const QString source = m_c + QStringLiteral("Docs/a.txt");
    const QString target = m_d + QStringLiteral("Docs/a.txt");
    writeFile(source, "alpha");
    writeFile(m_c + QStringLiteral("Docs/sub/b.txt"), "unchanged");
    setMode(source, 0644);
    const qint64 seconds = 1700000000;
    const long nanoseconds = 400000000;
    setTimes(source, seconds, nanoseconds);
    QVERIFY(copy(m_c + QStringLiteral("Docs"), m_d + QStringLiteral("Docs"), false).ok());
    const ino_t inode = statOf(target).st_ino;

    writeFile(source, content);
    setMode(source, mode);
    const qint64 later = nanoseconds + nanosecondsLater;
    setTimes(source, seconds + later / 1'000'000'000, long(later % 1'000'000'000));
    RecordingObserver observer;
    QVERIFY(copy(m_c + QStringLiteral("Docs"), m_d + QStringLiteral("Docs"), true, &observer).ok());

    QCOMPARE(listing(m_d + QStringLiteral("Docs")), listing(m_c + QStringLiteral("Docs")));
    QCOMPARE(statOf(target).st_ino != inode, rewritten);
    QCOMPARE(statOf(target).st_mode, statOf(source).st_mode);
    QCOMPARE(statOf(target).st_mtim.tv_nsec, statOf(source).st_mtim.tv_nsec);
    // What was left in place counts as done, so the bar reaches its end.
    QCOMPARE(observer.events.size(), 3);
    QCOMPARE(observer.bytes, observer.plannedBytes);
}

void TstCopyEngine::repeatReplacesOnlyLinksWhoseTargetChanged()
{
    const QString source = m_c + QStringLiteral("Docs");
    makeLink(QStringLiteral("a.txt"), source + QStringLiteral("/same"));
    makeLink(QStringLiteral("a.txt"), source + QStringLiteral("/moved"));
    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());
    const ino_t same = statOf(m_d + QStringLiteral("Docs/same")).st_ino;
    QVERIFY(QFile::remove(source + QStringLiteral("/moved")));
    makeLink(QStringLiteral("b.txt"), source + QStringLiteral("/moved"));

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), true).ok());

    QCOMPARE(linkText(m_d + QStringLiteral("Docs/moved")), QStringLiteral("b.txt"));
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/same")).st_ino, same);
}

void TstCopyEngine::repeatOnWholeSecondTimesLeavesUnchangedFiles()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/same.txt"), "same");
    writeFile(source + QStringLiteral("/changed.txt"), "old");
    writeFile(source + QStringLiteral("/older.txt"), "newer");
    setTimes(source + QStringLiteral("/older.txt"), 1700000001, 999999999);
    setTimes(source + QStringLiteral("/same.txt"), 1700000001, 999999999);
    setTimes(source + QStringLiteral("/changed.txt"), 1700000001, 999999999);
    m_drives->setWholeSeconds(QStringLiteral("D"), true);
    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/same.txt")).st_mtim.tv_nsec, 0L);
    const ino_t same = statOf(m_d + QStringLiteral("Docs/same.txt")).st_ino;
    writeFile(source + QStringLiteral("/changed.txt"), "new");
    setTimes(source + QStringLiteral("/changed.txt"), 1700000002, 5);
    // An older version back (mv a.bak a), less than a second older than
    // the newer one was stored.
    writeFile(source + QStringLiteral("/older.txt"), "older");
    setTimes(source + QStringLiteral("/older.txt"), 1700000000, 500000000);

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), true).ok());

    QCOMPARE(statOf(m_d + QStringLiteral("Docs/same.txt")).st_ino, same);
    QCOMPARE(readFile(m_d + QStringLiteral("Docs/changed.txt")), QByteArray("new"));
    QCOMPARE(readFile(m_d + QStringLiteral("Docs/older.txt")), QByteArray("older"));
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::timesPastTheYear2262AreComparedExactly()
{
    // tmpfs keeps any time. These two are 2^64 ns apart: counted in 64 bits
    // of nanoseconds, they would be one.
    const QString disk = m_d + QStringLiteral("disk");
    const TmpfsMount mount(disk, "size=1m");
    if (!mount.mounted())
        QSKIP("mounting a tmpfs is not permitted here");
    const QString target = disk + QStringLiteral("/Copy/a.txt");
    writeFile(disk + QStringLiteral("/Docs/a.txt"), "new");
    writeFile(target, "old");
    setTimes(target, 1000000000, 0);
    setTimes(disk + QStringLiteral("/Docs/a.txt"), 1000000000 + 18446744073, 709551616);

    QVERIFY(copy(disk + QStringLiteral("/Docs"), disk + QStringLiteral("/Copy"), true).ok());

    QCOMPARE(readFile(target), QByteArray("new"));
}

void TstCopyEngine::repeatTouchesOnlyFoldersThatChanged()
{
    const QString source = m_c + QStringLiteral("Docs");
    for (const char *folder : {"/same", "/bits", "/time"})
        writeFile(source + QLatin1String(folder) + QStringLiteral("/a.txt"), "a");
    for (const char *folder : {"/same", "/bits", "/time"})
        setTimes(source + QLatin1String(folder), 1700000000, 5);
    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false).ok());
    setMode(source + QStringLiteral("/bits"), 0700);
    setTimes(source + QStringLiteral("/time"), 1700000009, 7);
    // Setting bits or times, even the same again, is an attribute change.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(::inotify_add_watch(watch, QFile::encodeName(m_d + QStringLiteral("Docs/same")).constData(), IN_ATTRIB) >= 0);

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), true).ok());

    char events[4096];
    const ssize_t heard = ::read(watch, events, sizeof events);
    ::close(watch);
    QCOMPARE(heard, ssize_t(-1));
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/bits")).st_mode & 07777, mode_t(0700));
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/time")).st_mtim.tv_sec, time_t(1700000009));
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/time")).st_mtim.tv_nsec, 7L);
}

void TstCopyEngine::observerHearsThePlanThenEachFileInOrder()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/b.txt"), "bb");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    // Made in neither name order nor its reverse, so the folder's own
    // order cannot pass for name order.
    writeFile(source + QStringLiteral("/m folder/m.txt"), "m");
    writeFile(source + QStringLiteral("/z folder/deep/d.txt"), "dddd");
    writeFile(source + QStringLiteral("/z folder/c.txt"), "ccccc");
    writeFile(source + QStringLiteral("/A folder/z.txt"), "zzz");
    writeFile(source + QStringLiteral("/q folder/q.txt"), "q");
    writeFile(source + QStringLiteral("/c folder/k.txt"), "k");
    writeFile(source + QStringLiteral("/x folder/x.txt"), "x");
    makeLink(QStringLiteral("a.txt"), source + QStringLiteral("/c link"));
    RecordingObserver observer;

    QVERIFY(copy(source, m_d + QStringLiteral("Docs"), false, &observer).ok());

    // Files of a folder before its subfolders, each list in name order.
    const QStringList expected = {QStringLiteral("plan 10"),
                                  source + QStringLiteral("/a.txt"),
                                  source + QStringLiteral("/b.txt"),
                                  source + QStringLiteral("/c link"),
                                  source + QStringLiteral("/A folder/z.txt"),
                                  source + QStringLiteral("/c folder/k.txt"),
                                  source + QStringLiteral("/m folder/m.txt"),
                                  source + QStringLiteral("/q folder/q.txt"),
                                  source + QStringLiteral("/x folder/x.txt"),
                                  source + QStringLiteral("/z folder/c.txt"),
                                  source + QStringLiteral("/z folder/deep/d.txt")};
    QCOMPARE(observer.events, expected);
    QCOMPARE(observer.plannedBytes, 19);
    QCOMPARE(observer.bytes, 19);
}

void TstCopyEngine::largeFileArrivesWholeInChunks_data()
{
    QTest::addColumn<bool>("sparse"); // 4 KiB of data amid holes
    QTest::addColumn<int>("refused"); // how the kernel refuses copy_file_range, or 0
    QTest::newRow("dense") << false << 0;
    QTest::newRow("dense, read and written") << false << EXDEV;
    QTest::newRow("sparse, its holes kept") << true << 0;
    QTest::newRow("sparse, read and written") << true << EXDEV;
}

void TstCopyEngine::largeFileArrivesWholeInChunks()
{
    QFETCH(bool, sparse);
    QFETCH(int, refused);
    const QString source = m_c + QStringLiteral("Big");
    QByteArray data = patterned(9 * 1024 * 1024 + 5);
    if (sparse) {
        data = QByteArray(32 * 1024 * 1024 + 5, '\0').replace(16 * 1024 * 1024, 4096, patterned(4096));
        makeFolder(source);
        QFile file(source + QStringLiteral("/big.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.seek(16 * 1024 * 1024) && file.write(patterned(4096)) == 4096
                && file.resize(data.size()));
    } else {
        writeFile(source + QStringLiteral("/big.bin"), data);
    }
    m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::CopyRange, refused);
    RecordingObserver observer;

    QVERIFY(copy(source, m_d + QStringLiteral("Big"), false, &observer).ok());

    QVERIFY(readFile(m_d + QStringLiteral("Big/big.bin")) == data);
    QCOMPARE(observer.bytes, data.size());
    QVERIFY(observer.chunks >= 2);
    if (sparse)
        QVERIFY(statOf(m_d + QStringLiteral("Big/big.bin")).st_blocks * 512 < 1024 * 1024);
}

void TstCopyEngine::refusedKernelCopyFallsBackToReading_data()
{
    QTest::addColumn<int>("err");
    QTest::newRow("across file systems") << EXDEV;
    QTest::newRow("not supported here") << EINVAL;
}

void TstCopyEngine::refusedKernelCopyFallsBackToReading()
{
    QFETCH(int, err);
    const QString source = m_c + QStringLiteral("Docs");
    const QByteArray data = patterned(2 * 1024 * 1024 + 7);
    writeFile(source + QStringLiteral("/big.bin"), data);
    writeFile(source + QStringLiteral("/sub/small.txt"), "small");
    setTimes(source + QStringLiteral("/big.bin"), 1000000000, 123456789);
    m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::CopyRange, err);
    RecordingObserver observer;

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false, &observer);

    QVERIFY2(copied.ok(), qPrintable(copied.error().description));
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), listing(source));
    QVERIFY(readFile(m_d + QStringLiteral("Docs/big.bin")) == data);
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/big.bin")).st_mtim.tv_nsec, 123456789);
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/big.bin")).st_mtim.tv_sec, 1000000000);
    // Read in buffers of a megabyte, where the kernel would take it at once.
    QCOMPARE(observer.bytes, data.size() + 5);
    QVERIFY(observer.chunks >= 4);
}

void TstCopyEngine::renameWithoutNoReplaceStillKeepsWhatAppeared_data()
{
    QTest::addColumn<bool>("appears");
    QTest::addColumn<int>("number"); // 0: copied
    QTest::newRow("nothing there") << false << 0;
    QTest::newRow("a file appeared meanwhile") << true << 58;
}

void TstCopyEngine::renameWithoutNoReplaceStillKeepsWhatAppeared()
{
    QFETCH(bool, appears);
    QFETCH(int, number);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "copied");
    setTimes(source + QStringLiteral("/a.txt"), 1000000000, 5);
    m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::RenameNoReplace, EINVAL);
    // A new destination folder holds nothing, so only the rename can notice.
    PlantingObserver planter;
    planter.path = m_d + QStringLiteral("Docs/a.txt");

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false,
                                     appears ? &planter : nullptr);

    QCOMPARE(copied.ok() ? 0 : copied.error().number, number);
    QCOMPARE(readFile(m_d + QStringLiteral("Docs/a.txt")), appears ? QByteArray("appeared")
                                                                    : QByteArray("copied"));
    if (!appears)
        QCOMPARE(statOf(m_d + QStringLiteral("Docs/a.txt")).st_mtim.tv_sec, 1000000000);
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::stopLeavesNoHalfWrittenFile_data()
{
    QTest::addColumn<int>("stopFiles");
    QTest::addColumn<qint64>("stopBytes");
    QTest::addColumn<bool>("oldBig"); // big.bin is there already and is overwritten
    QTest::addColumn<int>("kernelRefusal"); // the errno refusing copy_file_range, so data is read and written
    QTest::addColumn<QStringList>("files");
    QTest::newRow("before the first file") << 0 << qint64(-1) << false << 0 << QStringList{};
    QTest::newRow("between files") << 1 << qint64(0) << false << 0 << QStringList{"f a.txt = a"};
    QTest::newRow("inside a large file") << 2 << qint64(1) << false << 0 << QStringList{"f a.txt = a"};
    QTest::newRow("inside a large file that replaces one")
        << 2 << qint64(1) << true << 0 << QStringList{"f a.txt = a", "f big.bin = old"};
    QTest::newRow("inside a large file read and written") << 2 << qint64(1) << false << EXDEV
                                                          << QStringList{"f a.txt = a"};
}

void TstCopyEngine::stopLeavesNoHalfWrittenFile()
{
    QFETCH(int, stopFiles);
    QFETCH(qint64, stopBytes);
    QFETCH(bool, oldBig);
    QFETCH(int, kernelRefusal);
    QFETCH(QStringList, files);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    // More than one chunk, so the copy asks in its middle.
    writeFile(source + QStringLiteral("/big.bin"), QByteArray(9 * 1024 * 1024, 'x'));
    writeFile(source + QStringLiteral("/sub/c.txt"), "c");
    if (oldBig)
        writeFile(m_d + QStringLiteral("Docs/big.bin"), "old");
    m_drives->setRefused(QStringLiteral("D"), WriteFaults::Step::CopyRange, kernelRefusal);
    StoppingObserver observer(stopFiles, stopBytes);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), oldBig, &observer);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 18);
    QCOMPARE(filesOf(listing(m_d + QStringLiteral("Docs"))), files);
}

void TstCopyEngine::badPathsGiveNumberedErrorsAndWriteNothing_data()
{
    // Paths relative to the drive roots where they start with "C/" or "D/".
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("number");

    const QString longName(5000, QLatin1Char('x'));
    const QString deepPath = QStringLiteral("/x").repeated(3000);
    QTest::newRow("empty source") << "" << "D/Docs" << 76;
    QTest::newRow("relative source") << "Docs" << "D/Docs" << 76;
    QTest::newRow("drive letter source") << "C:\\Docs" << "D/Docs" << 76;
    QTest::newRow("missing source") << "C/Nothing" << "D/Docs" << 76;
    QTest::newRow("source is a file") << "C/file.txt" << "D/Docs" << 76;
    QTest::newRow("source with NUL") << QStringLiteral("C/Docs") + QChar(0) + QStringLiteral("x") << "D/Docs" << 75;
    QTest::newRow("very long source") << QStringLiteral("C") + deepPath << "D/Docs" << 75;
    QTest::newRow("empty destination") << "C/Docs" << "" << 76;
    QTest::newRow("relative destination") << "C/Docs" << "Docs" << 76;
    QTest::newRow("drive letter destination") << "C/Docs" << "D:\\Docs" << 76;
    QTest::newRow("destination parent missing") << "C/Docs" << "D/no/Docs" << 76;
    QTest::newRow("destination below a file") << "C/Docs" << "D/file/Docs" << 76;
    QTest::newRow("destination is a file") << "C/Docs" << "D/file" << 75;
    QTest::newRow("destination of bytes that are no text")
        << "C/Docs" << QStringLiteral("D/") + QString::fromUtf8("\xff\xfe\xfd") << 75;
    QTest::newRow("destination with a broken surrogate")
        << "C/Docs" << QStringLiteral("D/") + QChar(0xd800) << 75;
    QTest::newRow("very long destination name") << "C/Docs" << QStringLiteral("D/") + longName << 75;
    QTest::newRow("very long destination path") << "C/Docs" << QStringLiteral("D") + deepPath << 75;
    QTest::newRow("destination ending in ..") << "C/Docs" << "D/.." << 75;
    QTest::newRow("destination ending in .") << "C/Docs" << "D/." << 75;
}

void TstCopyEngine::badPathsGiveNumberedErrorsAndWriteNothing()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(int, number);
    writeFile(m_c + QStringLiteral("Docs/a.txt"), "a");
    writeFile(m_c + QStringLiteral("file.txt"), "file");
    writeFile(m_d + QStringLiteral("file"), "file");
    const QString allDrives = QFileInfo(m_d + QStringLiteral("..")).canonicalFilePath();
    const QStringList before = listing(allDrives);
    auto onDrive = [this](const QString &path) {
        if (path.startsWith(QStringLiteral("C/")))
            return m_c + path.mid(2);
        if (path.startsWith(QStringLiteral("D/")))
            return m_d + path.mid(2);
        return path;
    };

    for (const bool overwrite : {false, true}) {
        const Result<void> copied = copy(onDrive(source), onDrive(destination), overwrite);
        QVERIFY(!copied.ok());
        QCOMPARE(copied.error().number, number);
        QCOMPARE(listing(allDrives), before);
    }
}

void TstCopyEngine::readOnlyMountIs70()
{
    const QString stick = m_d + QStringLiteral("stick");
    const TmpfsMount mount(stick, "size=1m");
    if (!mount.mounted())
        QSKIP("mounting a tmpfs is not permitted here");
    writeFile(stick + QStringLiteral("/Docs/old.txt"), "old");
    mount.remountReadOnly();
    writeFile(m_c + QStringLiteral("Docs/a.txt"), "a");

    for (const QString &target : {QStringLiteral("/Docs"), QStringLiteral("/New")}) {
        const Result<void> copied = copy(m_c + QStringLiteral("Docs"), stick + target, true);
        QVERIFY(!copied.ok());
        QCOMPARE(copied.error().number, 70);
    }
    QCOMPARE(listing(stick), QStringList({"d Docs", "f Docs/old.txt = old"}));
}

void TstCopyEngine::fullDiskIs61AndKeepsTheOldFile_data()
{
    QTest::addColumn<int>("freeEntries"); // left on a stick of 64 filled with files; -1: a stick of 64 KiB
    QTest::addColumn<QString>("added");   // to the source, beside a.bin
    QTest::addColumn<QByteArray>("newA"); // the source's a.bin
    QTest::addColumn<bool>("earlierRun"); // versions of an earlier run on the stick, which may go
    QTest::newRow("file larger than the stick") << -1 << "" << QByteArray(256 * 1024, 'n') << false;
    QTest::newRow("new folder") << 0 << "new/x" << QByteArray("old") << true;
    QTest::newRow("new file") << 0 << "x" << QByteArray("old") << true;
    QTest::newRow("stamp folder of a version") << 1 << "" << QByteArray("newer") << true;
    QTest::newRow("new folder, no versions to free") << 0 << "new/x" << QByteArray("old") << false;
}

// What a full stick fails is left as it was, unless versions of earlier
// runs can make room; out of entries, it fails folders as it fails files.
void TstCopyEngine::fullDiskIs61AndKeepsTheOldFile()
{
    QFETCH(int, freeEntries);
    QFETCH(QString, added);
    QFETCH(QByteArray, newA);
    QFETCH(bool, earlierRun);
    const QString stick = m_d + QStringLiteral("stick");
    const TmpfsMount mount(stick, freeEntries < 0 ? "size=64k" : "size=1m,nr_inodes=64");
    if (!mount.mounted())
        QSKIP("mounting a tmpfs is not permitted here");
    const QString docs = stick + QStringLiteral("/Docs"), source = m_c + QStringLiteral("Docs");
    writeFile(docs + QStringLiteral("/a.bin"), "old");
    writeFile(source + QStringLiteral("/a.bin"), newA);
    for (const QString &a : {docs, source}) // an a.bin alike on both sides stays as it is
        setTimes(a + QStringLiteral("/a.bin"), 1'000'000'000, 0);
    if (!added.isEmpty())
        writeFile(source + QLatin1Char('/') + added, "x");
    const QString earlier = stick + QStringLiteral("/.tandemix-versions/Docs/2026-12-01 210000");
    for (int i = 0; earlierRun && i < 4; ++i)
        writeFile(earlier + QStringLiteral("/v%1").arg(i), "v");
    makeFolder(stick + QStringLiteral("/fill"));
    const auto filler = [&](int i) { return QFile::encodeName(stick + QStringLiteral("/fill/%1").arg(i)); };
    int filled = 0;
    while (freeEntries >= 0 && Fd(::open(filler(filled).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)).valid())
        ++filled;
    for (int i = 1; i <= freeEntries; ++i)
        QCOMPARE(::unlink(filler(filled - i).constData()), 0);
    const QStringList before = listing(stick);

    const CopyOptions options{.overwrite = true, .keepVersions = 10, .versionsStamp = QStringLiteral("2026-12-09 210000")};
    const Result<void> copied = m_fs->CopyFolder(source, docs, options);

    QCOMPARE(copied.ok(), earlierRun);
    QCOMPARE(listing(stick) == before, !earlierRun);
    QVERIFY(copied || copied.error().number == 61);
    QCOMPARE(QFileInfo::exists(earlier), false);
    QCOMPARE(readFile(docs + QStringLiteral("/a.bin")), earlierRun ? newA : QByteArray("old"));
    if (earlierRun && !added.isEmpty())
        QCOMPARE(readFile(docs + QLatin1Char('/') + added), QByteArray("x"));
    else if (earlierRun)
        QCOMPARE(readFile(stick + QStringLiteral("/.tandemix-versions/Docs/2026-12-09 210000/a.bin")), QByteArray("old"));
}

void TstCopyEngine::entryThatChangedKindIsSkipped_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("becomes");
    QTest::newRow("file became a FIFO") << "b.txt" << "fifo";
    QTest::newRow("file became a socket") << "b.txt" << "socket";
    QTest::newRow("file became a link") << "b.txt" << "link";
    QTest::newRow("file vanished") << "b.txt" << "nothing";
    QTest::newRow("folder became a link") << "sub" << "link";
    QTest::newRow("folder vanished") << "sub" << "nothing";
}

void TstCopyEngine::entryThatChangedKindIsSkipped()
{
    QFETCH(QString, entry);
    QFETCH(QString, becomes);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    writeFile(source + QStringLiteral("/b.txt"), "b");
    writeFile(source + QStringLiteral("/sub/deeper/c.txt"), "c");
    makeFolder(source + QStringLiteral("/sub/empty"));
    writeFile(m_c + QStringLiteral("elsewhere/x.txt"), "x");
    const QString changed = source + QLatin1Char('/') + entry;
    RecordingObserver observer;
    observer.beforeFile = [&](const QString &path) {
        if (!path.endsWith(QStringLiteral("/a.txt")))
            return;
        if (QFileInfo(changed).isDir())
            QDir(changed).removeRecursively();
        else
            QFile::remove(changed);
        if (becomes == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(changed).constData(), 0644), 0);
        else if (becomes == QLatin1String("link"))
            makeLink(m_c + QStringLiteral("elsewhere"), changed);
        else if (becomes == QLatin1String("socket"))
            QVERIFY(makeSocket(changed));
    };
    FifoWriter writer(changed);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false, &observer);

    QVERIFY2(!writer.finish(), "the copy waited for a writer on the FIFO");
    QVERIFY2(copied.ok(), qPrintable(copied.error().description));
    QStringList expected = {"d sub", "d sub/deeper", "d sub/empty", "f a.txt = a", "f b.txt = b",
                            "f sub/deeper/c.txt = c"};
    expected.removeIf([&](const QString &line) {
        const QString path = line.mid(2).section(QStringLiteral(" = "), 0, 0);
        return path == entry || path.startsWith(entry + QLatin1Char('/'));
    });
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), expected);
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::stopLeavesOnlyFilledFoldersWithTheirBits_data()
{
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("number");
    QTest::newRow("disk full") << ENOSPC << 61;
    QTest::newRow("device error") << EIO << 57;
}

void TstCopyEngine::stopLeavesOnlyFilledFoldersWithTheirBits()
{
    QFETCH(int, err);
    QFETCH(int, number);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    writeFile(source + QStringLiteral("/p/1.txt"), "1");
    writeFile(source + QStringLiteral("/p/q/2.txt"), "2");
    writeFile(source + QStringLiteral("/r/3.txt"), "3");
    makeFolder(source + QStringLiteral("/r/s"));
    setMode(source, 0751);
    setMode(source + QStringLiteral("/p"), 0750);
    RecordingObserver observer;
    observer.beforeFile = [&](const QString &path) {
        if (path.endsWith(QStringLiteral("/q/2.txt")))
            m_drives->setWriteError(QStringLiteral("D"), err);
    };

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false, &observer);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, number);
    // q was reached and stayed empty; r and r/s were made ahead, never reached.
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), QStringList({"d p", "f a.txt = a", "f p/1.txt = 1"}));
    QCOMPARE(statOf(m_d + QStringLiteral("Docs")).st_mode & 07777, 0751u);
    QCOMPARE(statOf(m_d + QStringLiteral("Docs/p")).st_mode & 07777, 0750u);
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::temporariesOfAKilledCopyGoLookAlikesAreCopied_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("merging") << false;
    QTest::newRow("overwriting") << true;
}

void TstCopyEngine::temporariesOfAKilledCopyGoLookAlikesAreCopied()
{
    QFETCH(bool, overwrite);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    writeFile(source + QStringLiteral("/sub/b.txt"), "b");
    // Look-alikes in the source are the user's own entries.
    writeFile(source + QStringLiteral("/.txtmp-1111111111111111"), "1");
    writeFile(source + QStringLiteral("/.txtmp-2222222222222222/c.txt"), "c");
    writeFile(source + QStringLiteral("/.txtmp-not-a-copy"), "mine");
    const QString target = m_d + QStringLiteral("Docs");
    writeFile(target + QStringLiteral("/.txtmp-0123456789abcdef"), "half");
    writeFile(target + QStringLiteral("/sub/.txtmp-fedcba9876543210"), "half");
    makeFolder(target + QStringLiteral("/.txtmp-00000000000000aa/.txtmp-00000000000000bb"));
    writeFile(target + QStringLiteral("/.txtmp-0123456789ABCDEF"), "not the copy's way of writing");
    writeFile(target + QStringLiteral("/.txtmp-2222222222222222/earlier.txt"), "e");

    QVERIFY(copy(source, target, overwrite).ok());

    QCOMPARE(listing(target),
             QStringList({"d .txtmp-2222222222222222", "d sub", "f .txtmp-0123456789ABCDEF = not the copy's way of writing",
                          "f .txtmp-1111111111111111 = 1", "f .txtmp-2222222222222222/c.txt = c",
                          "f .txtmp-2222222222222222/earlier.txt = e", "f .txtmp-not-a-copy = mine", "f a.txt = a",
                          "f sub/b.txt = b"}));
    QCOMPARE(m_fs->Size(Folder{source}).value(), 8);
}

void TstCopyEngine::treeNeedsFewDescriptors_data()
{
    QTest::addColumn<bool>("deep");
    QTest::addColumn<bool>("moved"); // a folder near the top moves away while the copy is at the bottom
    QTest::addColumn<bool>("checked"); // read back, asked for 64 files at a time
    QTest::newRow("300 levels deep") << true << false << false;
    // The folder reopened on the way back up is not the one left.
    QTest::newRow("300 levels deep, moved meanwhile") << true << true << false;
    // Listed far faster than their files are looked at.
    QTest::newRow("120 folders side by side") << false << false << false;
    QTest::newRow("120 folders side by side, read back") << false << false << true;
}

void TstCopyEngine::treeNeedsFewDescriptors()
{
    QFETCH(bool, deep);
    QFETCH(bool, moved);
    QFETCH(bool, checked);
    const QString source = m_c + QStringLiteral("Tree");
    qputenv("TANDEMIX_READBACK_WIDTH", "64");
    const auto deviceDecides = qScopeGuard([] { qunsetenv("TANDEMIX_READBACK_WIDTH"); });
    if (deep) {
        const QString levels = QStringLiteral("/d").repeated(300);
        writeFile(source + levels + QStringLiteral("/bottom.txt"), "bottom");
        writeFile(source + QStringLiteral("/d/d/top.txt"), "top");
        makeFolder(source + levels.left(200) + QStringLiteral("/side"));
    } else {
        for (int folder = 0; folder < 120; ++folder)
            for (int file = 0; file < 30; ++file)
                writeFile(source + QStringLiteral("/f%1/%2.txt").arg(folder).arg(file), "x");
    }

    RecordingObserver observer;
    observer.beforeFile = [&](const QString &path) {
        if (moved && path.endsWith(QStringLiteral("/bottom.txt")))
            QVERIFY(QDir().rename(source + QStringLiteral("/d/d/d"), source + QStringLiteral("/moved")));
    };

    Result<void> copied = [&] {
        // Far fewer than the tree has folders.
        const ResourceLimit limit(RLIMIT_NOFILE, 64);
        return m_fs->CopyFolder(source, m_d + QStringLiteral("Tree"), {.check = checked}, &observer);
    }();

    QCOMPARE(copied.ok() ? 0 : copied.error().number, moved ? 75 : 0);
    if (!moved)
        QCOMPARE(listing(m_d + QStringLiteral("Tree")), listing(source));
}

void TstCopyEngine::linksBecomeFilesWhereTheDestinationHoldsNone_data()
{
    QTest::addColumn<int>("err");
    QTest::newRow("EPERM (FAT, exFAT in the kernel)") << EPERM;
    QTest::newRow("ENOSYS (exFAT through FUSE)") << ENOSYS;
    QTest::newRow("EOPNOTSUPP") << EOPNOTSUPP;
}

void TstCopyEngine::linksBecomeFilesWhereTheDestinationHoldsNone()
{
    QFETCH(int, err);
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/b target.txt"), "T");
    setMode(source + QStringLiteral("/b target.txt"), 0640);
    setTimes(source + QStringLiteral("/b target.txt"), 981173106, 5000);
    writeFile(m_c + QStringLiteral("outside.txt"), "outside");
    makeLink(QStringLiteral("b target.txt"), source + QStringLiteral("/a link"));
    makeLink(m_c + QStringLiteral("outside.txt"), source + QStringLiteral("/c outside"));
    makeLink(QStringLiteral("sub"), source + QStringLiteral("/d folder link"));
    makeLink(QStringLiteral("nowhere"), source + QStringLiteral("/e dangling"));
    writeFile(source + QStringLiteral("/f.txt"), "F");
    writeFile(source + QStringLiteral("/sub/g.txt"), "G");
    m_drives->setLinkError(QStringLiteral("D"), err);

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false);

    QVERIFY2(copied.ok(), qPrintable(copied.error().description));
    QCOMPARE(listing(m_d + QStringLiteral("Docs")),
             QStringList({"d sub", "f a link = T", "f b target.txt = T", "f c outside = outside", "f f.txt = F",
                          "f sub/g.txt = G"}));
    const struct stat linked = statOf(m_d + QStringLiteral("Docs/a link"));
    QCOMPARE(linked.st_mode, S_IFREG | 0640u);
    QCOMPARE(linked.st_mtim.tv_sec, 981173106);
    QCOMPARE(linked.st_mtim.tv_nsec, 5000);
}

void TstCopyEngine::sourceChangingWhileCopiedIsCopiedAgainOrLeftOut_data()
{
    QTest::addColumn<QString>("change"); // made to b.txt after it was opened, before its data is copied
    QTest::addColumn<int>("times");      // on that many tries
    QTest::addColumn<bool>("overwrite"); // over an earlier copy
    for (const char *change : {"cut short", "grown", "rewritten, its time put back"}) {
        QTest::addRow("%s once", change) << change << 1 << false;
        QTest::addRow("%s on every try", change) << change << 2 << false;
    }
    QTest::newRow("rewritten on every try, over an earlier copy") << "rewritten, its time put back" << 9 << true;
}

// Copied again once; where it changes again it is left out and named, no
// copy of it in place, an earlier copy kept as it was.
void TstCopyEngine::sourceChangingWhileCopiedIsCopiedAgainOrLeftOut()
{
    QFETCH(QString, change);
    QFETCH(int, times);
    QFETCH(bool, overwrite);
    const QString source = m_c + QStringLiteral("Docs"), target = m_d + QStringLiteral("Docs");
    const QString changing = source + QStringLiteral("/b.txt");
    writeFile(changing, patterned(300 * 1024));
    if (overwrite)
        writeFile(target + QStringLiteral("/b.txt"), "earlier");
    int changes = 0;
    m_drives->setBefore(WriteFaults::Step::WriteData, [&](const QString &) {
        if (changes++ == times)
            return;
        QByteArray content = readFile(changing);
        if (change == QLatin1String("cut short"))
            content.chop(1000);
        else
            change == QLatin1String("grown") ? void(content += "more") : void(content[1000] = char(changes));
        writeFile(changing, content);
        setTimes(changing, 1'000'000'000, 5); // as before every change
    });
    setTimes(changing, 1'000'000'000, 5);

    RecordingObserver progress;
    const Result<void> copied = copy(source, target, overwrite, &progress);

    QCOMPARE(copied.ok(), times == 1);
    QCOMPARE(listing(target), times == 1 ? listing(source) : overwrite ? QStringList{"f b.txt = earlier"} : QStringList());
    QCOMPARE(changes, 2);
    // The progress ends at what was copied, or at the plan where it was left out.
    QCOMPARE(progress.bytes, times == 1 ? QFileInfo(changing).size() : progress.plannedBytes);
    QVERIFY(copied || (copied.error().number == 75 && copied.error().description.endsWith(changing)));
    QVERIFY(temporaries(m_d).isEmpty());
}

void TstCopyEngine::readingRefusedOnTheSourceIs75_data()
{
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<mode_t>("mode");
    QTest::addColumn<QStringList>("leftOut"); // named by the failed run
    QTest::addColumn<QStringList>("copied");  // the rest
    const QStringList after{"f sub2/d.txt = d", "f z.txt = z"};
    QTest::newRow("a file") << "sub/b.txt" << mode_t(0) << QStringList{"sub/b.txt"}
                            << QStringList{"f a.txt = a", "f sub/c.txt = c", "f sub/deeper/e.txt = e"} + after;
    QTest::newRow("a folder") << "sub" << mode_t(0) << QStringList{"sub"} << QStringList{"f a.txt = a"} + after;
    // Its names can be read, but not one of its files looked at.
    QTest::newRow("a folder listable but not searchable") << "sub" << mode_t(0444)
                                                           << QStringList{"sub/b.txt", "sub/c.txt", "sub/deeper"}
                                                           << QStringList{"f a.txt = a"} + after;
}

void TstCopyEngine::readingRefusedOnTheSourceIs75()
{
    QFETCH(QString, unreadable);
    QFETCH(mode_t, mode);
    QFETCH(QStringList, leftOut);
    QFETCH(QStringList, copied);
    const QString source = m_c + QStringLiteral("Docs");
    for (const char *file : {"a.txt", "sub/b.txt", "sub/c.txt", "sub/deeper/e.txt", "sub2/d.txt", "z.txt"})
        writeFile(source + QLatin1Char('/') + QLatin1String(file), QByteArray(1, file[std::strlen(file) - 5]));
    setMode(source + QLatin1Char('/') + unreadable, mode);
    const auto readable = qScopeGuard([&] { setMode(source + QLatin1Char('/') + unreadable, 0755); });

    RecordingObserver progress;
    const Result<void> done = [&] {
        const PermissionBitsCount asAUser;
        return copy(source, m_d + QStringLiteral("Docs"), false, &progress);
    }();

    QVERIFY(!done.ok());
    QCOMPARE(done.error().number, 75);
    QCOMPARE(progress.bytes, progress.plannedBytes); // what was left out counts as done
    for (const QString &name : leftOut)
        QVERIFY2(done.error().description.contains(source + QLatin1Char('/') + name), qPrintable(done.error().description));
    QCOMPARE(filesOf(listing(m_d + QStringLiteral("Docs"))), copied);
}

void TstCopyEngine::fileAppearingJustBeforeTheRenameIsKept()
{
    const QString source = m_c + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "new");
    makeFolder(m_d + QStringLiteral("Docs"));
    m_drives->setBefore(WriteFaults::Step::RenameNoReplace, [](const QString &path) { writeFile(path, "another program's"); });

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 58);
    QCOMPARE(listing(m_d + QStringLiteral("Docs")), QStringList{"f a.txt = another program's"});
}

void TstCopyEngine::destinationFolderMovedDuringTheCopyFails_data()
{
    QTest::addColumn<QString>("moved"); // relative to the D: root
    QTest::addColumn<QString>("to");    // relative to the drives' folder
    QTest::newRow("renamed inside the destination") << "Docs/sub" << "driveD/Docs/other";
    QTest::newRow("moved outside it") << "Docs/sub" << "driveC/outside";
    QTest::newRow("the destination renamed") << "Docs" << "driveD/Other";
}

void TstCopyEngine::destinationFolderMovedDuringTheCopyFails()
{
    QFETCH(QString, moved);
    QFETCH(QString, to);
    const QString source = m_c + QStringLiteral("Docs");
    for (const char *name : {"b.txt", "c.txt", "d.txt"})
        writeFile(source + QStringLiteral("/sub/") + QLatin1String(name), "x");
    RecordingObserver observer;
    observer.beforeFile = [&](const QString &path) {
        if (path.endsWith(QStringLiteral("/b.txt")))
            QVERIFY(QDir().rename(m_d + moved, m_d + QStringLiteral("../") + to));
    };

    const Result<void> copied = copy(source, m_d + QStringLiteral("Docs"), false, &observer);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 75);
    // Nothing landed where the folder went, nor anything half-written.
    QCOMPARE(filesOf(listing(m_d + QStringLiteral("../") + to)), QStringList());
    QCOMPARE(temporaries(m_d + QStringLiteral("..")), QStringList());
}

void TstCopyEngine::readOnlyFoldersTakeChangesInRepeats_data()
{
    QTest::addColumn<int>("writeError"); // 0 where the repeat goes through
    QTest::newRow("repeat") << 0;
    QTest::newRow("repeat that fails") << EIO;
}

void TstCopyEngine::readOnlyFoldersTakeChangesInRepeats()
{
    QFETCH(int, writeError);
    const QString source = m_c + QStringLiteral("Docs");
    const QString target = m_d + QStringLiteral("Docs");
    writeFile(source + QStringLiteral("/a.txt"), "a");
    writeFile(source + QStringLiteral("/sub/b.txt"), "b");
    setMode(source + QStringLiteral("/sub"), 0555);
    setMode(source, 0555);
    QVERIFY(copy(source, target, false).ok());
    writeFile(source + QStringLiteral("/sub/b.txt"), "changed");
    writeFile(source + QStringLiteral("/sub/new/c.txt"), "c");
    m_drives->setWriteError(QStringLiteral("D"), writeError);

    const Result<void> copied = [&] {
        const PermissionBitsCount asAUser;
        return copy(source, target, true);
    }();

    QVERIFY2(copied.ok() == !writeError, qPrintable(copied.error().description));
    if (!writeError)
        QCOMPARE(listing(target), listing(source));
    for (const QString &folder : {target, target + QStringLiteral("/sub")})
        QCOMPARE(statOf(folder).st_mode & 07777, 0555u);
}

void TstCopyEngine::namesTheDestinationCannotHoldAreLeftOut_data()
{
    QTest::addColumn<bool>("existing"); // merged into, else made, with the folders inside made ahead
    QTest::newRow("first copy") << false;
    QTest::newRow("merging into a copy") << true;
}

void TstCopyEngine::namesTheDestinationCannotHoldAreLeftOut()
{
    QFETCH(bool, existing);
    const Ext4Image stick(m_d + QStringLiteral("stick"), Ext4Image::Device::Plain, Ext4Image::Format::ExfatFuse);
    if (!stick.mounted())
        QSKIP("mounting exFAT through exfat-fuse is refused here (or exfatprogs, exfat-fuse are missing)");
    const QString source = m_c + QStringLiteral("Docs");
    for (const char *name : {"a.txt", "10:30 meeting.txt", "line\nbreak.txt", "at 10:30/in.txt", "z/last.txt"})
        writeFile(source + QLatin1Char('/') + QString::fromUtf8(name), "x");
    // Bytes that are no UTF-8 have no QString.
    const QByteArray notText = QFile::encodeName(source) + "/\xff\xfe.txt";
    ::close(::open(notText.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    const auto removeNotText = qScopeGuard([&] { ::unlink(notText.constData()); }); // Qt cannot name it
    const QString target = stick.mountPoint() + QStringLiteral("/Docs");
    if (existing)
        makeFolder(target);

    const Result<void> copied = copy(source, target, false);

    QVERIFY(!copied.ok());
    QCOMPARE(copied.error().number, 75);
    for (const QString name : {"/10:30 meeting.txt", "/line\nbreak.txt", "/at 10:30", "/\ufffd"})
        QVERIFY2(copied.error().description.contains(target + name), qPrintable(copied.error().description));
    QCOMPARE(listing(target), QStringList({"d z", "f a.txt = x", "f z/last.txt = x"}));
    QVERIFY(temporaries(stick.mountPoint()).isEmpty());
}

// A chain of folders "d" deeper than any path can name, walked through
// descriptors one level at a time, never by recursion.
namespace Chain {

constexpr int Depth = 25'000;

// Makes it in the folder path, with a file at the bottom.
void make(const QString &path)
{
    int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < Depth && fd >= 0 && ::mkdirat(fd, "d", 0755) == 0; ++level) {
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
    }
    const int file = fd >= 0 ? ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : -1;
    if (file < 0 || ::close(file) != 0 || ::close(fd) != 0)
        qFatal("cannot make the chain in %s", qPrintable(path));
}

// Walks down the folders "d" below path, a level at a time through
// descriptors, while each holds that and nothing else: the levels walked,
// and the names at the bottom.
std::pair<int, QStringList> walk(const QString &path)
{
    int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::pair<int, QStringList> walked;
    for (DIR *dir; fd >= 0 && (dir = ::fdopendir(::fcntl(fd, F_DUPFD_CLOEXEC, 0))); ++walked.first) {
        walked.second.clear();
        while (const struct dirent *entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                walked.second << QFile::decodeName(entry->d_name);
        ::closedir(dir);
        if (walked.second != QStringList{QStringLiteral("d")})
            break;
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
    }
    ::close(fd);
    return walked;
}

} // namespace Chain

void TstCopyEngine::deepTreeIsCopiedOrTidiedWithoutRecursion_data()
{
    QTest::addColumn<bool>("failing");
    QTest::addColumn<bool>("readBack"); // paths far past PATH_MAX
    QTest::newRow("copied") << false << false;
    QTest::newRow("copied and read back") << false << true;
    QTest::newRow("failing at the bottom: every level made goes again") << true << false;
}

void TstCopyEngine::deepTreeIsCopiedOrTidiedWithoutRecursion()
{
    QFETCH(bool, failing);
    QFETCH(bool, readBack);
    // Deep folders are made far faster on tmpfs than on ext4, and go with it.
    const QString source = m_c + QStringLiteral("Deep");
    const QString stick = m_d + QStringLiteral("Stick");
    const TmpfsMount sourceMount(source, "size=256m");
    const TmpfsMount stickMount(stick, "size=256m");
    if (!sourceMount.mounted() || !stickMount.mounted())
        QSKIP("mounting tmpfs is not permitted here");
    const QString target = stick + QStringLiteral("/Deep");
    Chain::make(source);
    RecordingObserver observer;
    if (failing) // at the bottom file, after every level was made
        observer.beforeFile = [&](const QString &) { m_drives->setWriteError(QStringLiteral("D"), ENOSPC); };

    const Result<void> copied = m_fs->CopyFolder(source, target, {.check = readBack}, &observer);

    QVERIFY2(copied.ok() != failing, copied ? "" : qPrintable(copied.error().description));
    QCOMPARE(observer.events.size(), readBack ? 3 : 2); // the plan, the bottom file (and its read-back)
    if (failing)
        QVERIFY(!QFileInfo::exists(target));
    else
        QCOMPARE(Chain::walk(target), std::make_pair(Chain::Depth, QStringList{QStringLiteral("bottom.txt")}));
}

namespace Stick {

// The columns of a stick's table: the source's files (each holding its own
// path), those grown to 4 GiB without data, and the time they all bear;
// what happens on the stick between a first copy and a repeat; what each
// run names as left out, and which files the repeat writes again.
void addColumns()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("huge");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<long>("nanoseconds");
    QTest::addColumn<int>("movedBy"); // seconds the stick's times move
    QTest::addColumn<bool>("readBackFailed"); // the first copy is never read back
    QTest::addColumn<QStringList>("leftOut");
    QTest::addColumn<QStringList>("rewritten"); // the others are left in place
    QTest::addColumn<bool>("sameBytes"); // else the stick's copies get other bytes of their size
}

constexpr qint64 Year2001 = 1'000'000'000;
const QStringList Twins{"Photos/a.txt", "Report.txt", "b.txt", "photos", "report.txt"};
const QStringList Nested{"a/b/x.txt", "a/y.txt", "c/z.txt"};

} // namespace Stick

// FAT as the kernel keeps it: times in 2 s, nothing before 1980, names that
// fold case, files below 4 GiB. Only the kernel under tests/fakes/in_uml.sh
// has the driver (the vfat CTest entry).
void TstCopyEngine::onKernelFat_data()
{
    using namespace Stick;
    constexpr qint64 Fat1980 = 315532800;
    const QStringList a{"a.txt"};
    addColumns();
    QTest::newRow("odd second, kept to 2 s: current") << a << QStringList() << Year2001 + 1 << 999'999'999L << 0 << false << QStringList() << QStringList() << false;
    QTest::newRow("rounded up as Windows writes it: current") << a << QStringList() << Year2001 + 1 << 0L << 2 << false << QStringList() << QStringList() << false;
    QTest::newRow("2 s after an even time: changed") << a << QStringList() << Year2001 << 0L << 2 << false << QStringList() << a << false;
    QTest::newRow("4 s after: changed") << a << QStringList() << Year2001 + 1 << 0L << 4 << false << QStringList() << a << false;
    QTest::newRow("an hour later, other bytes: copied") << a << QStringList() << Year2001 << 0L << 3600 << false << QStringList() << a << false;
    QTest::newRow("an hour later, same bytes: its time corrected") << a << QStringList() << Year2001 << 0L << 3600 << false << QStringList() << QStringList() << true;
    QTest::newRow("a day and a quarter earlier: copied") << a << QStringList() << Year2001 << 0L << -24 * 3600 - 900 << false << QStringList() << a << true;
    QTest::newRow("10 minutes earlier: copied") << a << QStringList() << Year2001 << 0L << -600 << false << QStringList() << a << true;
    QTest::newRow("read back wrong, early 1980: copied again") << a << QStringList() << Fat1980 + 1 << 0L << 0 << true << QStringList() << a << false;
    QTest::newRow("read back wrong, in 2001: copied again") << a << QStringList() << Year2001 + 1 << 0L << 0 << true << QStringList() << a << false;
    QTest::newRow("before 1970, which FAT cannot hold: copied again") << a << QStringList() << qint64(-86'400 * 400 - 1) << 0L << 0 << false << QStringList() << a << false;
    QTest::newRow("names that fold together: the first kept") << Twins << QStringList() << Year2001 << 0L << 0 << false << QStringList{"photos", "report.txt"} << QStringList() << false;
    QTest::newRow("4 GiB: left out, the rest copied") << QStringList{"a.txt", "big.bin", "z.txt"} << QStringList{"big.bin"} << Year2001 << 0L << 0 << false << QStringList{"big.bin"} << QStringList() << false;
    QTest::newRow("folders alone: left as they are") << Nested << QStringList() << Year2001 << 0L << 0 << false << QStringList() << QStringList() << false;
}

void TstCopyEngine::onKernelFat()
{
    const Ext4Image stick(m_d + QStringLiteral("stick"), Ext4Image::Device::Plain, Ext4Image::Format::Vfat);
    if (!stick.mounted() && qEnvironmentVariableIsSet("TX_VFAT_EXPECTED"))
        QFAIL("the kernel has FAT, yet the stick would not mount");
    if (!stick.mounted())
        QSKIP("this kernel has no FAT driver (the vfat CTest entry runs these under User-mode Linux)");
    copyTwiceOnto(stick);
}

// exFAT as a desktop mounts it through exfat-fuse.
void TstCopyEngine::onExfatFuse_data()
{
    using namespace Stick;
    addColumns();
    QTest::newRow("names that fold together: the first kept") << Twins << QStringList() << Year2001 << 0L << 0 << false << QStringList{"photos", "report.txt"} << QStringList() << false;
    QTest::newRow("folders alone: left as they are") << Nested << QStringList() << Year2001 << 0L << 0 << false << QStringList() << QStringList() << false;
}

void TstCopyEngine::onExfatFuse()
{
    const Ext4Image stick(m_d + QStringLiteral("stick"), Ext4Image::Device::Plain, Ext4Image::Format::ExfatFuse);
    if (!stick.mounted())
        QSKIP("mounting exFAT through exfat-fuse is refused here (or exfatprogs, exfat-fuse are missing)");
    copyTwiceOnto(stick);
}

// Copies the row's files onto the stick, changes the copies there, and
// copies them again in overwrite mode; then restores them from the stick.
void TstCopyEngine::copyTwiceOnto(const Ext4Image &stick)
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, huge);
    QFETCH(qint64, seconds);
    QFETCH(long, nanoseconds);
    QFETCH(int, movedBy);
    QFETCH(bool, readBackFailed);
    QFETCH(bool, sameBytes);
    QFETCH(QStringList, leftOut);
    QFETCH(QStringList, rewritten);
    const QString source = m_c + QStringLiteral("Docs");
    const QString target = stick.mountPoint() + QStringLiteral("/Docs");
    for (const QString &file : files) {
        writeFile(source + QLatin1Char('/') + file, file.toUtf8());
        if (huge.contains(file) && ::truncate(QFile::encodeName(source + QLatin1Char('/') + file).constData(), 4LL << 30) != 0)
            QFAIL("cannot grow the source file");
        setTimes(source + QLatin1Char('/') + file, seconds, nanoseconds);
    }
    const QStringList folders = pathsBelow(source, QDir::Dirs);
    for (const QString &folder : folders + QStringList{source}) // a time of their own, far from the run's
        setTimes(folder, Stick::Year2001, 0);
    auto copyNaming = [&](bool overwrite, CopyObserver *observer) {
        const Result<void> copied = copy(source, target, overwrite, observer);
        QCOMPARE(copied.ok(), leftOut.isEmpty());
        for (const QString &name : leftOut)
            QVERIFY2(copied.error().description.contains(target + QLatin1Char('/') + name), qPrintable(copied.error().description));
    };
    // A copy to be read back bears its unchecked time until the read-back
    // passes: never read back, it stays as a failed one leaves it.
    RecordingObserver progress;
    WrittenRecorder recorder(&progress);
    copyNaming(false, readBackFailed ? &recorder : static_cast<CopyObserver *>(&progress));
    if (QTest::currentTestFailed())
        return;
    // What is left out is not counted, or counts as done: the progress ends full.
    QVERIFY(progress.events.value(0) == QStringLiteral("plan %1").arg(progress.events.size() - 1) && progress.bytes == progress.plannedBytes);
    // Other bytes of the same size under the same time: only a copy puts
    // the source's back.
    // With the same bytes, a copy shows by its new entry; one left in place
    // must bear the first copy's time again.
    QStringList expected;
    QHash<QString, struct stat> before;
    for (const QString &file : files)
        if (!leftOut.contains(file)) {
            const QString copied = target + QLatin1Char('/') + file;
            before[file] = statOf(copied);
            if (!sameBytes)
                writeFile(copied, QByteArray(file.size(), '#'));
            setTimes(copied, before[file].st_mtim.tv_sec + movedBy, before[file].st_mtim.tv_nsec);
            const bool fresh = sameBytes || rewritten.contains(file);
            expected << QStringLiteral("f %1 = %2").arg(file, fresh ? file : QString(file.size(), QLatin1Char('#')));
        }
    // Setting bits or times, even the same again, is an attribute change.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    for (const QString &folder : folders)
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(target + folder.mid(source.size())).constData(), IN_ATTRIB) >= 0);
    copyNaming(true, nullptr);
    alignas(struct inotify_event) char events[4096];
    const ssize_t heard = ::read(watch, events, sizeof events);
    ::close(watch);
    auto event = [&](ssize_t at) { return reinterpret_cast<const struct inotify_event *>(events + at); };
    for (ssize_t at = 0; at < heard; at += ssize_t(sizeof(struct inotify_event) + event(at)->len))
        QVERIFY2(event(at)->len > 0, "a folder below was touched on the repeat"); // not a file in it
    QVERIFY(std::abs(statOf(target).st_mtim.tv_sec - Stick::Year2001) <= 2);

    QCOMPARE(filesOf(listing(target)), expected);
    for (auto it = before.cbegin(); sameBytes && it != before.cend(); ++it) {
        const struct stat now = statOf(target + QLatin1Char('/') + it.key());
        QCOMPARE(now.st_ino != it->st_ino, rewritten.contains(it.key()));
        QVERIFY(sameInstant(now.st_mtim, it->st_mtim));
    }
    QVERIFY(temporaries(stick.mountPoint()).isEmpty());

    // The stick says 0755 or 0777 of everything: a restore gives the bits
    // of new files and folders instead.
    const mode_t umask = ::umask(022);
    ::umask(umask);
    const QString restored = m_d + QStringLiteral("Restored");
    QVERIFY(copy(target, restored, false).ok());
    for (const QString &path : pathsBelow(restored, QDir::AllEntries) + QStringList{restored}) {
        const mode_t mode = statOf(path).st_mode;
        QCOMPARE(mode & 07777, (S_ISDIR(mode) ? 0777 : 0666) & ~umask);
    }
}

QTEST_GUILESS_MAIN(TstCopyEngine)
#include "tst_copyengine.moc"
