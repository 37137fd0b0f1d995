#pragma once

#include "platform/FileSystemService.h"
#include "runs/FolderPlan.h"
#include "runs/FolderWalk.h"
#include "runs/KeptVersions.h"

#include <limits>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

// Lets a test make writing fail where it cannot mount a read-only or full
// file system. The program runs without one.
class WriteFaults {
public:
    // CopyRange, RenameNoReplace and DirectRead stand for the kernel
    // refusing a call that some file systems lack (EXDEV, EINVAL), so the
    // fallbacks run. ReadBack stands for the device failing to read a
    // written file back.
    enum class Step { CreateFolder, CreateFile, CreateLink, WriteData, CopyRange, RenameNoReplace, DirectRead, ReadBack };
    virtual ~WriteFaults() = default;
    // The errno with which writing destinationPath at this step fails, or 0.
    virtual int failure(Step step, const std::string &destinationPath) const = 0;
    // True where the drive keeps only whole seconds of the times set on
    // destinationPath, as exFAT through exfat-fuse does.
    virtual bool keepsWholeSeconds(const std::string &destinationPath) const = 0;
};

// A failed run's 75 naming the entries paths (native) it did not copy, or
// not as they are now, for the reason what.
Error namedError(const QString &what, const std::vector<std::string> &paths);

// Copies a folder tree the way CopyFolder promises: the destination is
// created or merged into, files of a folder before its subfolders in name
// order, each file written under a temporary name and renamed into place,
// modification times and permission bits kept, links copied as links.
// Folders are made ahead of the files under temporary names and take their
// own names when reached; a stop leaves none of them behind, and a run
// removes the temporaries a killed one left in the folders it enters.
// When overwriting, an entry the destination already holds as it should be
// is left in place, and what the copy replaces or removes is kept as a
// version where the options ask for it (KeptVersions).
class CopyEngine {
public:
    CopyEngine(const CopyOptions &options, CopyObserver *observer, const WriteFaults *faults);

    Result<void> copyFolder(const QString &source, const QString &destination);
    // What the copy has done to its destination so far.
    CopyCounts counts() const;

private:
    enum class FollowLink { No, Yes };
    // How the copy came into a destination folder; Refused where the
    // destination cannot hold its name, and it was left out.
    enum class Entered { Found, Made, Refused };

