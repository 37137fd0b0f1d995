#include "core/DriveLetters.h"

#include <utility>

namespace {

const QChar FirstLetter = QLatin1Char('D');
const QChar LastLetter = QLatin1Char('Y');

QChar next(QChar letter)
{
    return QChar(letter.unicode() + 1);
}

// The letter held for a volume that no mount has taken yet this round.
QChar letterOf(const HeldLetters &held, const HeldLetters &taken, const QString &volume)
{
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        if (it->volume == volume && !taken.contains(it.key()))
            return it.key();
    return QChar();
}

} // namespace

HeldLetters holdLetters(const HeldLetters &held, const QList<Mount> &mounts)
{
    HeldLetters now;
    QList<Mount> newcomers;
    for (const Mount &mount : mounts) {
        const QChar letter = letterOf(held, now, mount.volume);
        if (letter.isNull())
            newcomers.append(mount);
        else
            now.insert(letter, mount);
    }
    // Volumes that left stay remembered until their letter is needed.
    QList<QChar> departed;
    for (auto it = held.cbegin(); it != held.cend(); ++it) {
        if (now.contains(it.key()))
            continue;
        now.insert(it.key(), Mount{it->id, it->point, it->volume, true});
        departed.append(it.key());
    }
    QChar letter = FirstLetter;
    for (const Mount &mount : std::as_const(newcomers)) {
        while (letter <= LastLetter && now.contains(letter))
            letter = next(letter);
        if (letter <= LastLetter) {
            now.insert(letter, mount);
        } else if (!departed.isEmpty()) {
            now.insert(departed.takeFirst(), mount);
        } else {
            break;
        }
    }
    return now;
}
