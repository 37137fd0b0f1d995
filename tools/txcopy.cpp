// txcopy SRC DST [--overwrite] [--progress] [--verify] [--keep-versions N]:
// copies the folder SRC to DST as the program does. Exits 0 on success, else
// with the error number (58, 70, 76, ...) after printing the error to
// standard error. --progress counts what the copy reports, as the progress
// window does, and prints the totals (and how long the read-back took).
// --verify flushes the copy to the device and reads back what it wrote, as
// every run does (57 when the device hands back other bytes).
// --keep-versions N keeps what an overwriting copy replaces or removes, as
// the program's runs do, in DST's folder under .tandemix-versions, the last
// N runs' of it (none without it); entries whose versions could not be kept
// are printed.

#include "core/PosixIo.h"
#include "platform/LinuxDriveTable.h"
#include "runs/DriveFileSystem.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

class CountingObserver final : public CopyObserver {
public:
    void copyPlanned(qint64 files, qint64 bytes) override
    {
        std::fprintf(stderr, "txcopy: %lld files, %lld bytes to copy\n", files, bytes);
    }
    void fileStarted(const QString &) override { ++m_files; }
    // A checked copy is copied once its flush begins.
    void flushStarted() override
    {
        report("copied");
        m_flushed = true;
    }
    void bytesCopied(qint64 bytes) override { m_bytes += bytes; }
    void checkStarted(qint64 files, qint64 bytes) override
    {
        std::fprintf(stderr, "txcopy: %lld files, %lld bytes to read back\n", files, bytes);
        m_files = m_bytes = 0;
        m_clock.start();
    }
    bool flushed() const { return m_flushed; }
    void report(const char *what) const
    {
        std::fprintf(stderr, "txcopy: %lld files, %lld bytes %s", m_files, m_bytes, what);
        if (m_clock.isValid())
            std::fprintf(stderr, " in %.3f s", double(m_clock.nsecsElapsed()) / 1e9);
        std::fputc('\n', stderr);
    }

private:
    qint64 m_files = 0;
    qint64 m_bytes = 0;
    bool m_flushed = false;
    QElapsedTimer m_clock; // of the read-back
};

} // namespace

int main(int argc, char *argv[])
{
    raiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool overwrite = args.removeAll(QStringLiteral("--overwrite")) > 0;
    const bool progress = args.removeAll(QStringLiteral("--progress")) > 0;
    const bool verify = args.removeAll(QStringLiteral("--verify")) > 0;
    int keepVersions = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--keep-versions")); at >= 0) {
        bool number = false;
        keepVersions = args.value(at + 1).toInt(&number);
        args.remove(at, std::min<qsizetype>(2, args.size() - at));
        if (!number || keepVersions < 0)
            args.clear(); // shows the usage below
    }
    if (args.size() != 2) {
        std::fputs("usage: txcopy SRC DST [--overwrite] [--progress] [--verify] [--keep-versions N]\n", stderr);
        return 2;
    }

    LinuxDriveTable drives;
    DriveFileSystem fileSystem(drives);
    CountingObserver observer;
    const CopyOptions options{
        .overwrite = overwrite,
        .check = verify,
        .keepVersions = keepVersions,
        .versionsStamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmmss"))};
    CopyCounts counts;
    const Result<void> copied = fileSystem.CopyFolder(args[0], args[1], options, progress ? &observer : nullptr, &counts);
    for (const QString &entry : std::as_const(counts.notKept))
        std::fprintf(stderr, "txcopy: old version not kept, replaced: %s\n", entry.toLocal8Bit().constData());
    if (progress && !observer.flushed())
        observer.report("copied");
    else if (progress && copied)
        observer.report("read back");
    if (!counts.throughCache.isEmpty())
        std::fprintf(stderr, "txcopy: %s\n", counts.throughCache.toLocal8Bit().constData());
    if (copied)
        return 0;
    std::fprintf(stderr, "txcopy: error %d: %s\n", copied.error().number,
                 copied.error().description.toLocal8Bit().constData());
    return copied.error().number;
}
