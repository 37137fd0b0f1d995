#include "platform/LinuxDriveTable.h"

#include "core/AnswerWithin.h"
#include "core/PathRules.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
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

// One line of mountinfo: mount ID, mount point and volume, file system type.
struct MountLine {
    Mount mount;
    QByteArray type;
};

// The UUIDs the system gives file systems, by device number: the links of
// /dev/disk/by-uuid.
QMap<dev_t, QString> uuidsByDevice(const QString &byUuidFolder)
{
    QMap<dev_t, QString> uuids;
    for (const QString &uuid : QDir(byUuidFolder).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        struct stat st;
        if (::stat(QFile::encodeName(byUuidFolder + QLatin1Char('/') + uuid).constData(), &st) == 0
            && st.st_rdev != 0)
            uuids.insert(st.st_rdev, uuid);
    }
    return uuids;
}

// "8:17" as a device number; 0 when it is none.
dev_t deviceNumber(const QByteArray &field)
{
    const QList<QByteArray> parts = field.split(':');
    bool majorOk = false, minorOk = false;
    const unsigned major = parts.value(0).toUInt(&majorOk);
    const unsigned minor = parts.value(1).toUInt(&minorOk);
    return parts.size() == 2 && majorOk && minorOk ? makedev(major, minor) : 0;
}

QList<MountLine> mountLines(const QByteArray &mountInfo, const QMap<dev_t, QString> &uuids)
{
    QList<MountLine> lines;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        bool isNumber = false;
        const quint64 id = fields.value(0).toULongLong(&isNumber);
        if (fields.size() < 5 || !isNumber || separator < 0 || separator + 1 >= fields.size())
            continue;
        const QString point = unescape(fields[4]);
        const QString uuid = uuids.value(deviceNumber(fields[2]));
        // Without a UUID, the same device at the same folder is the same stick.
        const QString volume = uuid.isEmpty() ? QStringLiteral("device:") + unescape(fields.value(separator + 2))
                                                    + QLatin1Char('@') + point
                                              : QStringLiteral("uuid:") + uuid;
        lines.append({{id, point, volume}, fields[separator + 1]});
    }
    return lines;
}

QList<MountLine> readMounts(const QString &mountInfoPath, const QString &byUuidFolder)
{
    QFile file(mountInfoPath);
    // Without a mount table there are still home and root.
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return mountLines(text, uuidsByDevice(byUuidFolder));
}

Mount mountOf(const QList<MountLine> &lines, quint64 id)
{
    for (const MountLine &line : lines)
        if (line.mount.id == id)
            return line.mount;
    return Mount{};
}

// The mounts a user keeps data on, by mount path, leaving out the root and
// the home folder's own mount.
QList<Mount> dataMounts(const QList<MountLine> &lines, const QString &homeFolder)
{
    // By mount point; of file systems mounted over one another the last
    // listed is the one on top.
    QMap<QString, Mount> mounts;
    for (const MountLine &line : lines) {
        const QString &point = line.mount.point;
        if (isVirtual(line.type) || isSystemPlace(point) || point == QStringLiteral("/")
            || point == homeFolder)
            continue;
        mounts.insert(point, line.mount);
    }
    return mounts.values();
}

bool readyNow(const DriveEntry &drive, const QString &mountInfoPath, const QString &byUuidFolder)
{
    // The folder must lie on the entry's mount, or on a later mount of the
    // same file system: a stick plugged in again is the same drive.
    const quint64 mountNow = mountIdOf(drive.root);
    const auto sameVolume = [&] {
        return !drive.volume.isEmpty()
               && mountOf(readMounts(mountInfoPath, byUuidFolder), mountNow).volume == drive.volume;
    };
    const bool onItsFileSystem = mountNow != 0 && (mountNow == drive.mountId || sameVolume());
    struct stat st;
    const QByteArray root = native(drive);
    return onItsFileSystem && ::stat(root.constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && ::access(root.constData(), R_OK | X_OK) == 0;
}

} // namespace

