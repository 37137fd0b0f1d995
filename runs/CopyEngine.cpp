#include "runs/CopyEngine.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that a big file costs few calls, small enough that the
// progress window moves on a slow stick.
constexpr size_t KernelChunk = 8 * 1024 * 1024;
constexpr size_t BufferSize = 1024 * 1024;
constexpr int TemporaryAttempts = 100;

// Appends "/name" to a path for as long as it lives.
class PathStep {
public:
    PathStep(std::string &path, const std::string &name) : m_path(path), m_length(path.size())
    {
        m_path += '/';
        m_path += name;
    }
    ~PathStep() { m_path.resize(m_length); }
    PathStep(const PathStep &) = delete;
    PathStep &operator=(const PathStep &) = delete;

private:
    std::string &m_path;
    size_t m_length;
};

// Permission bits and times are kept where the destination can hold them;
// a stick formatted FAT cannot, and that must not fail the copy.
void keepTimes(int fd, const struct stat &source)
{
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    (void)::futimens(fd, times);
}

void keepAttributes(int fd, const struct stat &source)
{
    (void)::fchmod(fd, source.st_mode & 07777);
    keepTimes(fd, source);
}

// The process's umask, read without changing it (which would race with
// other threads); all bits when it cannot be read, so nothing is assumed.
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
    return 07777;
}

// copy_file_range is refused across some file systems and on old kernels;
// these say so, and plain reading and writing still works.
bool kernelRefusedCopy(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF
           || err == EOVERFLOW || err == ETXTBSY;
}

bool exists(int dirFd, const std::string &name)
{
    struct stat st;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

const Error Stopped{ErrorNumber::UserInterrupt, QStringLiteral("Stopped by the user")};

} // namespace

CopyEngine::CopyEngine(bool overwrite, CopyObserver *observer, const WriteFaults *faults)
    : m_overwrite(overwrite), m_observer(observer), m_faults(faults),
      m_umask(currentUmask()), m_temporaryBase(QRandomGenerator::global()->generate64())
{
}

Result<void> CopyEngine::copyFolder(const QString &source, const QString &destination)
{
    const Result<std::string> sourcePath = nativePath(source);
    if (!sourcePath)
        return sourcePath.error();
    const Result<std::string> targetPath = nativePath(destination);
    if (!targetPath)
        return targetPath.error();

    Result<Fd> sourceFd = openFolder(*sourcePath);
    if (!sourceFd)
        return sourceFd.error();
    const auto [parent, name] = splitLast(*targetPath);
    Fd parentFd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid())
        return errorFromErrno(errno, parent);
    if (auto refused = refuseOwnSubtree(sourceFd->get(), parentFd.get(), name, *targetPath); !refused)
        return refused;

    Result<FolderPlan> plan = FolderPlan::read(sourceFd->get(), *sourcePath);
    if (!plan)
        return plan.error();
    m_sourceFolders = std::move(plan.value().folderIds);
    if (m_observer)
        m_observer->copyPlanned(plan->files, plan->bytes);

    struct stat sourceStat;
    if (::fstat(sourceFd->get(), &sourceStat) != 0)
        return errorFromErrno(errno, *sourcePath);
    // "/" as destination has no name to create: it is merged into as it is.
    Result<Destination> target = name.empty()
                                     ? Result<Destination>(Destination{std::move(parentFd), false})
                                     : enterFolder(parentFd.get(), name, *targetPath, sourceStat.st_mode);
    if (!target)
        return target.error();
    m_sourcePath = *sourcePath == "/" ? std::string() : *sourcePath;
    m_targetPath = *targetPath == "/" ? std::string() : *targetPath;
    // ext4 places a folder's files far better (two to three times faster
    // on many small files) when the folders are made before the files. Only
    // where no existing file can stop the copy, so a stop at error 58 still
    // leaves exactly what the file order gives.
    if (m_overwrite || target->isNew)
        if (auto made = makeFolders(plan.value().root, target->fd.get()); !made)
            return made;
    if (auto copied = copyTree(plan->root, sourceFd->get(), target->fd.get(), target->isNew); !copied)
        return copied;
    // A destination that was already there (a drive root, an earlier
    // backup) is the user's own folder: its permissions stay as they are.
    if (target->isNew)
        keepAttributes(target->fd.get(), sourceStat);
    return {};
}

