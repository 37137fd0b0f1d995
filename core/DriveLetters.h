#pragma once

#include <QChar>
#include <QList>
#include <QMap>
#include <QString>

// A file system mounted at a folder. The kernel's mount ID alone may be
// given again to a later mount, so the folder is part of what a mount is.
struct Mount {
    quint64 id = 0;
    QString point; // no trailing '/': "/media/user/USBSTICK"

    bool operator==(const Mount &) const = default;
};

// The letters D: to Y: as held by mounts.
using HeldLetters = QMap<QChar, Mount>;

// The letters after the mount table listed `mounts` (in the order new ones
// are lettered). A mount keeps the letter it held for as long as it stays
// mounted; a mount new to the table takes the first letter from D: that no
// mount holds now. Letters never shift when a mount leaves. Mounts beyond
// Y: get no letter.
HeldLetters holdLetters(const HeldLetters &held, const QList<Mount> &mounts);
