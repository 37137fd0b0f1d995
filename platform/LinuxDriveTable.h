#pragma once

#include "core/DriveLetters.h"
#include "platform/FileSystemService.h"

#include <QString>

// Drive letters as names for folders: C: the home folder, D:, E:, ... the
// mounted file systems a user keeps data on, Z: the root file system. A:
// and B: are never given out. At start D:, E:, ... follow the order of
// mount path; a drive keeps its letter while it stays mounted, and one
// mounted later takes the first free letter from D:.
class LinuxDriveTable final : public DriveTable {
public:
    LinuxDriveTable();
    // For tests: another home folder and another mount table file.
    LinuxDriveTable(QString home, QString mountInfoPath);

    QList<DriveEntry> drives() override;
    bool isReady(const DriveEntry &drive) const override;
    Result<qint64> freeSpace(const DriveEntry &drive) const override;
    QString currentDrive() override;

private:
    QString m_home;
    QString m_mountInfoPath;
    HeldLetters m_letters;
};

// The mount the folder lies on now (statx STATX_MNT_ID); 0 when it cannot
// be told.
quint64 mountIdOf(const QString &folder);
