#pragma once

#include "platform/FileSystemService.h"

#include <QMap>
#include <QTemporaryDir>

// A drive table over folders of a temporary directory. C: exists from the
// start; drives can be added, marked not ready and given a free-space figure.
class FakeDriveTable final : public DriveTable {
public:
    FakeDriveTable();

    // Adds drive letter (e.g. "D") with a fresh folder; returns its root.
    QString addDrive(const QString &letter, const QString &label = QString());
    // The native root of a drive, with a trailing '/'.
    QString root(const QString &letter) const;
    void setReady(const QString &letter, bool ready) { m_notReady[letter.left(1).toUpper()] = !ready; }
    void setFreeSpace(const QString &letter, qint64 bytes) { m_freeSpace[letter.left(1).toUpper()] = bytes; }
    void setCurrentDrive(const QString &name) { m_current = name; }

    QList<DriveEntry> drives() const override;
    bool isReady(const DriveEntry &drive) const override;
    Result<qint64> freeSpace(const DriveEntry &drive) const override;
    QString currentDrive() const override { return m_current; }

private:
    QTemporaryDir m_tmp;
    QList<DriveEntry> m_drives;
    QMap<QString, bool> m_notReady;
    QMap<QString, qint64> m_freeSpace;
    QString m_current = QStringLiteral("C:");
};
