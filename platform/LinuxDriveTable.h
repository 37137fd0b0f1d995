#pragma once

#include "core/DriveLetters.h"
#include "platform/FileSystemService.h"

#include <QString>

#include <memory>
#include <optional>

// Drive letters as names for folders: C: the home folder, D:, E:, ... the
// mounted file systems a user keeps data on, Z: the root file system. A:
// and B: are never given out. At start D:, E:, ... follow the order of
// mount path; a drive keeps its letter while it stays mounted and takes it
// back when it returns, and one new to the table takes the first free
// letter from D:.
class LinuxDriveTable final : public DriveTable {
public:
    LinuxDriveTable();
    // For tests: another home folder, mount table file and folder of UUID links.
    LinuxDriveTable(QString home, QString mountInfoPath,
                    QString byUuidFolder = QStringLiteral("/dev/disk/by-uuid"));

    QList<DriveEntry> drives() override;
    bool isReady(const DriveEntry &drive) const override;
    Result<qint64> freeSpace(const DriveEntry &drive) const override;
    QString currentDrive() override;

private:
    class Unanswered;
    // work() on the drive, off the calling thread; nothing when the drive
    // did not answer in time or its last question is still unanswered.
    template <typename Work>
    auto ask(const DriveEntry &drive, Work work) const -> std::optional<decltype(work())>;

    QString m_home;
    QString m_mountInfoPath;
    QString m_byUuidFolder;
    HeldLetters m_letters;
    std::shared_ptr<Unanswered> m_unanswered;
};

// The mount the folder lies on now (statx STATX_MNT_ID); 0 when it cannot
// be told.
quint64 mountIdOf(const QString &folder);
