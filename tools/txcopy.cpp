// txcopy SRC DST [--overwrite] [--progress]: copies the folder SRC to DST as
// the program does. Exits 0 on success, else with the error number (58, 70,
// 76, ...) after printing the error to standard error. --progress counts
// what the copy reports, as the progress window does, and prints the totals.

#include "core/PosixIo.h"
#include "platform/LinuxDriveTable.h"
#include "runs/DriveFileSystem.h"

#include <QCoreApplication>
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
    void bytesCopied(qint64 bytes) override { m_bytes += bytes; }
    void report() const { std::fprintf(stderr, "txcopy: %lld files, %lld bytes copied\n", m_files, m_bytes); }

private:
    qint64 m_files = 0;
    qint64 m_bytes = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    raiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool overwrite = args.removeAll(QStringLiteral("--overwrite")) > 0;
    const bool progress = args.removeAll(QStringLiteral("--progress")) > 0;
    if (args.size() != 2) {
        std::fputs("usage: txcopy SRC DST [--overwrite] [--progress]\n", stderr);
        return 2;
    }

    LinuxDriveTable drives;
    DriveFileSystem fileSystem(drives);
    CountingObserver observer;
    const Result<void> copied = fileSystem.CopyFolder(args[0], args[1], overwrite,
                                                      progress ? &observer : nullptr);
    if (progress)
        observer.report();
    if (copied)
        return 0;
    std::fprintf(stderr, "txcopy: error %d: %s\n", copied.error().number,
                 copied.error().description.toLocal8Bit().constData());
    return copied.error().number;
}