// The drives whose last question is still unanswered. Asked again, such a
// drive is not ready at once: no second thread joins the one that hangs,
// and the window does not wait for it twice.
class LinuxDriveTable::Unanswered {
public:
    bool add(const QByteArray &root)
    {
        QMutexLocker lock(&m_mutex);
        if (m_roots.contains(root))
            return false;
        m_roots.insert(root);
        return true;
    }
    void remove(const QByteArray &root)
    {
        QMutexLocker lock(&m_mutex);
        m_roots.remove(root);
    }

private:
    QMutex m_mutex;
    QSet<QByteArray> m_roots;
};

template <typename Work>
auto LinuxDriveTable::ask(const DriveEntry &drive, Work work) const -> std::optional<decltype(work())>
{
    const QByteArray root = native(drive);
    if (!m_unanswered->add(root))
        return std::nullopt;
    return answerWithin(DriveAnswerLimit, [unanswered = m_unanswered, root, work] {
        auto answer = work();
        unanswered->remove(root);
        return answer;
    });
}

LinuxDriveTable::LinuxDriveTable()
    : LinuxDriveTable(QDir::homePath(), QStringLiteral("/proc/self/mountinfo"))
{
}

LinuxDriveTable::LinuxDriveTable(QString home, QString mountInfoPath, QString byUuidFolder)
    : m_home(std::move(home)), m_mountInfoPath(std::move(mountInfoPath)),
      m_byUuidFolder(std::move(byUuidFolder)), m_unanswered(std::make_shared<Unanswered>())
{
}

QList<DriveEntry> LinuxDriveTable::drives()
{
    const QList<MountLine> lines = readMounts(m_mountInfoPath, m_byUuidFolder);
    const QString homeFolder = QDir::cleanPath(m_home);
    m_letters = holdLetters(m_letters, dataMounts(lines, homeFolder));

    const quint64 homeMount = mountIdOf(homeFolder);
    const quint64 rootMount = mountIdOf(QStringLiteral("/"));
    const Mount home = mountOf(lines, homeMount);
    QList<DriveEntry> table{{QStringLiteral("C:"), HomeLabel, withTrailingSlash(homeFolder), homeMount,
                             home.point, home.volume}};
    for (auto it = m_letters.cbegin(); it != m_letters.cend(); ++it)
        if (!it->away)
            table.append({it.key() + QStringLiteral(":"), it->point.section(QLatin1Char('/'), -1),
                          withTrailingSlash(it->point), it->id, it->point, it->volume});
    table.append({QStringLiteral("Z:"), QStringLiteral("/"), QStringLiteral("/"), rootMount, QStringLiteral("/"),
                  mountOf(lines, rootMount).volume});
    return table;
}

// A drive that does not answer in time is not ready.
bool LinuxDriveTable::isReady(const DriveEntry &drive) const
{
    return ask(drive, [drive, mountInfo = m_mountInfoPath, byUuid = m_byUuidFolder] {
               return readyNow(drive, mountInfo, byUuid);
           }).value_or(false);
}

Result<qint64> LinuxDriveTable::freeSpace(const DriveEntry &drive) const
{
    const std::optional<qint64> free = ask(drive, [root = native(drive)]() -> qint64 {
        struct statvfs fs;
        return ::statvfs(root.constData(), &fs) == 0 ? qint64(fs.f_bavail) * qint64(fs.f_frsize) : -1;
    });
    if (!free || *free < 0)
        return diskNotReady(drive);
    return *free;
}

QString LinuxDriveTable::currentDrive()
{
    const QString drive = driveHolding(drives(), QDir::currentPath());
    return drive.isEmpty() ? QStringLiteral("C:") : drive;
}

quint64 mountIdOf(const QString &folder)
{
    struct statx st;
    if (::statx(AT_FDCWD, QFile::encodeName(folder).constData(), 0, STATX_MNT_ID, &st) != 0
        || !(st.stx_mask & STATX_MNT_ID))
        return 0;
    return st.stx_mnt_id;
}
