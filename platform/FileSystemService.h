#pragma once

#include "core/Drive.h"
#include "core/Result.h"
#include "platform/WrittenEntries.h"

#include <QList>
#include <QStringList>
#include <QString>

#include <ctime>
#include <string>
#include <vector>

// A folder the component has found; Size() totals it.
struct Folder {
    QString path;
};

// Told about a copy as it goes. Called on the thread that runs CopyFolder.
class CopyObserver {
public:
    virtual ~CopyObserver() = default;
    // Totals of the tree, known before the first file is copied.
    virtual void copyPlanned(qint64 files, qint64 bytes) = 0;
    // A file (native source path) is about to be copied, or to be left in
    // place because the destination holds it already.
    virtual void fileStarted(const QString &sourcePath) = 0;
    // More bytes of the current file are done: written, or all of them at
    // once for a file left in place, so a repeat run moves at its own pace.
    virtual void bytesCopied(qint64 bytes) = 0;
    // Asked between files and between chunks of a file: true ends the copy
    // with UserInterrupt, the file being written abandoned.
    virtual bool stopRequested() const { return false; }
    // The two folders the copy goes between, native, as the paths of the
    // entries written begin, and open (borrowed for the call); told before
    // the first entry.
    virtual void copyBetween(const std::string &source, const std::string &destination, int sourceFd,
                             int destinationFd)
    {
        (void)source;
        (void)destination;
        (void)sourceFd;
        (void)destinationFd;
    }
    // An entry is in place under its own name, written by this copy.
    virtual void entryWritten(const WrittenEntry &) {}
    // True where what is written is read back after the copy: a file then
    // carries uncheckedTime() of its source's time until it passes.
    virtual bool checksWritten() const { return false; }
    // The copy is done and what it wrote goes to the device now.
    virtual void flushStarted() {}
    // What was written is read back now: from here on fileStarted and
    // bytesCopied count the files and bytes checked.
    virtual void checkStarted(qint64 files, qint64 bytes) { (void)files; (void)bytes; }
};

// How a copy goes.
struct CopyOptions {
    // What the destination holds is replaced; else an existing file stops
    // the copy with 58.
    bool overwrite = false;
    // What the copy wrote is flushed to the device and read back: 57 naming
    // the first file that differs, is short or cannot be read; only a file
    // that reads back right takes its source's time, the others keep the
    // unchecked time they were written with. Also after a failed copy.
    bool check = false;
    // When overwriting, what the copy would destroy in the destination is
    // moved into the versions folder beside it, under versionsStamp ("YYYY-MM-DD
    // HHMMSS"), and the versions of all but the last keepVersions runs are
    // removed; the oldest make room when the destination is full. 0 keeps none.
    int keepVersions = 0;
    QString versionsStamp = QString();
};

// What a copy did to its destination, told once it ends.
struct CopyCounts {
    // Bytes of file data the destination holds more than before the copy:
    // what was written less what was replaced or removed.
    qint64 bytesAdded = 0;
    // The entries replaced or removed whose old version could not be kept,
    // each with why.
    QStringList notKept;
    // Where the read-back could only read through the system's cache, the
    // line that says so; else empty.
    QString throughCache;
};


// The drive table: which drive letters exist, which folders they name,
// whether they can be read now and how much room they have.
class DriveTable {
public:
    virtual ~DriveTable() = default;
    // Read afresh on every call, so a stick plugged in later appears; a
    // drive keeps its letter for as long as it stays mounted.
    virtual QList<DriveEntry> drives() = 0;
    // True when the drive's folder can be read now and still lies on the
    // drive's mount: a drive that left is not ready.
    virtual bool isReady(const DriveEntry &drive) const = 0;
    // What the drive's folder has free now, asked of a drive found ready;
    // 71 when the folder cannot be asked.
    virtual Result<qint64> freeSpace(const DriveEntry &drive) const = 0;
    // The drive that holds the working directory, else C:.
    virtual QString currentDrive() = 0;
};

// Drive queries and folder copies. Failures carry the numbers of
// ErrorNumber: 58 an existing file while not overwriting, 70 writing
// refused, 76 a path that does not exist; 57, 61, 68, 71, 75 otherwise;
// 18 when the copy's observer asked it to stop.
class FileSystemService {
public:
    virtual ~FileSystemService() = default;

    virtual QList<DriveEntry> Drives() = 0;
    virtual QString CurrentDrive() = 0;

    // "C:" for "C: [ホーム]", "C:" or a native path on C:'s folder; empty
    // when the text names no drive.
    virtual QString GetDriveName(const QString &pathOrEntry) = 0;
    // 68 when there is no such drive.
    virtual Result<DriveEntry> GetDrive(const QString &driveName) = 0;
    // True when the drive's folder can be read now and still lies on the
    // mount the entry names.
    virtual bool IsReady(const DriveEntry &drive) = 0;
    // Bytes available to the user; 71 when the drive is not ready.
    virtual Result<qint64> FreeSpace(const DriveEntry &drive) = 0;
    // Makes destination a copy of source, merging into what is there; counts,
    // when given, takes what the copy did.
    virtual Result<void> CopyFolder(const QString &source, const QString &destination,
                                    const CopyOptions &options, CopyObserver *observer = nullptr,
                                    CopyCounts *counts = nullptr) = 0;
    // 76 when the folder does not exist.
    virtual Result<Folder> GetFolder(const QString &path) = 0;
    // Total bytes of the files of the folder and its subfolders.
    virtual Result<qint64> Size(const Folder &folder) = 0;
};
