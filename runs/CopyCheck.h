#pragma once

#include "platform/CopyProgressRunner.h"
#include "platform/FileSystemService.h"


class WriteFaults;

// Passes what a copy tells on to another observer (when there is one) and
// keeps the entries it wrote, for the read-back after the flush.
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
    void entryWritten(const WrittenEntry &entry) override
    {
        written.push_back(entry);
        if (m_next)
            m_next->entryWritten(entry);
    }

    WrittenEntries written;

private:
    CopyObserver *const m_next;
};

// Reads every written file back from the device, past the page cache, side
// by side with its source, and compares them; links and folders are looked
// at for the target and kind the copy gave them. Every entry is checked,
// also after a failure, so that each file that is wrong gets marked: it
// stays in place, but with a modification time two days from its source's,
// so the size-and-time test of a later repeat copies it again. The first
// failure is returned (57, naming the file and the first byte that differs).
// A source changed since it was copied is not held against its copy, which
// the next run replaces anyway. faults, when given, makes reading fail.
Result<void> checkWritten(const WrittenEntries &written, CopyObserver *observer,
                          const WriteFaults *faults = nullptr);

// Marks the files among written (from the one at from on) as a failed
// read-back does, reading nothing: for what a run wrote and did not get to
// read back.
void markUnchecked(const WrittenEntries &written, size_t from = 0);

// What follows every copy before it may count as done: the flush, then the
// read-back of what was written, also of what a failed copy wrote (or the
// repeat after the overwrite question would take a bad file of it as
// current). What a stopped copy wrote, or anything past a failed flush, is
// marked unchecked instead. The copy's own failure comes first.
Result<void> settleCopy(FileSystemService &fileSystem, const QString &destination, const Result<void> &copied,
                        const WrittenEntries &written, CopyProgressObserver *observer);
