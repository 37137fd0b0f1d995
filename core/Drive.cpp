#include "core/Drive.h"

#include "core/PathRules.h"

#include <QDir>

QString driveHolding(const QList<DriveEntry> &drives, const QString &nativePath)
{
    if (!nativePath.startsWith(QLatin1Char('/')))
        return QString();
    const QString path = withTrailingSlash(QDir::cleanPath(nativePath));
    const DriveEntry *best = nullptr;
    for (const DriveEntry &drive : drives)
        if (path.startsWith(drive.root) && (!best || drive.root.size() > best->root.size()))
            best = &drive;
    return best ? best->name : QString();
}

Error diskNotReady(const DriveEntry &drive)
{
    return Error{ErrorNumber::DiskNotReady, QStringLiteral("Disk not ready: %1 %2").arg(drive.name, drive.root)};
}

QString driveLetterOf(const QString &text)
{
    if (text.isEmpty() || !text[0].isLetter() || text[0].unicode() > 0x7f)
        return QString();
    if (text.size() > 1 && text[1] != QLatin1Char(':'))
        return QString();
    return text.left(1).toUpper() + QLatin1Char(':');
}
