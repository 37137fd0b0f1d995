#pragma once

#include "platform/FileSystemService.h"
#include "platform/MountWatch.h"
#include "runs/CopyEngine.h"

#include <QMap>
#include <QTemporaryDir>

#include <functional>
#include <utility>

// A drive table over folders of a temporary directory. C: exists from the
// start; drives can be mounted and unmounted, marked not ready and given a
// free-space figure. Each mounting is a mount of its own, with a new mount ID.
// As WriteFaults (pass it to DriveFileSystem) a drive can refuse writing,
// like a write-protected card, or fail while data is written, like a full
// disk, and keep times to whole seconds, like exFAT through exfat-fuse.
class FakeDriveTable final : public DriveTable, public WriteFaults {
public:
    FakeDriveTable();

    // Mounts drive letter (e.g. "D") on its folder, made when missing;
    // returns its root.
    QString addDrive(const QString &letter, const QString &label = QString());
    // The drive leaves, as a stick pulled out: its folder stays behind as a
    // bare mount point, and the watch hears of it once the event loop runs.
    void removeDrive(const QString &letter);
    // The native root of a drive, with a trailing '/'.
    QString root(const QString &letter) const;
    void setReady(const QString &letter, bool ready) { m_notReady[letter.left(1).toUpper()] = !ready; }
    void setFreeSpace(const QString &letter, qint64 bytes) { m_freeSpace[letter.left(1).toUpper()] = bytes; }
    void setCurrentDrive(const QString &name) { m_current = name; }
    // Creating folders and files on the drive fails with EROFS.
    void setReadOnly(const QString &letter, bool readOnly) { m_readOnly[letter.left(1).toUpper()] = readOnly; }
    // Writing file data on the drive fails with err (ENOSPC, EIO); 0 ends it.
    void setWriteError(const QString &letter, int err) { m_writeError[letter.left(1).toUpper()] = err; }
    // The kernel refuses step (CopyRange, RenameNoReplace) on the drive
    // with err; ReadBack: reading back a written file fails with err.
    void setRefused(const QString &letter, Step step, int err) { m_refused[{letter.left(1).toUpper(), step}] = err; }
    // Making symbolic links on the drive fails with err, as on FAT (EPERM).
    void setLinkError(const QString &letter, int err) { m_linkError[letter.left(1).toUpper()] = err; }
    // Runs action with a file's real path just before the copy takes step
    // on it (RenameNoReplace: renames it into place; WriteData: writes its
    // data), as another program busy there meanwhile would.
    void setBefore(Step step, std::function<void(const QString &)> action) { m_before[step] = std::move(action); }
    // The drive keeps only whole seconds of the times the copy sets.
    void setWholeSeconds(const QString &letter, bool whole) { m_wholeSeconds[letter.left(1).toUpper()] = whole; }

    QList<DriveEntry> drives() override { return m_drives; }
    bool isReady(const DriveEntry &drive) const override;
    Result<qint64> freeSpace(const DriveEntry &drive) const override;
    QString currentDrive() override { return m_current; }
    int failure(Step step, const std::string &destinationPath) const override;
    bool keepsWholeSeconds(const std::string &destinationPath) const override;

    MountWatch mounts;

private:
    // The drive mounted at a folder now, as statx tells it; null for none.
    const DriveEntry *mountedAt(const QString &root) const;
    void announce();
    // The letter of the drive holding nativePath, empty when none does.
    QString letterOf(const std::string &nativePath) const;

    QTemporaryDir m_tmp;
    quint64 m_lastMountId = 100;
    QList<DriveEntry> m_drives;
    QMap<QString, bool> m_notReady;
    QMap<QString, qint64> m_freeSpace;
    QMap<QString, bool> m_readOnly;
    QMap<QString, int> m_writeError;
    QMap<std::pair<QString, Step>, int> m_refused;
    QMap<QString, int> m_linkError;
    QMap<Step, std::function<void(const QString &)>> m_before;
    QMap<QString, bool> m_wholeSeconds;
    QString m_current = QStringLiteral("C:");
};
