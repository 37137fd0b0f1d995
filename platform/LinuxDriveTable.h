#pragma once

#include "platform/FileSystemService.h"

#include <QByteArray>
#include <QString>

// Drive letters as names for folders: C: the home folder, D:, E:, ... the
// mounted file systems a user keeps data on, in order of mount path, Z:
// the root file system. A: and B: are never given out.
class LinuxDriveTable final : public DriveTable {
public:
    LinuxDriveTable();
    // For tests: another home folder and another mount table file.
    LinuxDriveTable(QString home, QString mountInfoPath);

    QList<DriveEntry> drives() const override;
    bool isReady(const DriveEntry &drive) const override;
    Result<qint64> freeSpace(const DriveEntry &drive) const override;
    QString currentDrive() const override;

    // The table for a home folder and the text of /proc/self/mountinfo.
    static QList<DriveEntry> tableFrom(const QString &home, const QByteArray &mountInfo);

private:
    QString m_home;
    QString m_mountInfoPath;
};
