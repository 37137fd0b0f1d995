#pragma once

#include "platform/FileSystemService.h"

class WriteFaults;
class WrittenRecorder;

// The file-system component: drive queries over a DriveTable, copies by
// the copy engine. The program runs it over the Linux drive table, tests
// over a table of temporary folders, optionally with writes made to fail.
class DriveFileSystem final : public FileSystemService {
public:
    explicit DriveFileSystem(DriveTable &drives, const WriteFaults *faults = nullptr)
        : m_drives(drives), m_faults(faults)
    {
    }

    QList<DriveEntry> Drives() override;
    QString CurrentDrive() override;
    QString GetDriveName(const QString &pathOrEntry) override;
    Result<DriveEntry> GetDrive(const QString &driveName) override;
    bool IsReady(const DriveEntry &drive) override;
    Result<qint64> FreeSpace(const DriveEntry &drive) override;
    Result<void> CopyFolder(const QString &source, const QString &destination, const CopyOptions &options,
                            CopyObserver *observer = nullptr, CopyCounts *counts = nullptr) override;
    Result<Folder> GetFolder(const QString &path) override;
    Result<qint64> Size(const Folder &folder) override;
    // Puts everything written to the file system holding path on the device.
    Result<void> FlushToDevice(const QString &path);
    // Reads back from the device what a copy told recorder it wrote, after
    // FlushToDevice, and compares it with the source, as a checked copy
    // does: 57 naming the first file that differs, else 75 naming the
    // sources that changed since they were copied; 18 when observer asks
    // to stop.
    Result<void> ReadBack(const WrittenRecorder &recorder, CopyObserver *observer = nullptr);

private:
    Result<void> settleCopy(const QString &destination, const Result<void> &copied, const WrittenRecorder &recorder,
                            CopyObserver *observer);

    DriveTable &m_drives;
    const WriteFaults *m_faults;
};
