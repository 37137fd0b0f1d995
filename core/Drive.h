#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>

// One entry of the drive table: a drive letter naming a native folder.
struct DriveEntry {
    QString name;  // letter and colon: "C:"
    QString label; // volume label or folder: "ホーム", "USBSTICK", "/"
    QString root;  // native folder with a trailing '/': "/home/user/"
    // The mount the entry was read from, never whatever holds its letter later.
    quint64 mountId = 0; // mountinfo's first field; 0: none
    QString mountPoint{}; // where that file system is mounted: "/home"
    // The file system, known again when a stick is plugged in anew: its
    // UUID, else its device and mount point.
    QString volume{};

    // Home and root may share a file system, so the letter counts too.
    bool sameDrive(const DriveEntry &other) const { return name == other.name && volume == other.volume; }

    // The text a drive list shows: "C: [ホーム]".
    QString text() const { return name + QStringLiteral(" [") + label + QLatin1Char(']'); }
};

// The name ("D:") of the drive whose folder holds the absolute native path,
// the longest such folder winning; empty when none does.
QString driveHolding(const QList<DriveEntry> &drives, const QString &nativePath);

// 71, the one failure of a drive that cannot be read now or has left.
Error diskNotReady(const DriveEntry &drive);

// "C", "c:", "C:\" or "C: [ホーム]": the letter, upper case, and a colon;
// empty when the text starts with no drive letter.
QString driveLetterOf(const QString &text);
