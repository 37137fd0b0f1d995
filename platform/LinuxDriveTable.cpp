#include "platform/LinuxDriveTable.h"

#include "core/PathRules.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString HomeLabel = QStringLiteral("ホーム");

// File systems that hold no user data: the kernel's views, memory-backed
// scratch space, containers' and desktop portals' plumbing, snap images.
bool isVirtual(const QByteArray &type)
{
    static const QList<QByteArray> types = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2",
        "securityfs", "debugfs", "tracefs", "configfs", "pstore", "bpf", "mqueue", "hugetlbfs",
        "autofs", "fusectl", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "nfsd",
        "selinuxfs", "overlay", "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
        "fuse.snapfuse"};
    return types.contains(type);
}

// Places of the system itself, never a user's data drive; removable media
// appear under /run/media, which is kept.
bool isSystemPlace(const QString &mountPoint)
{
    static const QStringList places = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                       QStringLiteral("/dev"),  QStringLiteral("/run"),
                                       QStringLiteral("/boot"), QStringLiteral("/efi"),
                                       QStringLiteral("/snap"), QStringLiteral("/etc"),
                                       QStringLiteral("/usr"),  QStringLiteral("/var")};
    if (mountPoint.startsWith(QStringLiteral("/run/media/")))
        return false;
    for (const QString &place : places)
        if (mountPoint == place || mountPoint.startsWith(place + QLatin1Char('/')))
            return true;
    return false;
}

// Mount points in mountinfo write space, tab, newline and backslash as
// three octal digits after a backslash.
QString unescape(const QByteArray &field)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                bytes += char(code);
                i += 3;
                continue;
            }
        }
        bytes += field[i];
    }
    return QFile::decodeName(bytes);
}

QByteArray native(const DriveEntry &drive)
{
    return QFile::encodeName(drive.root);
}

} // namespace

LinuxDriveTable::LinuxDriveTable()
    : LinuxDriveTable(QDir::homePath(), QStringLiteral("/proc/self/mountinfo"))
{
}

LinuxDriveTable::LinuxDriveTable(QString home, QString mountInfoPath)
    : m_home(std::move(home)), m_mountInfoPath(std::move(mountInfoPath))
{
}

QList<DriveEntry> LinuxDriveTable::tableFrom(const QString &home, const QByteArray &mountInfo)
{
    const QString homeFolder = QDir::cleanPath(home);
    // By mount point, so a file system mounted over another counts once.
    QMap<QString, QString> mounts;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 0 || separator + 1 >= fields.size())
            continue;
        const QString mountPoint = unescape(fields[4]);
        if (isVirtual(fields[separator + 1]) || isSystemPlace(mountPoint)
            || mountPoint == QStringLiteral("/") || mountPoint == homeFolder)
            continue;
        mounts.insert(mountPoint, mountPoint.section(QLatin1Char('/'), -1));
    }

    QList<DriveEntry> table{{QStringLiteral("C:"), HomeLabel, withTrailingSlash(homeFolder)}};
    char letter = 'D';
    for (auto it = mounts.cbegin(); it != mounts.cend() && letter < 'Z'; ++it, ++letter)
        table.append({QString(QLatin1Char(letter)) + QLatin1Char(':'), it.value(), withTrailingSlash(it.key())});
    table.append({QStringLiteral("Z:"), QStringLiteral("/"), QStringLiteral("/")});
    return table;
}

QList<DriveEntry> LinuxDriveTable::drives() const
{
    QFile file(m_mountInfoPath);
    // Without a mount table there are still home and root.
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return tableFrom(m_home, text);
}

bool LinuxDriveTable::isReady(const DriveEntry &drive) const
{
    struct stat st;
    const QByteArray root = native(drive);
    return ::stat(root.constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && ::access(root.constData(), R_OK | X_OK) == 0;
}

Result<qint64> LinuxDriveTable::freeSpace(const DriveEntry &drive) const
{
    struct statvfs fs;
    if (!isReady(drive) || ::statvfs(native(drive).constData(), &fs) != 0)
        return Error{ErrorNumber::DiskNotReady, QStringLiteral("Disk not ready: %1").arg(drive.name)};
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

QString LinuxDriveTable::currentDrive() const
{
    const QString drive = driveHolding(drives(), QDir::currentPath());
    return drive.isEmpty() ? QStringLiteral("C:") : drive;
}