    Result<void> refuseOwnSubtree(FolderId source, int parentFd, const std::string &name,
                                  const std::string &destination);
    Result<Entered> enterTarget(PlannedFolder &folder, mode_t mode, bool removeLeftovers);
    Result<void> enteredTarget(int err, const struct stat &st, bool made);
    void openUp(PlannedFolder &folder, const struct stat &st);
    Result<void> makeFolders(PlannedFolder &top);
    Result<void> makeAhead(PlannedFolder &sub);
    Result<Entered> placeAhead(PlannedFolder &sub);
    Result<void> copyTree(PlannedFolder &top, bool targetIsNew);
    Result<void> copyFiles(const PlannedFolder &folder, bool targetIsNew);
    Result<bool> enterFolder(PlannedFolder &sub, struct stat &st);
    Result<void> leaveFolder(PlannedFolder &sub, const struct stat &source);
    // The paths for errors and the observer follow the walks down and up.
    void stepDown(const std::string &name);
    void stepUp();
    Result<void> copyEntry(const PlannedFile &file, int sourceFd, int targetFd, bool targetIsNew);
    bool leftInPlace(const PlannedFile &file, int sourceFd, int targetFd);
    bool leftOutAsTooLarge(const PlannedFile &file, int targetFd);
    bool madeRoom(const Result<void> &copied, const PlannedFile &file, int targetFd);
    int makeFolder(const char *name, mode_t mode);
    void passOver(const PlannedFile &file);
    void tellCopied(qint64 bytes);
    void takeBackTold();
    mode_t bitsToGive(mode_t mode) const;
    void giveUsualBits(PlannedFolder &top);
    bool shiftedButSame(const PlannedFile &file, int sourceFd, int targetFd);
    bool sameLinkTarget(const PlannedFile &file, int sourceFd, int targetFd);
    bool sameTimeThere(const struct timespec &there, const struct timespec &source, int targetFd, dev_t device);
    void keepFolderAttributes(const struct stat &source, bool created);
    Result<void> copyFile(const PlannedFile &file, int sourceFd, int targetFd, FollowLink follow);
    Result<bool> copyFileOnce(const PlannedFile &file, int sourceFd, int targetFd, FollowLink follow);
    Result<void> copyLink(const PlannedFile &file, int sourceFd, int targetFd);
    Result<bool> copyData(int in, int out, const struct stat &st, const std::string &name);
    Result<qint64> copySpan(int in, int out, qint64 size, const std::string &name);
    Result<qint64> copyDataByReading(int in, int out, qint64 size, const std::string &name);
    ssize_t copyRange(int in, int out, size_t length, const std::string &name) const;
    int renameNoReplace(int dirFd, const std::string &from, const std::string &to, const std::string &path) const;
    template <typename Create>
    Result<std::string> createTemporary(WriteFaults::Step step, const std::string &target, Create create);
    // bytes: the size of what was written, counted once it is in place.
    bool placedInPlace(Result<void> &done, int targetFd, const std::string &temporary, const PlannedFile &file,
                       qint64 bytes);
    Result<void> putInPlace(int targetFd, const std::string &temporary, const PlannedFile &file);
    bool leftOutIfRefused(int err, int dirFd, const char *temporary, const std::string &path);
    void leaveOutCaseTwins(FolderPlan &plan);
    Result<void> leftOutError() const;
    Error folderMoved() const;
    void tidy(PlannedFolder &top);
    void removeTemporaries(const PlannedFolder &folder);
    int removeTree(const std::string &name, qint64 *bytes = nullptr);
    bool removedFileInTheWay(int err, const std::string &name);
    enum class Way { Replace, RemoveFile, RemoveFolder };
    int clearWay(int dirFd, const std::string &name, const std::string &path, Way way, qint64 bytes);
    void setTimes(int fd, struct timespec accessed, struct timespec modified, const std::string &name) const;

    // What a destination file system keeps of the times and bits given to
    // its files.
    struct Keeping {
        qint64 timeStep = 1; // nanoseconds; 1 where times are kept exactly
        bool bits = true;
        bool foldsCase = false; // names that differ only in case name one entry
        qint64 largestFile = std::numeric_limits<qint64>::max(); // bytes
    };
    const Keeping &keepingOf(int targetFd, dev_t device);
    Keeping learnKeeping(int targetFd);
    int fault(WriteFaults::Step step, const std::string &path) const;
    bool stopRequested() const { return m_observer && m_observer->stopRequested(); }

    std::string sourcePathOf(const std::string &name) const { return m_sourcePath + '/' + name; }
    std::string targetPathOf(const std::string &name) const { return m_targetPath + '/' + name; }

    const bool m_overwrite;
    const int m_keepVersions;
    const std::string m_versionsStamp;
    CopyObserver *const m_observer;
    const WriteFaults *const m_faults;
    const mode_t m_umask;
    bool m_sourceKeepsBits = true;
    std::set<FolderId> m_sourceFolders;
    FolderWalk m_source; // where the copy stands in the source tree
    FolderWalk m_target; // and in the destination
    bool m_madeAhead = false;
    std::map<dev_t, Keeping> m_keeping; // learned once per destination file system
    Fd m_top; // the copied folder in the destination, open
    dev_t m_topDevice = 0;
    std::string m_sourcePath; // the folder being copied, for errors and the observer
    std::string m_targetPath;
    quint64 m_temporaryBase = 0;
    quint64 m_temporaryCount = 0;
    bool m_kernelCopy = true; // false once the kernel refused copy_file_range here
    std::vector<char> m_buffer;     // for read/write copies and link targets
    std::vector<std::string> m_leftOut; // entries the source would not give steadily, or whose names the destination refused or folds into another
    qint64 m_bytesTold = 0;    // to the observer, of the file being written
    qint64 m_bytesWritten = 0; // of the files put in place
    qint64 m_bytesRemoved = 0; // of the files replaced or removed
    std::optional<KeptVersions> m_versions; // where versions are kept
    std::string m_copyPath; // the destination folder, where the paths inside the copy start
    QStringList m_notKept;
};
