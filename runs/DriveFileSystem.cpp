#include "runs/DriveFileSystem.h"

#include "platform/LinuxDriveTable.h"
#include "runs/CopyEngine.h"
#include "runs/FolderPlan.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "C", "c:", "C:\" or "C: [ホーム]": the letter, upper case, and a colon.
QString driveLetterOf(const QString &text)
{
    if (text.isEmpty() || !text[0].isLetter() || text[0].unicode() > 0x7f)
        return QString();
    if (text.size() > 1 && text[1] != QLatin1Char(':'))
        return QString();
    return text.left(1).toUpper() + QLatin1Char(':');
}

Result<Fd> openFolder(const std::string &path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return errorFromErrno(errno, path);
    return fd;
}

// No failure of the copy machinery may reach the window as an exception;
// running out of memory on a huge tree becomes an error like any other.
template <typename Work>
auto guarded(Work work) -> decltype(work())
{
    try {
        return work();
    } catch (const std::exception &e) {
        return Error{ErrorNumber::PathFileAccess, QString::fromLocal8Bit(e.what())};
    }
}

} // namespace

QList<DriveEntry> DriveFileSystem::Drives()
{
    return m_drives.drives();
}

QString DriveFileSystem::CurrentDrive()
{
    return m_drives.currentDrive();
}

QString DriveFileSystem::GetDriveName(const QString &pathOrEntry)
{
    if (pathOrEntry.startsWith(QLatin1Char('/')))
        return driveHolding(m_drives.drives(), pathOrEntry);
    // Without its colon a letter is a relative path ("C" or "Docs"), not a drive.
    return pathOrEntry.size() >= 2 ? driveLetterOf(pathOrEntry) : QString();
}

Result<DriveEntry> DriveFileSystem::GetDrive(const QString &driveName)
{
    const QString name = driveLetterOf(driveName);
    for (const DriveEntry &drive : m_drives.drives())
        if (!name.isEmpty() && drive.name == name)
            return drive;
    return Error{ErrorNumber::DeviceUnavailable, QStringLiteral("Device unavailable: ") + driveName};
}

bool DriveFileSystem::IsReady(const DriveEntry &drive)
{
    return m_drives.isReady(drive);
}

Result<qint64> DriveFileSystem::FreeSpace(const DriveEntry &drive)
{
    if (!m_drives.isReady(drive))
        return Error{ErrorNumber::DiskNotReady, QStringLiteral("Disk not ready: ") + drive.name};
    return m_drives.freeSpace(drive);
}

QString DriveFileSystem::GetBaseName(const QString &path)
{
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    name = name.section(QLatin1Char('/'), -1);
    if (name == QStringLiteral(".") || name == QStringLiteral(".."))
        return name;
    // A leading dot starts a hidden name, not an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

Result<void> DriveFileSystem::CopyFolder(const QString &source, const QString &destination,
                                         bool overwrite, CopyObserver *observer)
{
    return guarded([&]() -> Result<void> {
        CopyEngine engine(overwrite, observer, m_faults);
        return engine.copyFolder(source, destination);
    });
}

Result<Folder> DriveFileSystem::GetFolder(const QString &path)
{
    const Result<std::string> native = nativePath(path);
    if (!native)
        return native.error();
    struct stat st;
    if (::stat(native->c_str(), &st) != 0)
        return errorFromErrno(errno, *native);
    if (!S_ISDIR(st.st_mode))
        return errorAt(ErrorNumber::PathNotFound, "Path not found (not a folder)", *native);
    return Folder{displayPath(*native)};
}

Result<qint64> DriveFileSystem::Size(const Folder &folder)
{
    return guarded([&]() -> Result<qint64> {
        const Result<std::string> native = nativePath(folder.path);
        if (!native)
            return native.error();
        const Result<Fd> fd = openFolder(*native);
        if (!fd)
            return fd.error();
        const Result<FolderPlan> plan = FolderPlan::read(fd->get(), *native);
        if (!plan)
            return plan.error();
        return plan->bytes;
    });
}

Result<void> DriveFileSystem::FlushToDevice(const QString &path)
{
    const Result<std::string> native = nativePath(path);
    if (!native)
        return native.error();
    // The destination may not exist after a failed copy; its file system
    // is that of the nearest folder that does.
    std::string folder = *native;
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    while (!fd.valid() && (errno == ENOENT || errno == ENOTDIR) && folder != "/") {
        folder = splitLast(folder).first;
        fd = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!fd.valid() || ::syncfs(fd.get()) != 0)
        return errorAt(ErrorNumber::DeviceIO, "Device I/O error (flushing to the device)", folder);
    return {};
}
