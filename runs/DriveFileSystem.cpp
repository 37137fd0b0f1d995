#include "runs/DriveFileSystem.h"

#include "runs/CopyCheck.h"
#include "runs/CopyEngine.h"
#include "runs/FolderPlan.h"

#include <cerrno>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
        return diskNotReady(drive);
    return m_drives.freeSpace(drive);
}

Result<void> DriveFileSystem::CopyFolder(const QString &source, const QString &destination,
                                         const CopyOptions &options, CopyObserver *observer, CopyCounts *counts)
{
    return guarded([&]() -> Result<void> {
        // Keeps what was written only where it is to be read back.
        WrittenRecorder recorder(observer);
        CopyEngine engine(options, options.check ? &recorder : observer, m_faults);
        const Result<void> copied = engine.copyFolder(source, destination);
        const Result<void> done = options.check ? settleCopy(destination, copied, recorder, observer) : copied;
        if (counts) {
            *counts = engine.counts();
            counts->throughCache = QString::fromStdString(recorder.written.throughCache());
        }
        return done;
    });
}

Result<Folder> DriveFileSystem::GetFolder(const QString &path)
{
    const Result<std::string> native = nativePath(path);
    if (!native)
        return native.error();
    struct stat st;
    if (::stat(native->c_str(), &st) != 0)
        return errorFromErrno(errno, *native, Side::Source);
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
    Result<Fd> fd = openFolder(folder);
    while (!fd && fd.error().number == ErrorNumber::PathNotFound && folder != "/") {
        folder = splitLast(folder).first;
        fd = openFolder(folder);
    }
    if (!fd || ::syncfs(fd->get()) != 0)
        return errorAt(ErrorNumber::DeviceIO, "Device I/O error (flushing to the device)", folder);
    return {};
}

Result<void> DriveFileSystem::ReadBack(const WrittenRecorder &recorder, CopyObserver *observer)
{
    return guarded([&] { return checkWritten(recorder.written, &recorder.roots, observer, m_faults); });
}

// What follows every copy before it may count as done: the flush, then the
// read-back of what was written, also of what a failed copy wrote (or the
// repeat after the overwrite question would take a bad file of it as
// current), then a flush of the times the files that passed took. What a
// stopped copy wrote, or anything past a failed flush, keeps its unchecked
// time. The copy's own failure comes first.
Result<void> DriveFileSystem::settleCopy(const QString &destination, const Result<void> &copied,
                                         const WrittenRecorder &recorder, CopyObserver *observer)
{
    if ((!copied && copied.error().number == ErrorNumber::UserInterrupt) || (!copied && recorder.written.empty()))
        return copied;
    // Done means on the device: the user may pull the stick out next.
    if (observer)
        observer->flushStarted();
    Result<void> checked = FlushToDevice(destination);
    // And what the device hands back is what was copied: a fake or worn
    // stick takes writes it cannot return.
    if (checked)
        checked = ReadBack(recorder, observer);
    // The times the files that passed took go on the device too.
    if (checked)
        checked = FlushToDevice(destination);
    return copied ? checked : copied;
}
