#include "fakes/FakeDriveTable.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <algorithm>
#include <limits>

FakeDriveTable::FakeDriveTable()
{
    addDrive(QStringLiteral("C"), QStringLiteral("ホーム"));
}

QString FakeDriveTable::addDrive(const QString &letter, const QString &label)
{
    const QString l = letter.left(1).toUpper();
    const QString dir = m_tmp.path() + QStringLiteral("/drive") + l;
    QDir().mkpath(dir);
    // A drive added again under its letter and label is the same stick back.
    DriveEntry entry{l + QLatin1Char(':'), label.isEmpty() ? dir : label, dir + QLatin1Char('/'),
                     ++m_lastMountId, dir, l + label};
    m_drives.append(entry);
    std::sort(m_drives.begin(), m_drives.end(),
              [](const DriveEntry &a, const DriveEntry &b) { return a.name < b.name; });
    announce();
    return entry.root;
}

QString FakeDriveTable::root(const QString &letter) const
{
    const QString name = letter.left(1).toUpper() + QLatin1Char(':');
    for (const DriveEntry &d : m_drives)
        if (d.name == name)
            return d.root;
    return QString();
}

void FakeDriveTable::removeDrive(const QString &letter)
{
    const QString name = letter.left(1).toUpper() + QLatin1Char(':');
    m_drives.removeIf([&](const DriveEntry &d) { return d.name == name; });
    announce();
}

// Like the kernel's event, the news reaches the watch through the event loop.
void FakeDriveTable::announce()
{
    QMetaObject::invokeMethod(&mounts, &MountWatch::changed, Qt::QueuedConnection);
}

const DriveEntry *FakeDriveTable::mountedAt(const QString &root) const
{
    for (const DriveEntry &d : m_drives)
        if (d.root == root)
            return &d;
    return nullptr;
}

bool FakeDriveTable::isReady(const DriveEntry &drive) const
{
    const DriveEntry *now = mountedAt(drive.root);
    return !m_notReady.value(drive.name.left(1).toUpper(), false) && QDir(drive.root).exists()
           && now && (now->mountId == drive.mountId || now->volume == drive.volume);
}

// Answers for a drive that is not ready too, as statvfs on a bare mount
// point does: telling the two apart is the file-system component's work.
Result<qint64> FakeDriveTable::freeSpace(const DriveEntry &drive) const
{
    return m_freeSpace.value(drive.name.left(1).toUpper(), std::numeric_limits<qint64>::max() / 4);
}

QString FakeDriveTable::letterOf(const std::string &nativePath) const
{
    return driveHolding(m_drives, QFile::decodeName(QByteArray::fromStdString(nativePath))).left(1);
}

int FakeDriveTable::failure(Step step, const std::string &destinationPath) const
{
    const QString letter = letterOf(destinationPath);
    if (const auto before = m_before.constFind(step); before != m_before.cend() && *before)
        (*before)(QFile::decodeName(QByteArray::fromStdString(destinationPath)));
    if (step == Step::CopyRange || step == Step::RenameNoReplace || step == Step::DirectRead
        || step == Step::ReadBack)
        return m_refused.value({letter, step}, 0);
    if (step == Step::WriteData)
        return m_writeError.value(letter, 0);
    if (step == Step::CreateLink)
        return m_linkError.value(letter, 0);
    return m_readOnly.value(letter, false) ? EROFS : 0;
}

bool FakeDriveTable::keepsWholeSeconds(const std::string &destinationPath) const
{
    return m_wholeSeconds.value(letterOf(destinationPath), false);
}
