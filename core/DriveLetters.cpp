#include "core/DriveLetters.h"

#include <utility>

HeldLetters holdLetters(const HeldLetters &held, const QList<Mount> &mounts)
{
    HeldLetters now;
    QList<Mount> newcomers;
    for (const Mount &mount : mounts) {
        const QChar letter = held.key(mount);
        if (letter.isNull())
            newcomers.append(mount);
        else
            now.insert(letter, mount);
    }
    QChar letter = QLatin1Char('D');
    for (const Mount &mount : std::as_const(newcomers)) {
        while (now.contains(letter) && letter < QLatin1Char('Z'))
            letter = QChar(letter.unicode() + 1);
        if (letter == QLatin1Char('Z'))
            break;
        now.insert(letter, mount);
    }
    return now;
}