Result<void> CopyEngine::refuseOwnSubtree(int sourceFd, int parentFd, const std::string &name,
                                          const std::string &destination)
{
    struct stat st;
    if (::fstat(sourceFd, &st) != 0)
        return errorFromErrno(errno, destination);
    const FolderId source = FolderId::of(st);
    const Error ownSubtree = errorAt(ErrorNumber::PathFileAccess,
                                     "Path/File access error (copy onto itself or into its own folder)",
                                     destination);
    if (!name.empty() && ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISDIR(st.st_mode) && FolderId::of(st) == source)
        return ownSubtree;

    // Walk up the real folders above the destination, whatever links led
    // there; meeting the source means the copy would land inside it.
    Fd current(::openat(parentFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    while (current.valid() && ::fstat(current.get(), &st) == 0) {
        const FolderId here = FolderId::of(st);
        if (here == source)
            return ownSubtree;
        Fd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up.valid() || ::fstat(up.get(), &st) != 0 || FolderId::of(st) == here)
            break; // the root, or a folder above we may not look at
        current = std::move(up);
    }
    return {};
}

Result<CopyEngine::Destination> CopyEngine::enterFolder(int parentFd, const std::string &name,
                                                        const std::string &path, mode_t mode)
{
    if (const int err = fault(WriteFaults::Step::CreateFolder, path))
        return errorFromErrno(err, path);
    // Created writable for us; the exact bits are set once its files are in.
    bool isNew = ::mkdirat(parentFd, name.c_str(), (mode & 0777) | S_IRWXU) == 0;
    if (!isNew && errno != EEXIST)
        return errorFromErrno(errno, path);

    Fd fd(::openat(parentFd, name.c_str(), OpenFolderFlags));
    if (!fd.valid()) {
        if (errno == ELOOP || errno == ENOTDIR) // a file or a link where the folder goes
            return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (not a folder)", path);
        return errorFromErrno(errno, path);
    }
    if (!isNew) {
        struct stat st;
        if (::fstat(fd.get(), &st) != 0)
            return errorFromErrno(errno, path);
        if (m_sourceFolders.contains(FolderId::of(st)))
            return errorAt(ErrorNumber::PathFileAccess,
                           "Path/File access error (copy onto its own source)", path);
    }
    return Destination{std::move(fd), isNew};
}

Result<void> CopyEngine::copyTree(const PlannedFolder &folder, int sourceFd, int targetFd,
                                  bool targetIsNew)
{
    for (const PlannedFile &file : folder.files)
        if (auto copied = copyEntry(file, sourceFd, targetFd, targetIsNew); !copied)
            return copied;
    for (const PlannedFolder &sub : folder.folders)
        if (auto copied = copyFolderEntry(sub, sourceFd, targetFd); !copied)
            return copied;
    return {};
}

Result<void> CopyEngine::copyFolderEntry(const PlannedFolder &sub, int sourceFd, int targetFd)
{
    if (stopRequested())
        return Stopped;
    const PathStep sourceStep(m_sourcePath, sub.name);
    const PathStep targetStep(m_targetPath, sub.name);
    Fd subSource(::openat(sourceFd, sub.name.c_str(), OpenFolderFlags));
    if (!subSource.valid())
        return errno == ENOENT ? Result<void>() // removed since the tree was read
                               : Result<void>(errorFromErrno(errno, m_sourcePath));
    struct stat st;
    if (::fstat(subSource.get(), &st) != 0)
        return errorFromErrno(errno, m_sourcePath);
    Result<Destination> target = enterFolder(targetFd, sub.name, m_targetPath, st.st_mode);
    if (!target)
        return target.error();
    const bool isNew = target->isNew || sub.created;
    if (auto copied = copyTree(sub, subSource.get(), target->fd.get(), isNew); !copied)
        return copied;
    keepAttributes(target->fd.get(), st);
    return {};
}

Result<void> CopyEngine::makeFolders(PlannedFolder &folder, int targetFd)
{
    for (PlannedFolder &sub : folder.folders) {
        const PathStep targetStep(m_targetPath, sub.name);
        // Owner-only until its files are in and its own bits are set.
        Result<Destination> target = enterFolder(targetFd, sub.name, m_targetPath, S_IRWXU);
        if (!target)
            return target.error();
        sub.created = target->isNew;
        if (auto made = makeFolders(sub, target->fd.get()); !made)
            return made;
    }
    return {};
}

Result<void> CopyEngine::copyEntry(const PlannedFile &file, int sourceFd, int targetFd,
                                   bool targetIsNew)
{
    if (stopRequested())
        return Stopped;
    if (m_observer)
        m_observer->fileStarted(displayPath(sourcePathOf(file.name)));
    // A folder this copy created held nothing, so only older folders need
    // the look; the rename below still refuses to replace what appears meanwhile.
    if (!m_overwrite && !targetIsNew && exists(targetFd, file.name))
        return errorAt(ErrorNumber::FileAlreadyExists, "File already exists", targetPathOf(file.name));
    return file.isLink ? copyLink(file, sourceFd, targetFd) : copyFile(file, sourceFd, targetFd);
}

Result<void> CopyEngine::copyFile(const PlannedFile &file, int sourceFd, int targetFd)
{
    Fd in(::openat(sourceFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid())
        return errno == ENOENT ? Result<void>() : Result<void>(errorFromErrno(errno, sourcePathOf(file.name)));
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return errorFromErrno(errno, sourcePathOf(file.name));
    if (!S_ISREG(st.st_mode))
        return {}; // replaced by something that is not copied

    Fd out;
    const Result<std::string> temporary = createTemporary(targetPathOf(file.name), [&](const char *name) {
        out = Fd(::openat(targetFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
        return out.valid() ? 0 : errno;
    });
    if (!temporary)
        return temporary.error();

    Result<void> done = copyData(in.get(), out.get(), qint64(st.st_size), file.name);
    if (done) {
        // Created with its permission bits already; only what the umask
        // took away or the special bits need another call.
        if ((st.st_mode & 07777) != (st.st_mode & 0777 & ~m_umask))
            (void)::fchmod(out.get(), st.st_mode & 07777);
        keepTimes(out.get(), st);
        if (const int err = out.close())
            done = errorFromErrno(err, targetPathOf(file.name));
    }
    if (done)
        done = putInPlace(targetFd, *temporary, file.name);
    if (!done)
        (void)::unlinkat(targetFd, temporary->c_str(), 0);
    return done;
}

Result<void> CopyEngine::copyLink(const PlannedFile &file, int sourceFd, int targetFd)
{
    struct stat st;
    if (::fstatat(sourceFd, file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return {}; // removed or replaced since the tree was read
    m_buffer.resize(std::max<size_t>(m_buffer.size(), size_t(st.st_size) + 1));
    ssize_t length;
    while ((length = ::readlinkat(sourceFd, file.name.c_str(), m_buffer.data(), m_buffer.size()))
           == ssize_t(m_buffer.size()))
        m_buffer.resize(m_buffer.size() * 2);
    if (length < 0)
        return errorFromErrno(errno, sourcePathOf(file.name));
    const std::string linkTarget(m_buffer.data(), size_t(length));

    const Result<std::string> temporary = createTemporary(targetPathOf(file.name), [&](const char *name) {
        return ::symlinkat(linkTarget.c_str(), targetFd, name) == 0 ? 0 : errno;
    });
    if (!temporary)
        return temporary.error();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(targetFd, temporary->c_str(), times, AT_SYMLINK_NOFOLLOW);
    Result<void> done = putInPlace(targetFd, *temporary, file.name);
    if (!done)
        (void)::unlinkat(targetFd, temporary->c_str(), 0);
    return done;
}

// A file that grows while it is copied is taken as it was when opened:
// stopping at its size spares the call that would only report the end.
Result<void> CopyEngine::copyData(int in, int out, qint64 size, const std::string &name)
{
    if (const int err = fault(WriteFaults::Step::WriteData, targetPathOf(name)))
        return errorFromErrno(err, targetPathOf(name));
    qint64 copied = 0;
    while (m_kernelCopy && copied < size) {
        // Without a progress window one call may do the whole file.
        const qint64 chunk = m_observer ? std::min<qint64>(KernelChunk, size - copied) : size - copied;
        const ssize_t n = copyRange(in, out, size_t(chunk), name);
        if (n > 0) {
            copied += n;
            if (m_observer)
                m_observer->bytesCopied(n);
            // A file with all its data written is finished; one in its
            // middle is abandoned, and the caller removes its temporary.
            if (copied < size && stopRequested())
                return Stopped;
        } else if (n == 0) {
            // Shrunk meanwhile, or a special file system that reports a
            // size but copies nothing this way: reading tells which.
            break;
        } else if (errno == EINTR) {
            continue;
        } else if (kernelRefusedCopy(errno)) {
            m_kernelCopy = false;
        } else {
            return errorFromErrno(errno, targetPathOf(name));
        }
    }
    return copied < size ? copyDataByReading(in, out, size - copied, name) : Result<void>();
}

Result<void> CopyEngine::copyDataByReading(int in, int out, qint64 remaining, const std::string &name)
{
    m_buffer.resize(std::max(m_buffer.size(), BufferSize));
    while (remaining > 0) {
        const ssize_t n = ::read(in, m_buffer.data(), size_t(std::min<qint64>(remaining, qint64(m_buffer.size()))));
        if (n == 0)
            return {};
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno, sourcePathOf(name));
        }
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(out, m_buffer.data() + written, size_t(n - written));
            if (w < 0 && errno != EINTR)
                return errorFromErrno(errno, targetPathOf(name));
            written += std::max<ssize_t>(w, 0);
        }
        remaining -= n;
        if (m_observer)
            m_observer->bytesCopied(n);
        if (remaining > 0 && stopRequested())
            return Stopped;
    }
    return {};
}

template <typename Create>
Result<std::string> CopyEngine::createTemporary(const std::string &target, Create create)
{
    if (const int err = fault(WriteFaults::Step::CreateFile, target))
        return errorFromErrno(err, target);
    for (int attempt = 0; attempt < TemporaryAttempts; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".txtmp-%016llx",
                      static_cast<unsigned long long>(m_temporaryBase + m_temporaryCount++));
        const int err = create(name);
        if (err == 0)
            return std::string(name);
        if (err != EEXIST)
            return errorFromErrno(err, target);
    }
    return errorFromErrno(EEXIST, target);
}

Result<void> CopyEngine::putInPlace(int targetFd, const std::string &temporary, const std::string &name)
{
    // The rename replaces a link that stands there, never what it points to.
    if (m_overwrite) {
        if (::renameat(targetFd, temporary.c_str(), targetFd, name.c_str()) == 0)
            return {};
    } else if (renameNoReplace(targetFd, temporary, name) == 0) {
        return {};
    } else if (errno == EINVAL) { // a file system without no-replace renames
        if (exists(targetFd, name))
            errno = EEXIST;
        else if (::renameat(targetFd, temporary.c_str(), targetFd, name.c_str()) == 0)
            return {};
    }
    const int err = errno;
    if (err == EISDIR || err == ENOTEMPTY || (m_overwrite && err == EEXIST))
        return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (a folder is in the way)",
                       targetPathOf(name));
    return errorFromErrno(err, targetPathOf(name));
}

// The two calls below fail as a test asks, as they would on a file system
// that lacks them.
ssize_t CopyEngine::copyRange(int in, int out, size_t length, const std::string &name) const
{
    if (const int err = fault(WriteFaults::Step::CopyRange, targetPathOf(name))) {
        errno = err;
        return -1;
    }
    return ::copy_file_range(in, nullptr, out, nullptr, length, 0);
}

int CopyEngine::renameNoReplace(int targetFd, const std::string &temporary, const std::string &name) const
{
    if (const int err = fault(WriteFaults::Step::RenameNoReplace, targetPathOf(name))) {
        errno = err;
        return -1;
    }
    return ::renameat2(targetFd, temporary.c_str(), targetFd, name.c_str(), RENAME_NOREPLACE);
}

int CopyEngine::fault(WriteFaults::Step step, const std::string &path) const
{
    return m_faults ? m_faults->failure(step, path) : 0;
}
