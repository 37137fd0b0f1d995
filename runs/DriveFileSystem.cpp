#include "runs/DriveFileSystem.h"

// Placeholder bodies until the copy engine lands.
namespace {
Error notYet() { return Error{ErrorNumber::DeviceUnavailable, QStringLiteral("not built yet")}; }
}

QList<DriveEntry> DriveFileSystem::Drives() { return m_drives.drives(); }
QString DriveFileSystem::CurrentDrive() { return m_drives.currentDrive(); }
QString DriveFileSystem::GetDriveName(const QString &pathOrEntry) { return pathOrEntry.left(2); }
Result<DriveEntry> DriveFileSystem::GetDrive(const QString &driveName)
{
    for (const DriveEntry &d : m_drives.drives())
        if (d.name.compare(driveName, Qt::CaseInsensitive) == 0)
            return d;
    return notYet();
}
bool DriveFileSystem::IsReady(const DriveEntry &drive) { return m_drives.isReady(drive); }
Result<qint64> DriveFileSystem::FreeSpace(const DriveEntry &drive) { return m_drives.freeSpace(drive); }
QString DriveFileSystem::GetBaseName(const QString &path) { return path; }
Result<void> DriveFileSystem::CopyFolder(const QString &, const QString &, bool, CopyObserver *) { return notYet(); }
Result<Folder> DriveFileSystem::GetFolder(const QString &) { return notYet(); }
Result<qint64> DriveFileSystem::Size(const Folder &) { return notYet(); }
Result<void> DriveFileSystem::FlushToDevice(const QString &) { return notYet(); }
