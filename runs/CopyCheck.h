#pragma once

#include "core/PosixIo.h"
#include "platform/FileSystemService.h"

#include <string>

class WriteFaults;

// The two folders a copy went between, as its record names them, held open
// from the copy to the read-back: what it wrote is found again in the
// folders it wrote into, wherever they stand by then.
struct CopyRoots {
    std::string source;
    std::string destination;
    Fd sourceFd;
    Fd destinationFd;
};

// Passes what a copy tells on to another observer (when there is one) and
// keeps the entries it wrote and its two folders, for the read-back after
// the flush.
class WrittenRecorder final : public CopyObserver {
public:
    explicit WrittenRecorder(CopyObserver *next) : m_next(next) {}

    void copyPlanned(qint64 files, qint64 bytes) override
    {
        if (m_next)
            m_next->copyPlanned(files, bytes);
    }
    void fileStarted(const QString &sourcePath) override
    {
        if (m_next)
            m_next->fileStarted(sourcePath);
    }
    void bytesCopied(qint64 bytes) override
    {
        if (m_next)
            m_next->bytesCopied(bytes);
    }
    bool stopRequested() const override { return m_next && m_next->stopRequested(); }
    bool checksWritten() const override { return true; }
    void copyBetween(const std::string &source, const std::string &destination, int sourceFd,
                     int destinationFd) override
    {
        written.startAt(source, destination);
        roots = {source, destination, Fd(::fcntl(sourceFd, F_DUPFD_CLOEXEC, 0)),
                 Fd(::fcntl(destinationFd, F_DUPFD_CLOEXEC, 0))};
        if (m_next)
            m_next->copyBetween(source, destination, sourceFd, destinationFd);
    }
    void entryWritten(const WrittenEntry &entry) override
    {
        written.push_back(entry);
        if (m_next)
            m_next->entryWritten(entry);
    }

    WrittenEntries written;
    CopyRoots roots;

private:
    CopyObserver *const m_next;
};

// Reads every written file back from the device, past the page cache, side
// by side with its source, and compares them; links and folders are looked
// at for the target and kind the copy gave them. Every entry is checked,
// also after a failure. A file that reads back right takes its source's
// time; one that does not stays in place with the unchecked time it was
// written with, so the size-and-time test of a later repeat copies it
// again. The first failure is returned (57, naming the file and the first
// byte that differs). A source changed or gone since it was copied (its
// size, time or change time moved) is not held against its copy, which
// keeps its unchecked time for the next run to replace; where no copy
// failed, the run fails with 75 naming such sources. faults, when given,
// makes reading fail. roots, when given, hold the copy's two folders open:
// entries below them are found from there, others by their paths.
Result<void> checkWritten(const WrittenEntries &written, const CopyRoots *roots, CopyObserver *observer,
                          const WriteFaults *faults = nullptr);

// How many small files the read-back reads at once from the block device
// (a disk or a partition) whose folder under /sys is device. One where it
// serves requests in turn: sticks and card readers (removable, on USB or an
// MMC host), disks that queue one request (queue_depth 1), and what lies
// over such a disk (an encrypted stick). Elsewhere, solid-state or
// rotational, many: the files a copy wrote lie side by side in the order
// they are read back, so the device's own queue and the kernel's put the
// requests in order, where one at a time would wait a turn (or a rotation)
// for each.
size_t readBackWidthOf(const std::string &device, int depth = 0);
