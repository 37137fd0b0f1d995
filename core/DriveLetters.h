#pragma once

#include <QChar>
#include <QList>
#include <QMap>
#include <QString>

// A file system mounted at a folder. The kernel's mount ID alone may be
// given again to a later mount, so the folder is part of what a mount is.
// The volume is what stays when a stick is pulled and plugged in again.
struct Mount {
    quint64 id = 0;
    QString point;  // no trailing '/': "/media/user/USBSTICK"
    QString volume; // "uuid:…", else the device and the mount point
    bool away = false; // the volume left; its letter is kept for it

    bool operator==(const Mount &) const = default;
};

// The letters D: to Y: as held by volumes, mounted or remembered.
using HeldLetters = QMap<QChar, Mount>;

// The letters after the mount table listed `mounts` (in the order new ones
// are lettered). A volume keeps its letter while it stays mounted, and
// after it left: its letter stays reserved for it, as a list may still show
// it, and it takes the letter back when it returns. A volume new to the
// table takes the first letter from D: that no volume holds, else the
// first letter of a volume not mounted now. Letters never shift. Mounts
// beyond Y: with every letter mounted get no letter.
HeldLetters holdLetters(const HeldLetters &held, const QList<Mount> &mounts);
