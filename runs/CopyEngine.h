#pragma once

#include "platform/FileSystemService.h"
#include "runs/FolderPlan.h"

#include <string>
#include <sys/stat.h>
#include <vector>

// Lets a test make writing fail where it cannot mount a read-only or full
// file system. The program runs without one.
class WriteFaults {
public:
    // CopyRange and RenameNoReplace stand for the kernel refusing a call
    // that some file systems lack (EXDEV, EINVAL), so the fallbacks run.
    enum class Step { CreateFolder, CreateFile, WriteData, CopyRange, RenameNoReplace };
    virtual ~WriteFaults() = default;
    // The errno with which writing destinationPath at this step fails, or 0.
    virtual int failure(Step step, const std::string &destinationPath) const = 0;
};

// Copies a folder tree the way CopyFolder promises: the destination is
// created or merged into, files of a folder before its subfolders in name
// order, each file written under a temporary name and renamed into place,
// modification times and permission bits kept, links copied as links.
class CopyEngine {
public:
    CopyEngine(bool overwrite, CopyObserver *observer, const WriteFaults *faults);

    Result<void> copyFolder(const QString &source, const QString &destination);

private:
    struct Destination {
        Fd fd;
        bool isNew = false; // created by this copy, so it held nothing before
    };

    Result<void> refuseOwnSubtree(int sourceFd, int parentFd, const std::string &name,
                                  const std::string &destination);
    Result<Destination> enterFolder(int parentFd, const std::string &name, const std::string &path,
                                    mode_t mode);
    Result<void> makeFolders(PlannedFolder &folder, int targetFd);
    Result<void> copyTree(const PlannedFolder &folder, int sourceFd, int targetFd, bool targetIsNew);
    Result<void> copyFolderEntry(const PlannedFolder &sub, int sourceFd, int targetFd);
    Result<void> copyEntry(const PlannedFile &file, int sourceFd, int targetFd, bool targetIsNew);
    Result<void> copyFile(const PlannedFile &file, int sourceFd, int targetFd);
    Result<void> copyLink(const PlannedFile &file, int sourceFd, int targetFd);
    Result<void> copyData(int in, int out, qint64 size, const std::string &name);
    Result<void> copyDataByReading(int in, int out, qint64 remaining, const std::string &name);
    ssize_t copyRange(int in, int out, size_t length, const std::string &name) const;
    int renameNoReplace(int targetFd, const std::string &temporary, const std::string &name) const;
    template <typename Create>
    Result<std::string> createTemporary(const std::string &target, Create create);
    Result<void> putInPlace(int targetFd, const std::string &temporary, const std::string &name);
    int fault(WriteFaults::Step step, const std::string &path) const;
    bool stopRequested() const { return m_observer && m_observer->stopRequested(); }

    std::string sourcePathOf(const std::string &name) const { return m_sourcePath + '/' + name; }
    std::string targetPathOf(const std::string &name) const { return m_targetPath + '/' + name; }

    const bool m_overwrite;
    CopyObserver *const m_observer;
    const WriteFaults *const m_faults;
    const mode_t m_umask;
    std::set<FolderId> m_sourceFolders;
    std::string m_sourcePath; // the folder being copied, for errors and the observer
    std::string m_targetPath;
    quint64 m_temporaryBase = 0;
    quint64 m_temporaryCount = 0;
    bool m_kernelCopy = true; // false once the kernel refused copy_file_range here
    std::vector<char> m_buffer;     // for read/write copies and link targets
};
