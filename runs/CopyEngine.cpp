#include "runs/CopyEngine.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <tuple>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

// Large enough that a big file costs few calls, small enough that the
// progress window moves on a slow stick.
constexpr size_t KernelChunk = 8 * 1024 * 1024;
// Between file systems the data goes through this buffer. 128 KiB, as cp
// uses: a 1 MiB buffer no longer fits the processor's cache and cost three
// times the time and CPU of this one on a busy machine.
constexpr size_t BufferSize = 128 * 1024;

// Permission bits and times are kept where the destination can hold them;
// a stick formatted FAT cannot, and that must not fail the copy.
void keepAttributes(int fd, const struct stat &source)
{
    (void)::fchmod(fd, source.st_mode & 07777);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    (void)::futimens(fd, times);
}

// A folder this copy made takes its own bits at once, kept writable for us
// until its files are in: a copy killed meanwhile leaves it as the source
// has it.
void keepBitsWritable(int fd, mode_t mode)
{
    (void)::fchmod(fd, (mode & 07777) | S_IRWXU);
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

// FAT, exFAT and NTFS through ntfs-3g (or the old read-only driver) keep
// no permission bits: they report one mode, often 0777, for everything.
// Known by the kind of file system, since learning it by a probe would
// write on the source. A "fuseblk" mount is exFAT or NTFS through FUSE;
// ntfs-3g keeps bits only with an option desktops do not set.
bool keepsNoBits(int fd)
{
    constexpr decltype(statfs::f_type) NtfsMagic = 0x5346544e;
    struct statfs fs;
    struct stat st;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    if (fs.f_type == MSDOS_SUPER_MAGIC || fs.f_type == EXFAT_SUPER_MAGIC || fs.f_type == NtfsMagic)
        return true;
    return fs.f_type == FUSE_SUPER_MAGIC && ::fstat(fd, &st) == 0 && mountOf(st.st_dev).type == "fuseblk";
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

// What a destination answers for a name it cannot hold: ENAMETOOLONG past
// its length, EILSEQ (exfat-fuse) for bytes that are not UTF-8, EINVAL
// (the kernel's FAT and exFAT) for characters their names lack.
bool refusesName(int err)
{
    return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG;
}

// A name as a destination that folds case (FAT, exFAT) compares it: ASCII
// folded byte by byte, the rest (where it is UTF-8) by Unicode's folding.
std::string foldedCase(const std::string &name)
{
    std::string folded = name;
    bool ascii = true;
    for (char &c : folded) {
        ascii = ascii && (c & 0x80) == 0;
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    if (ascii)
        return folded;
    const QString text = QString::fromUtf8(name.data(), qsizetype(name.size()));
    return text.toUtf8().toStdString() == name ? text.toCaseFolded().toUtf8().toStdString() : folded;
}

// FAT and exFAT cannot hold symbolic links.
bool holdsNoLinks(int err)
{
    return err == EPERM || err == ENOSYS || err == EOPNOTSUPP;
}

// The regular file name of the folder dirFd, open for reading, with its
// status in st; no Fd when it is gone or is something else now, or when
// the source refuses reading it (refused is then true). A FIFO
// must not be opened in a way that waits for a writer, so the open does
// not block and the kind is checked on what was opened.
Result<Fd> openRegularFile(int dirFd, const std::string &name, bool followLink, struct stat &st,
                           const std::string &path, bool &refused)
{
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    Fd fd(::openat(dirFd, name.c_str(), flags));
    refused = !fd.valid() && readingRefused(errno);
    if (!fd.valid())
        return changedKind(errno) || refused ? Result<Fd>(Fd()) : Result<Fd>(errorFromErrno(errno, path, Side::Source));
    if (::fstat(fd.get(), &st) != 0)
        return errorFromErrno(errno, path, Side::Source);
    if (!S_ISREG(st.st_mode))
        return Fd();
    (void)::fcntl(fd.get(), F_SETFL, O_RDONLY);
    return fd;
}

constexpr qint64 NanosecondsPerSecond = 1'000'000'000;

// t as a destination that keeps times to step nanoseconds stores it: cut
// down to a whole step. Seconds and nanoseconds stay apart, so times past
// 2262 (ext4 keeps them up to 2446) cannot overflow.
struct timespec storedAs(struct timespec t, qint64 step)
{
    if (step < NanosecondsPerSecond) {
        t.tv_nsec -= long(t.tv_nsec % step);
        return t;
    }
    const time_t seconds = time_t(step / NanosecondsPerSecond);
    t.tv_sec -= (t.tv_sec % seconds + seconds) % seconds;
    t.tv_nsec = 0;
    return t;
}

// Gives the file name in dirFd the bits mode where it is still the regular
// file there was (a link or another file swapped in since is copied over
// instead); false where it is not, or the bits could not be set.
bool bitsFixedInPlace(int dirFd, const std::string &name, const DestinationEntry &there, mode_t mode)
{
    const Fd fd(::openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != there.inode
        || st.st_dev != there.device)
        return false;
    // A descriptor opened as a path takes no fchmod; its name in /proc
    // reaches that very file, even one without read or write bits.
    return ::chmod(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), mode) == 0;
}

// The target of the link name in dirFd, or nullopt when it is no link (any more).
std::optional<std::string> linkText(int dirFd, const std::string &name, std::vector<char> &buffer)
{
    buffer.resize(std::max<size_t>(buffer.size(), 256));
    ssize_t length;
    while ((length = ::readlinkat(dirFd, name.c_str(), buffer.data(), buffer.size())) == ssize_t(buffer.size()))
        buffer.resize(buffer.size() * 2);
    if (length < 0)
        return std::nullopt;
    return std::string(buffer.data(), size_t(length));
}

// Walks the folders below top, depth first in their order, a level at a
// time so that no depth of tree runs out of stack: down(sub) goes into a
// folder and says whether its subfolders follow; up(sub) comes back out of
// one that down went into.
template <typename Down, typename Up>
Result<void> walkFolders(PlannedFolder &top, Down down, Up up)
{
    struct Level {
        PlannedFolder *folder;
        size_t next; // its subfolder to go into next
    };
    std::vector<Level> levels{{&top, 0}};
    for (;;) {
        Level &level = levels.back();
        if (level.next < level.folder->folders.size()) {
            PlannedFolder &sub = level.folder->folders[level.next++];
            const Result<bool> into = down(sub);
            if (!into)
                return into.error();
            if (*into)
                levels.push_back({&sub, 0});
            continue;
        }
        PlannedFolder &done = *level.folder;
        levels.pop_back();
        if (levels.empty())
            return {};
        if (auto left = up(done); !left)
            return left;
    }
}

// Calls visit(folder) for top and every folder below it.
template <typename Visit>
void forEachFolder(PlannedFolder &top, Visit visit)
{
    visit(top);
    (void)walkFolders(
        top, [&](PlannedFolder &sub) { visit(sub); return Result<bool>(true); },
        [](PlannedFolder &) { return Result<void>(); }); // neither step fails
}

} // namespace

CopyEngine::CopyEngine(const CopyOptions &options, CopyObserver *observer, const WriteFaults *faults)
    : m_overwrite(options.overwrite), m_keepVersions(options.keepVersions),
      m_versionsStamp(options.versionsStamp.toStdString()), m_observer(observer), m_faults(faults),
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
    const auto [parent, name] = splitLast(*targetPath);
    // "D/.." would land in D's parent, "D/." in D itself, "/" nowhere of its own.
    if (name.empty() || name == "." || name == "..")
        return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (no folder name)", *targetPath);

    Result<Fd> sourceFd = openFolder(*sourcePath);
    if (!sourceFd)
        return sourceFd.error();
    Fd parentFd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid())
        return errorFromErrno(errno, parent);
    struct stat sourceStat;
    if (::fstat(sourceFd->get(), &sourceStat) != 0)
        return errorFromErrno(errno, *sourcePath, Side::Source);
    if (auto refused = refuseOwnSubtree(FolderId::of(sourceStat), parentFd.get(), name, *targetPath); !refused)
        return refused;
    m_copyPath = *targetPath;
    // Only an overwriting copy destroys anything.
    if (m_overwrite && m_keepVersions > 0) {
        m_versions.emplace(parentFd.get(), name, m_versionsStamp, m_keepVersions);
        m_versions->removeOld();
    }

    // A repeat run's look at what the destination holds goes along with
    // the reading of the source.
    const Fd existing(m_overwrite ? ::openat(parentFd.get(), name.c_str(), OpenFolderFlags) : -1);
    Result<FolderPlan> plan = FolderPlan::read(sourceFd->get(), *sourcePath, existing.get());
    if (!plan)
        return plan.error();
    m_sourceFolders = std::move(plan.value().folderIds);
    m_leftOut = std::move(plan.value().unreadable);
    PlannedFolder &root = plan.value().root;
    m_sourceKeepsBits = !keepsNoBits(sourceFd->get());
    if (!m_sourceKeepsBits) {
        sourceStat.st_mode = bitsToGive(sourceStat.st_mode);
        giveUsualBits(root);
    }

    root.name = name;
    m_sourcePath = *sourcePath == "/" ? std::string() : *sourcePath;
    m_targetPath = *targetPath;
    m_source = FolderWalk(sourceFd->get());
    m_target = FolderWalk(parentFd.get());
    const Result<Entered> entered = enterTarget(root, root.mode, true);
    if (!entered)
        return entered.error();
    if (*entered == Entered::Refused)
        return leftOutError();
    const bool made = *entered == Entered::Made;
    root.created = made;
    m_top = Fd(::fcntl(m_target.fd(), F_DUPFD_CLOEXEC, 0));
    if (struct stat st; ::fstat(m_target.fd(), &st) == 0)
        m_topDevice = st.st_dev;
    if (m_observer)
        m_observer->copyBetween(m_sourcePath, m_targetPath, sourceFd->get(), m_top.get());
    leaveOutCaseTwins(plan.value());
    if (m_observer)
        m_observer->copyPlanned(plan->files, plan->bytes);
    if (made)
        keepBitsWritable(m_target.fd(), root.mode);
    // ext4 places a folder's files far better (two to three times faster
    // on many small files) when the folders are made before the files. Only
    // where no existing file can stop the copy, so a stop at error 58 still
    // leaves exactly what the file order gives.
    m_madeAhead = m_overwrite || made;
    Result<void> copied = m_madeAhead ? makeFolders(root) : Result<void>();
    if (copied)
        copied = copyTree(root, made);
    if (!copied) {
        m_target.restart();
        tidy(root);
        return copied;
    }
    // A destination that was already there (a drive root, an earlier
    // backup) is the user's own folder: its permissions stay as they are.
    // Its time is the source's, as a folder made would have it; writing
    // into it, or the probe of what the drive keeps, moved it.
    if (made) {
        keepAttributes(m_target.fd(), sourceStat);
    } else {
        if (root.foundBits)
            (void)::fchmod(m_target.fd(), *root.foundBits);
        struct stat there;
        if (::fstat(m_target.fd(), &there) == 0
            && !sameTimeThere(there.st_mtim, sourceStat.st_mtim, m_target.fd(), there.st_dev)) {
            const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
            (void)::futimens(m_target.fd(), times);
        }
    }
    if (const int err = m_target.leave(name))
        return err == ESTALE ? folderMoved() : errorFromErrno(err, m_targetPath);
    return leftOutError();
}

Result<void> CopyEngine::refuseOwnSubtree(FolderId source, int parentFd, const std::string &name,
                                          const std::string &destination)
{
    struct stat st;
    const Error ownSubtree = errorAt(ErrorNumber::PathFileAccess,
                                     "Path/File access error (copy onto itself or into its own folder)",
                                     destination);
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
        && FolderId::of(st) == source)
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

// Makes the destination folder of folder in the current destination
// folder, or finds it there, and enters it.
Result<CopyEngine::Entered> CopyEngine::enterTarget(PlannedFolder &folder, mode_t mode, bool removeLeftovers)
{
    if (const int err = fault(WriteFaults::Step::CreateFolder, m_targetPath))
        return errorFromErrno(err, m_targetPath);
    // A repeat finds its folders there, so they are entered first.
    struct stat st;
    int err = m_target.enter(folder.name, st);
    bool made = false;
    if (err == ENOENT || refusesName(err) || removedFileInTheWay(err, folder.name)) {
        // Created writable for us; the exact bits are set once its files are in.
        const int failed = makeFolder(folder.name.c_str(), (mode & 0777) | S_IRWXU);
        made = failed == 0;
        if (!made && leftOutIfRefused(failed, m_target.fd(), nullptr, m_targetPath))
            return Entered::Refused;
        if (!made && failed != EEXIST)
            return errorFromErrno(failed, m_targetPath);
        err = m_target.enter(folder.name, st);
    }
    if (auto entered = enteredTarget(err, st, made); !entered)
        return entered.error();
    if (!made)
        openUp(folder, st);
    if (!made && removeLeftovers)
        removeTemporaries(folder);
    return made ? Entered::Made : Entered::Found;
}

// A folder found locked for its owner (a read-only folder's copy from an
// earlier run) would refuse every change; it is writable while the copy
// fills it, and its bits come back after, when it is filled or given up.
void CopyEngine::openUp(PlannedFolder &folder, const struct stat &st)
{
    if ((st.st_mode & S_IRWXU) != S_IRWXU && !folder.foundBits
        && ::fchmod(m_target.fd(), (st.st_mode & 07777) | S_IRWXU) == 0)
        folder.foundBits = st.st_mode & 07777;
}

// Takes what entering a destination folder gave: err, and its status st.
// The copy never enters through a link, nor into its own source.
Result<void> CopyEngine::enteredTarget(int err, const struct stat &st, bool made)
{
    if (err) {
        if (err == ELOOP || err == ENOTDIR) // a file or a link where the folder goes
            return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (not a folder)", m_targetPath);
        return errorFromErrno(err, m_targetPath);
    }
    if (!made && m_sourceFolders.contains(FolderId::of(st)))
        return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (copy onto its own source)",
                       m_targetPath);
    return {};
}

// Makes the folders below top, where the destination walk stands, or
// finds them there.
Result<void> CopyEngine::makeFolders(PlannedFolder &top)
{
    auto down = [&](PlannedFolder &sub) -> Result<bool> {
        if (sub.unlisted)
            return false;
        stepDown(sub.name);
        struct stat st;
        const int err = m_target.enter(sub.name, st);
        const bool missing = err == ENOENT || refusesName(err) || removedFileInTheWay(err, sub.name);
        if (auto made = missing ? makeAhead(sub) : enteredTarget(err, st, false); !made)
            return made.error();
        if (err == 0) {
            openUp(sub, st);
            removeTemporaries(sub);
        }
        return true;
    };
    auto up = [&](PlannedFolder &) -> Result<void> {
        if (const int err = m_target.leave())
            return errorFromErrno(err, m_targetPath);
        stepUp();
        return {};
    };
    return walkFolders(top, down, up);
}

// Makes the folder of sub under a temporary name and enters it: a copy
// killed before it is reached leaves only what the next run removes.
Result<void> CopyEngine::makeAhead(PlannedFolder &sub)
{
    const Result<std::string> made =
        createTemporary(WriteFaults::Step::CreateFolder, m_targetPath, [&](const char *name) {
            return makeFolder(name, S_IRWXU);
        });
    if (!made)
        return made.error();
    sub.aheadName = *made;
    struct stat st;
    if (const int err = m_target.enter(sub.aheadName, st))
        return errorFromErrno(err, m_targetPath);
    return {};
}

// Gives the folder made ahead for sub its own name and enters it.
Result<CopyEngine::Entered> CopyEngine::placeAhead(PlannedFolder &sub)
{
    if (const int err = renameNoReplace(m_target.fd(), sub.aheadName, sub.name, m_targetPath)) {
        if (leftOutIfRefused(err, m_target.fd(), sub.aheadName.c_str(), m_targetPath)) {
            (void)removeTree(sub.aheadName); // with the folders made ahead inside
            sub.aheadName.clear();
            return Entered::Refused;
        }
        return err == EEXIST || err == ENOTEMPTY
                   ? errorAt(ErrorNumber::PathFileAccess, "Path/File access error (something is in the way)",
                             m_targetPath)
                   : errorFromErrno(err, m_targetPath);
    }
    sub.aheadName.clear();
    struct stat st;
    if (auto entered = enteredTarget(m_target.enter(sub.name, st), st, true); !entered)
        return entered.error();
    return Entered::Made;
}

// Copies the files of top, where both walks stand, then its folders.
Result<void> CopyEngine::copyTree(PlannedFolder &top, bool targetIsNew)
{
    if (auto copied = copyFiles(top, targetIsNew); !copied)
        return copied;
    std::vector<struct stat> sources; // of the folders the walk is in below top, the deepest last
    auto down = [&](PlannedFolder &sub) -> Result<bool> {
        stepDown(sub.name);
        struct stat st;
        const Result<bool> into = enterFolder(sub, st);
        if (into && *into)
            sources.push_back(st);
        else if (into)
            stepUp();
        return into;
    };
    auto up = [&](PlannedFolder &sub) {
        const Result<void> left = leaveFolder(sub, sources.back());
        sources.pop_back();
        stepUp();
        return left;
    };
    return walkFolders(top, down, up);
}

Result<void> CopyEngine::copyFiles(const PlannedFolder &folder, bool targetIsNew)
{
    for (const PlannedFile &file : folder.files)
        if (auto copied = copyEntry(file, m_source.fd(), m_target.fd(), targetIsNew); !copied)
            return copied;
    return {};
}

// Enters the folder sub on both sides and copies its files; false where
// there is nothing more to copy in it, the walks standing where they were.
// st receives the source folder's status.
Result<bool> CopyEngine::enterFolder(PlannedFolder &sub, struct stat &st)
{
    if (stopRequested())
        return Stopped;
    if (sub.unlisted)
        return false;
    if (const int err = m_source.enter(sub.name, st)) {
        if (!changedKind(err))
            return errorFromErrno(err, m_sourcePath, Side::Source);
        tidy(sub); // no longer a folder to copy: nothing made for it may stay
        return false;
    }
    st.st_mode = bitsToGive(st.st_mode);
    const Result<Entered> entered = sub.aheadName.empty() ? enterTarget(sub, st.st_mode, !m_madeAhead)
                                                          : placeAhead(sub);
    if (!entered)
        return entered.error();
    if (*entered == Entered::Refused) {
        sub.filled = true; // nothing of it to tidy
        if (const int err = m_source.leave())
            return errorFromErrno(err, m_sourcePath, Side::Source);
        return false;
    }
    sub.created = *entered == Entered::Made;
    if (sub.created)
        keepBitsWritable(m_target.fd(), st.st_mode);
    if (auto copied = copyFiles(sub, sub.created); !copied)
        return copied.error();
    return true;
}

// Leaves the folder sub, all of it copied, on both sides; source is the
// source folder's status.
Result<void> CopyEngine::leaveFolder(PlannedFolder &sub, const struct stat &source)
{
    if (sub.created && m_observer)
        m_observer->entryWritten({WrittenEntry::Kind::Folder, m_sourcePath, m_targetPath, 0, {}, {}, false});
    keepFolderAttributes(source, sub.created);
    sub.filled = true;
    if (const int err = m_source.leave())
        return errorFromErrno(err, m_sourcePath, Side::Source);
    if (const int err = m_target.leave(sub.name))
        return err == ESTALE ? folderMoved() : errorFromErrno(err, m_targetPath);
    return {};
}

void CopyEngine::stepDown(const std::string &name)
{
    for (std::string *path : {&m_sourcePath, &m_targetPath}) {
        *path += '/';
        *path += name;
    }
}

void CopyEngine::stepUp()
{
    for (std::string *path : {&m_sourcePath, &m_targetPath})
        path->resize(path->rfind('/'));
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
    if (m_overwrite && leftInPlace(file, sourceFd, targetFd))
        return {};
    if (leftOutAsTooLarge(file, targetFd))
        return {};
    const auto write = [&] {
        m_bytesTold = 0;
        return file.isLink ? copyLink(file, sourceFd, targetFd) : copyFile(file, sourceFd, targetFd, FollowLink::No);
    };
    Result<void> copied = write();
    while (madeRoom(copied, file, targetFd)) {
        takeBackTold();
        copied = write();
    }
    return copied;
}

// Versions never make a copy fail for space: where the file found the
// destination full, or out of entries for new files, the oldest versions
// go, and it is written again. A file too large for the destination
// (EFBIG, which fails alike) finds it with room: no version goes for it.
bool CopyEngine::madeRoom(const Result<void> &copied, const PlannedFile &file, int targetFd)
{
    struct statvfs room;
    if (copied || copied.error().number != ErrorNumber::DiskFull || !m_versions || ::fstatvfs(targetFd, &room) != 0)
        return false;
    const bool full = qint64(room.f_bavail) * qint64(room.f_frsize) <= file.size;
    const bool noEntryLeft = room.f_files > 0 && room.f_favail == 0; // FAT counts no entries: f_files is 0
    return (full || noEntryLeft) && m_versions->removeOldest();
}

// Makes the folder name where the destination walk stands: 0, or the errno
// why not. A full destination, or one out of entries for new files and
// folders, makes room as for a file: the oldest versions go first.
int CopyEngine::makeFolder(const char *name, mode_t mode)
{
    while (::mkdirat(m_target.fd(), name, mode) != 0) {
        const int err = errno;
        if (err != ENOSPC || !m_versions || !m_versions->removeOldest())
            return err;
    }
    return 0;
}

// A repeat run finds most entries as the last run left them. Rewriting
// those would cost as much as the first copy (ext4 even flushes each file
// renamed over another) and wear a stick for nothing, so an entry of the
// same kind, size and time (a link: the same target) stays, its bits
// corrected, and counts as copied. What the plan read of both sides is
// enough: the source file is not opened again.
bool CopyEngine::leftInPlace(const PlannedFile &file, int sourceFd, int targetFd)
{
    const DestinationEntry &there = file.atDestination;
    if (!there.exists)
        return false;
    if (file.isLink)
        return S_ISLNK(there.mode) && sameLinkTarget(file, sourceFd, targetFd);
    if (!S_ISREG(there.mode) || there.size != file.size)
        return false;
    if (!sameTimeThere(there.modified, file.modified, targetFd, there.device)
        && !shiftedButSame(file, sourceFd, targetFd))
        return false;
    if ((there.mode & 07777) != file.mode && keepingOf(targetFd, there.device).bits
        && !bitsFixedInPlace(targetFd, file.name, there, file.mode))
        return false;
    if (m_observer && file.size > 0)
        m_observer->bytesCopied(file.size);
    return true;
}

// FAT keeps local time: after a change of time zone or daylight saving
// every time it holds moves by whole quarter hours. A file of the same size
// off by such a shift (at most a day; the read-back's mark of a bad copy
// is two) is read on both sides, and where the bytes agree only its time
// is corrected: no file is skipped without proof, none rewritten for nothing.
bool CopyEngine::shiftedButSame(const PlannedFile &file, int sourceFd, int targetFd)
{
    constexpr qint64 Quarter = 15 * 60;
    constexpr qint64 Day = 24 * 3600;
    const DestinationEntry &there = file.atDestination;
    const qint64 shift = qint64(there.modified.tv_sec) - qint64(file.modified.tv_sec);
    if (shift == 0 || shift < -Day - 2 || shift > Day + 2)
        return false;
    const struct timespec stored = storedAs(file.modified, keepingOf(targetFd, there.device).timeStep);
    const qint64 offBy = qint64(there.modified.tv_sec) - qint64(stored.tv_sec);
    if (there.modified.tv_nsec != stored.tv_nsec || offBy % Quarter != 0 || offBy == 0)
        return false;
    const Fd source(::openat(sourceFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const Fd copy(::openat(targetFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!source.valid() || !copy.valid() || ::fstat(copy.get(), &st) != 0 || st.st_ino != there.inode
        || st.st_dev != there.device || ::fstat(source.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || !sameInstant(st.st_mtim, file.modified) || qint64(st.st_size) != file.size)
        return false;
    const size_t half = BufferSize / 2;
    m_buffer.resize(std::max(m_buffer.size(), BufferSize));
    for (off_t at = 0; at < off_t(file.size);) {
        const ssize_t n = ::pread(source.get(), m_buffer.data(), half, at);
        if (n <= 0 || ::pread(copy.get(), m_buffer.data() + half, size_t(n), at) != n
            || std::memcmp(m_buffer.data(), m_buffer.data() + half, size_t(n)) != 0)
            return false;
        at += n;
    }
    return setModifiedTime(copy.get(), file.modified) == 0;
}

// A file larger than the destination can hold (FAT: 4 GiB - 1) would only
// be found so once gigabytes were written: it is left out before, and named.
bool CopyEngine::leftOutAsTooLarge(const PlannedFile &file, int targetFd)
{
    constexpr qint64 FatLargest = 0xffff'ffffLL; // no destination holds less
    struct stat st;
    if (file.size <= FatLargest || ::fstat(targetFd, &st) != 0 || file.size <= keepingOf(targetFd, st.st_dev).largestFile)
        return false;
    m_leftOut.push_back(targetPathOf(file.name));
    passOver(file);
    return true;
}

// A file counted in the totals and then not copied is done with: the
// progress still reaches its end.
void CopyEngine::passOver(const PlannedFile &file)
{
    if (m_observer && file.size > 0)
        m_observer->bytesCopied(file.size);
}

void CopyEngine::tellCopied(qint64 bytes)
{
    m_bytesTold += bytes;
    if (m_observer)
        m_observer->bytesCopied(bytes);
}

// A file written again from its start takes back what its last try told,
// or the progress would pass its end.
void CopyEngine::takeBackTold()
{
    if (m_observer && m_bytesTold > 0)
        m_observer->bytesCopied(-m_bytesTold);
    m_bytesTold = 0;
}

// A source that keeps no bits says 0777 or 0755 of every entry: what is
// copied from it gets the bits of a new file or folder under the user's
// umask instead, as an editor saving it would give, never executable data.
mode_t CopyEngine::bitsToGive(mode_t mode) const
{
    if (m_sourceKeepsBits)
        return mode;
    const mode_t mask = m_umask == 07777 ? 022 : m_umask; // unread: the usual one
    return (mode & S_IFMT) | ((S_ISDIR(mode) ? 0777 : 0666) & ~mask);
}

void CopyEngine::giveUsualBits(PlannedFolder &top)
{
    forEachFolder(top, [&](PlannedFolder &folder) {
        folder.mode = bitsToGive(folder.mode);
        for (PlannedFile &file : folder.files)
            file.mode = bitsToGive(file.mode);
    });
}

// Whether a time the destination holds is the source's time as this
// destination keeps it.
bool CopyEngine::sameTimeThere(const struct timespec &there, const struct timespec &source, int targetFd,
                               dev_t device)
{
    if (sameInstant(there, source))
        return true;
    // Further apart than any step (2 s): no need to learn this destination's.
    // Unsigned, so that no difference of seconds overflows.
    if (quint64(there.tv_sec) - quint64(source.tv_sec) + 2 > 4)
        return false;
    const qint64 step = keepingOf(targetFd, device).timeStep;
    const struct timespec stored = storedAs(source, step);
    if (sameInstant(there, stored))
        return true;
    // Windows writes FAT's 2 s times rounded up, not down.
    return step == 2 * NanosecondsPerSecond && !sameInstant(stored, source)
           && sameInstant(there, {stored.tv_sec + 2, 0});
}

// A folder found as the source has it (nothing written into it, its time
// and bits as they were) is left alone: setting them again would only give
// it a new change time, a journal write and a stick wear for nothing.
// The bits count only where the destination keeps them: FAT reports 0755
// for every folder, whatever it was given. What it keeps is learned here at
// the latest, so a probe made in this folder is seen in its time.
void CopyEngine::keepFolderAttributes(const struct stat &source, bool created)
{
    struct stat there;
    const bool current = !created && ::fstat(m_target.fd(), &there) == 0
                         && (!keepingOf(m_target.fd(), there.st_dev).bits
                             || (there.st_mode & 07777) == (source.st_mode & 07777))
                         && ::fstat(m_target.fd(), &there) == 0
                         && sameTimeThere(there.st_mtim, source.st_mtim, m_target.fd(), there.st_dev);
    if (!current)
        keepAttributes(m_target.fd(), source);
}

bool CopyEngine::sameLinkTarget(const PlannedFile &file, int sourceFd, int targetFd)
{
    const std::optional<std::string> source = linkText(sourceFd, file.name, m_buffer);
    return source && source == linkText(targetFd, file.name, m_buffer);
}

// A source that changes while it is copied (written to, cut short, or
// rewritten with its old time put back, which still moves its change
// time) would leave a copy equal to neither version: it is copied again,
// and where it changes again it is left out and named, nothing of it in
// place.
Result<void> CopyEngine::copyFile(const PlannedFile &file, int sourceFd, int targetFd, FollowLink follow)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Result<bool> steady = copyFileOnce(file, sourceFd, targetFd, follow);
        if (!steady)
            return steady.error();
        if (*steady)
            return {};
        takeBackTold();
    }
    m_leftOut.push_back(sourcePathOf(file.name));
    passOver(file);
    return {};
}

// False where the source changed while it was copied: the copy is gone.
Result<bool> CopyEngine::copyFileOnce(const PlannedFile &file, int sourceFd, int targetFd, FollowLink follow)
{
    struct stat st;
    bool refused = false;
    const Result<Fd> in = openRegularFile(sourceFd, file.name, follow == FollowLink::Yes, st,
                                          sourcePathOf(file.name), refused);
    if (!in)
        return in.error();
    if (refused) // left out and named, like a name the destination refuses
        m_leftOut.push_back(sourcePathOf(file.name));
    if (!in->valid()) {
        passOver(file);
        return true; // gone, or replaced by something that is not copied
    }
    st.st_mode = bitsToGive(st.st_mode);

    Fd out;
    const Result<std::string> temporary =
        createTemporary(WriteFaults::Step::CreateFile, targetPathOf(file.name), [&](const char *name) {
            out = Fd(::openat(targetFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
            return out.valid() ? 0 : errno;
        });
    if (!temporary)
        return temporary.error();

    const Result<bool> whole = copyData(in->get(), out.get(), st, file.name);
    Result<void> done = whole ? Result<void>() : whole.error();
    struct stat after;
    const bool steady = !done
                        || (*whole && ::fstat(in->get(), &after) == 0 && after.st_size == st.st_size
                            && sameInstant(after.st_mtim, st.st_mtim) && sameInstant(after.st_ctim, st.st_ctim));
    if (done && steady) {
        // Created with its permission bits already; only what the umask
        // took away or the special bits need another call.
        if ((st.st_mode & 07777) != (st.st_mode & 0777 & ~m_umask))
            (void)::fchmod(out.get(), st.st_mode & 07777);
        // A file to be read back is current only once it has been.
        const bool checked = m_observer && m_observer->checksWritten();
        setTimes(out.get(), st.st_atim, checked ? uncheckedTime(st.st_mtim) : st.st_mtim, *temporary);
        if (const int err = out.close())
            done = errorFromErrno(err, targetPathOf(file.name));
    }
    const bool placed = done && steady && placedInPlace(done, targetFd, *temporary, file, st.st_size);
    if (!done || !steady)
        (void)::unlinkat(targetFd, temporary->c_str(), 0);
    else if (placed && m_observer)
        m_observer->entryWritten({WrittenEntry::Kind::File, sourcePathOf(file.name), targetPathOf(file.name),
                                  qint64(st.st_size), st.st_mtim, {}, follow == FollowLink::Yes, st.st_ctim});
    if (!done)
        return done.error();
    return steady;
}

Result<void> CopyEngine::copyLink(const PlannedFile &file, int sourceFd, int targetFd)
{
    struct stat st;
    if (::fstatat(sourceFd, file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return {}; // removed or replaced since the tree was read
    const std::optional<std::string> linkTarget = linkText(sourceFd, file.name, m_buffer);
    if (!linkTarget)
        return errorFromErrno(errno, sourcePathOf(file.name), Side::Source);

    bool noLinks = false;
    const Result<std::string> temporary =
        createTemporary(WriteFaults::Step::CreateFile, targetPathOf(file.name), [&](const char *name) {
            int err = fault(WriteFaults::Step::CreateLink, targetPathOf(file.name));
            if (err == 0 && ::symlinkat(linkTarget->c_str(), targetFd, name) != 0)
                err = errno;
            noLinks = holdsNoLinks(err);
            return err;
        });
    // Where links cannot be made, the file a link names is copied in its
    // place; a link to a folder or to nothing is left out.
    if (noLinks)
        return copyFile(file, sourceFd, targetFd, FollowLink::Yes);
    if (!temporary)
        return temporary.error();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(targetFd, temporary->c_str(), times, AT_SYMLINK_NOFOLLOW);
    Result<void> done;
    const bool placed = placedInPlace(done, targetFd, *temporary, file, 0);
    if (!done)
        (void)::unlinkat(targetFd, temporary->c_str(), 0);
    else if (placed && m_observer)
        m_observer->entryWritten({WrittenEntry::Kind::Link, sourcePathOf(file.name), targetPathOf(file.name), 0, {},
                                  *linkTarget, false});
    return done;
}

// A sparse file (fewer blocks than its size needs) keeps its holes: only
// its data is copied, each part at its own place, and its size sets the end.
// False where the source ended before its size: it shrank meanwhile.
Result<bool> CopyEngine::copyData(int in, int out, const struct stat &st, const std::string &name)
{
    if (const int err = fault(WriteFaults::Step::WriteData, targetPathOf(name)))
        return errorFromErrno(err, targetPathOf(name));
    const qint64 size = st.st_size;
    if (qint64(st.st_blocks) * 512 >= size) {
        const Result<qint64> copied = copySpan(in, out, size, name);
        if (!copied)
            return copied.error();
        return *copied == size;
    }
    qint64 at = 0;
    while (at < size) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if ((data < 0 && errno == ENXIO) || data >= size)
            break; // a hole up to the end
        off_t hole = data < 0 ? -1 : ::lseek(in, data, SEEK_HOLE);
        if (data < 0 || hole <= data) { // holes cannot be told here: the rest as it reads
            data = at;
            hole = size;
        }
        hole = std::min<off_t>(hole, size);
        if (::lseek(in, data, SEEK_SET) < 0 || ::lseek(out, data, SEEK_SET) < 0)
            return errorFromErrno(errno, targetPathOf(name));
        if (data > at)
            tellCopied(data - at);
        const Result<qint64> copied = copySpan(in, out, hole - data, name);
        if (!copied)
            return copied.error();
        if (*copied < hole - data)
            return false;
        at = hole;
    }
    if (size > at)
        tellCopied(size - at);
    if (::ftruncate(out, size) != 0)
        return errorFromErrno(errno, targetPathOf(name));
    return true;
}

// A file that grows while it is copied is taken as it was when opened:
// stopping at its size spares the call that would only report the end.
// The bytes copied: fewer than size where the file ended first.
Result<qint64> CopyEngine::copySpan(int in, int out, qint64 size, const std::string &name)
{
    qint64 copied = 0;
    while (m_kernelCopy && copied < size) {
        // Without a progress window one call may do the whole file.
        const qint64 chunk = m_observer ? std::min<qint64>(KernelChunk, size - copied) : size - copied;
        const ssize_t n = copyRange(in, out, size_t(chunk), name);
        if (n > 0) {
            copied += n;
            tellCopied(n);
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
    if (copied == size)
        return copied;
    const Result<qint64> read = copyDataByReading(in, out, size - copied, name);
    return read ? Result<qint64>(copied + *read) : read;
}

Result<qint64> CopyEngine::copyDataByReading(int in, int out, qint64 size, const std::string &name)
{
    m_buffer.resize(std::max(m_buffer.size(), BufferSize));
    qint64 remaining = size;
    while (remaining > 0) {
        const ssize_t n = ::read(in, m_buffer.data(), size_t(std::min<qint64>(remaining, qint64(BufferSize))));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno, sourcePathOf(name), Side::Source);
        }
        if (const int err = writeAll(out, m_buffer.data(), size_t(n)))
            return errorFromErrno(err, targetPathOf(name));
        remaining -= n;
        tellCopied(n);
        if (remaining > 0 && stopRequested())
            return Stopped;
    }
    return size - remaining;
}

template <typename Create>
Result<std::string> CopyEngine::createTemporary(WriteFaults::Step step, const std::string &target,
                                                Create create)
{
    if (const int err = fault(step, target))
        return errorFromErrno(err, target);
    FreshlyNamed made = createFreshlyNamed(
        [this] { return copyTemporaryName(m_temporaryBase + m_temporaryCount++); }, create);
    if (made.err)
        return errorFromErrno(made.err, target);
    return std::move(made.name);
}

// Renames temporary to name; true where it took the name, false where it
// failed (done then holds why), the destination refused the name, or the
// folder is no longer where the copy put it.
bool CopyEngine::placedInPlace(Result<void> &done, int targetFd, const std::string &temporary,
                               const PlannedFile &file, qint64 bytes)
{
    // A folder moved away meanwhile takes nothing more: what lands there
    // would be outside the destination.
    if (m_target.stillInPlace(m_targetPath) != 0) {
        done = folderMoved();
        return false;
    }
    const size_t leftOut = m_leftOut.size();
    done = putInPlace(targetFd, temporary, file);
    const bool placed = done && m_leftOut.size() == leftOut;
    if (placed)
        m_bytesWritten += bytes;
    return placed;
}

Result<void> CopyEngine::putInPlace(int targetFd, const std::string &temporary, const PlannedFile &file)
{
    const std::string &name = file.name;
    // The rename replaces a link that stands there, never what it points to.
    auto rename = [&] { return ::renameat(targetFd, temporary.c_str(), targetFd, name.c_str()) == 0 ? 0 : errno; };
    const DestinationEntry &there = file.atDestination;
    if (m_overwrite && there.exists && !S_ISDIR(there.mode))
        (void)clearWay(targetFd, name, targetPathOf(name), Way::Replace, S_ISREG(there.mode) ? there.size : 0);
    int err = m_overwrite ? rename() : renameNoReplace(targetFd, temporary, name, targetPathOf(name));
    // A folder where the source now has a file is this program's copy of
    // what the source held; the rename never meets a link's target.
    if (err == EISDIR && m_overwrite && clearWay(targetFd, name, targetPathOf(name), Way::RemoveFolder, 0) == 0)
        err = rename();
    if (err == 0)
        return {};
    if (leftOutIfRefused(err, targetFd, temporary.c_str(), targetPathOf(name))) {
        (void)::unlinkat(targetFd, temporary.c_str(), 0);
        return {};
    }
    if (err == EISDIR || err == ENOTEMPTY || (m_overwrite && err == EEXIST))
        return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (a folder is in the way)",
                       targetPathOf(name));
    return errorFromErrno(err, targetPathOf(name));
}

// Whether err, from giving an entry its name path in the folder dirFd,
// says the destination cannot hold that name; if so the entry is left out,
// to be named when the run fails after copying the rest. exfat-fuse answers
// ENOENT for characters FAT names lack (":", a newline), so that counts
// where the folder is still there and so is the temporary being renamed.
bool CopyEngine::leftOutIfRefused(int err, int dirFd, const char *temporary, const std::string &path)
{
    struct stat st;
    const bool refused = refusesName(err)
                         || (err == ENOENT && ::fstat(dirFd, &st) == 0 && st.st_nlink > 0
                             && (!temporary || exists(dirFd, temporary)));
    if (refused)
        m_leftOut.push_back(path);
    return refused;
}

// Where the destination folds case, names of a source folder that fold
// together would land on one entry, the later replacing or taking for its
// own copy the earlier: the first in name order is copied, the others are
// left out and named like refused names. The destination is asked only
// once a source holds such names. The walk stands in the top folder's
// destination. The plan's totals lose what is left out.
void CopyEngine::leaveOutCaseTwins(FolderPlan &plan)
{
    PlannedFolder &top = plan.root;
    auto uncount = [&](const PlannedFile &file) {
        --plan.files;
        plan.bytes -= file.size;
    };
    auto uncountFolder = [&](PlannedFolder &folder) {
        forEachFolder(folder, [&](const PlannedFolder &sub) {
            for (const PlannedFile &file : sub.files)
                uncount(file);
        });
    };
    std::string path = m_targetPath;
    std::optional<bool> folds;
    std::vector<std::tuple<std::string, const std::string *, bool, size_t>> keys; // folded, name, folder, index
    std::vector<bool> twinFiles;
    std::vector<bool> twinFolders;
    // Leaves out the twins among the entries of folder; false where the
    // destination keeps them apart.
    auto prune = [&](PlannedFolder &folder) {
        keys.clear();
        for (size_t i = 0; i < folder.files.size(); ++i)
            keys.emplace_back(foldedCase(folder.files[i].name), &folder.files[i].name, false, i);
        for (size_t i = 0; i < folder.folders.size(); ++i)
            keys.emplace_back(foldedCase(folder.folders[i].name), &folder.folders[i].name, true, i);
        std::sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) {
            return std::get<0>(a) != std::get<0>(b) ? std::get<0>(a) < std::get<0>(b) : *std::get<1>(a) < *std::get<1>(b);
        });
        twinFiles.assign(folder.files.size(), false);
        twinFolders.assign(folder.folders.size(), false);
        for (size_t i = 1; i < keys.size(); ++i)
            if (std::get<0>(keys[i]) == std::get<0>(keys[i - 1])) {
                if (!folds) {
                    struct stat st;
                    folds = ::fstat(m_target.fd(), &st) == 0 && keepingOf(m_target.fd(), st.st_dev).foldsCase;
                }
                if (!*folds)
                    return false;
                const size_t at = std::get<3>(keys[i]);
                if (std::get<2>(keys[i]))
                    uncountFolder(folder.folders[at]);
                else
                    uncount(folder.files[at]);
                (std::get<2>(keys[i]) ? twinFolders : twinFiles)[at] = true;
                m_leftOut.push_back(path + '/' + *std::get<1>(keys[i]));
            }
        size_t at = 0;
        std::erase_if(folder.files, [&](const PlannedFile &) { return twinFiles[at++]; });
        at = 0;
        std::erase_if(folder.folders, [&](const PlannedFolder &) { return twinFolders[at++]; });
        return true;
    };
    auto down = [&](PlannedFolder &sub) -> Result<bool> {
        if (folds == false)
            return false;
        path += '/';
        path += sub.name;
        return prune(sub);
    };
    auto up = [&](PlannedFolder &) -> Result<void> {
        path.resize(path.rfind('/'));
        return {};
    };
    if (prune(top))
        (void)walkFolders(top, down, up); // neither step fails
}

// A destination folder moved or renamed while the copy worked in it: the
// copy is not where it should be, whatever was written.
Error CopyEngine::folderMoved() const
{
    return errorAt(ErrorNumber::PathFileAccess, "Path/File access error (folder moved during the copy)",
                   m_targetPath);
}

// The run's end where names were left out: a failure naming them, never
// a success.
Result<void> CopyEngine::leftOutError() const
{
    if (m_leftOut.empty())
        return {};
    return namedError(QStringLiteral("Path/File access error (left out: entries the source would not let be read or that changed while copied, or the destination cannot hold)"),
                      m_leftOut);
}

Error namedError(const QString &what, const std::vector<std::string> &paths)
{
    std::string names;
    for (const std::string &path : paths)
        names += (names.empty() ? "" : "; ") + path;
    return errorAt(ErrorNumber::PathFileAccess, what, names);
}

// After a stop, in the destination folder the walk stands in: the folders
// made for top and not filled go when they hold nothing, the others get
// their own bits; folders made ahead and never reached go.
void CopyEngine::tidy(PlannedFolder &top)
{
    auto down = [&](PlannedFolder &sub) -> Result<bool> {
        if (!sub.aheadName.empty()) {
            (void)removeTree(sub.aheadName);
            return false;
        }
        struct stat st;
        return !sub.filled && m_target.enter(sub.name, st) == 0;
    };
    auto up = [&](PlannedFolder &sub) -> Result<void> {
        if (sub.created)
            (void)::fchmod(m_target.fd(), sub.mode & 07777);
        else if (sub.foundBits)
            (void)::fchmod(m_target.fd(), *sub.foundBits);
        if (m_target.leave() == 0 && sub.created)
            (void)::unlinkat(m_target.fd(), sub.name.c_str(), AT_REMOVEDIR); // only when empty
        return {};
    };
    if (*down(top)) {
        (void)walkFolders(top, down, up); // neither step fails
        (void)up(top);
    }
}

// Removes the copy temporaries in the destination folder of folder, where
// the walk stands: those found there while the tree was read, or else
// those there now. Folders among them hold only more.
void CopyEngine::removeTemporaries(const PlannedFolder &folder)
{
    const std::vector<std::string> names =
        folder.leftovers ? *folder.leftovers : copyTemporariesIn(m_target.fd(), folder);
    for (const std::string &name : names)
        if (::unlinkat(m_target.fd(), name.c_str(), 0) != 0 && errno == EISDIR)
            (void)removeTree(name);
}

// Removes the folder name, in the destination folder the walk stands in,
// with all it holds; 0, or the errno of what could not be removed. bytes,
// when given, grows by the sizes of the files removed.
int CopyEngine::removeTree(const std::string &name, qint64 *bytes)
{
    return ::removeTree(m_target, name, bytes);
}

// In overwrite mode a regular file standing where the source now has a
// folder is this program's copy of what the source held: it goes, for the
// folder to take its place. Not the destination itself (the user's), and
// never a link.
bool CopyEngine::removedFileInTheWay(int err, const std::string &name)
{
    struct stat st;
    // The walk has stepped down to the folder's path already.
    return m_overwrite && (err == ENOTDIR || err == ELOOP) && !m_target.atStart()
           && ::fstatat(m_target.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
           && clearWay(m_target.fd(), name, m_targetPath, Way::RemoveFile, st.st_size) == 0;
}

// The one place where the copy destroys what the destination holds: the
// entry name of the folder dirFd, at path, in the way of the copy's own.
// Kept as a version where versions are kept; else (or where it cannot be)
// removed now, or (Replace) left for the rename that follows to replace. A
// folder is the destination walk's, in the folder it stands in.
// 0, or the errno of what could not be removed.
int CopyEngine::clearWay(int dirFd, const std::string &name, const std::string &path, Way way, qint64 bytes)
{
    if (m_versions) {
        const int err = m_versions->keep(dirFd, name, path.substr(m_copyPath.size() + 1));
        if (err == 0)
            return 0;
        if (err != ENOENT) // ENOENT: gone meanwhile, nothing to keep
            m_notKept << displayPath(path) + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err))
                             + QLatin1Char(')');
    }
    switch (way) {
    case Way::Replace:
        break;
    case Way::RemoveFile:
        if (::unlinkat(dirFd, name.c_str(), 0) != 0)
            return errno;
        break;
    case Way::RemoveFolder:
        return removeTree(name, &m_bytesRemoved);
    }
    m_bytesRemoved += bytes;
    return 0;
}

CopyCounts CopyEngine::counts() const
{
    const qint64 versionsRemoved = m_versions ? m_versions->bytesRemoved() : 0;
    return {.bytesAdded = m_bytesWritten - m_bytesRemoved - versionsRemoved, .notKept = m_notKept, .throughCache = {}};
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

// 0, or the errno of a rename that never replaces what stands at to (path).
int CopyEngine::renameNoReplace(int dirFd, const std::string &from, const std::string &to,
                                const std::string &path) const
{
    int err = fault(WriteFaults::Step::RenameNoReplace, path);
    if (err == 0)
        err = ::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    if (err != EINVAL) // a file system without no-replace renames
        return err;
    if (exists(dirFd, to))
        return EEXIST;
    return ::renameat(dirFd, from.c_str(), dirFd, to.c_str()) == 0 ? 0 : errno;
}

void CopyEngine::setTimes(int fd, struct timespec accessed, struct timespec modified,
                          const std::string &name) const
{
    if (m_faults && m_faults->keepsWholeSeconds(targetPathOf(name)))
        accessed.tv_nsec = modified.tv_nsec = 0;
    const struct timespec times[2] = {accessed, modified};
    (void)::futimens(fd, times);
}

const CopyEngine::Keeping &CopyEngine::keepingOf(int targetFd, dev_t device)
{
    auto known = m_keeping.find(device);
    // Probed in the copied folder where it is on that drive, whose time is
    // put back at the end: the folders below stay as they were.
    if (known == m_keeping.end())
        known = m_keeping.emplace(device, learnKeeping(device == m_topDevice && m_top.valid() ? m_top.get() : targetFd)).first;
    return known->second;
}

// The file system's name cannot tell how exactly it keeps times: a
// "fuseblk" mount may be exFAT (whole seconds through exfat-fuse) or NTFS
// (100 ns), the kernel's exFAT keeps 10 ms, FAT 2 s, ext4, btrfs and xfs
// nanoseconds, and a mount or driver can differ from what its format could
// hold. So a probe file is given a time with nanoseconds and bits, and
// what it reads back is what this destination keeps. Where the probe cannot
// be written, times are compared exactly: a copy too many, never one left out.
CopyEngine::Keeping CopyEngine::learnKeeping(int targetFd)
{
    Keeping keeping;
    // The kernel's FAT tells its limit by the file system's kind.
    if (const long bits = ::fpathconf(targetFd, _PC_FILESIZEBITS); bits > 0 && bits < 64)
        keeping.largestFile = (qint64(1) << bits) - 1;
    Fd probe;
    const Result<std::string> temporary = createTemporary(WriteFaults::Step::CreateFile, m_targetPath, [&](const char *name) {
        probe = Fd(::openat(targetFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        return probe.valid() ? 0 : errno;
    });
    if (!temporary)
        return keeping;
    // An odd second and the last nanosecond of it tell each step apart.
    constexpr struct timespec given = {1'000'000'001, 999'999'999};
    constexpr mode_t givenBits = 0640;
    (void)::fchmod(probe.get(), givenBits);
    setTimes(probe.get(), given, given, *temporary);
    struct stat st;
    if (::fstat(probe.get(), &st) == 0) {
        keeping.bits = (st.st_mode & 07777) == givenBits;
        std::string upper = *temporary; // ".txtmp-" and lower-case hex digits
        for (char &c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        // exfat-fuse numbers each name it is asked for anew: the probe is
        // known by its time, which no other file bears by chance.
        struct stat same;
        keeping.foldsCase = ::fstatat(targetFd, upper.c_str(), &same, AT_SYMLINK_NOFOLLOW) == 0
                            && S_ISREG(same.st_mode) && sameInstant(same.st_mtim, st.st_mtim);
        // The drivers cut the time down to their step; one that does
        // something else is compared exactly.
        for (const qint64 step : {qint64(1), qint64(100), qint64(1'000), qint64(1'000'000),
                                  qint64(10'000'000), NanosecondsPerSecond, 2 * NanosecondsPerSecond})
            if (sameInstant(st.st_mtim, storedAs(given, step))) {
                keeping.timeStep = step;
                break;
            }
    }
    probe.close();
    (void)::unlinkat(targetFd, temporary->c_str(), 0);
    return keeping;
}

int CopyEngine::fault(WriteFaults::Step step, const std::string &path) const
{
    return m_faults ? m_faults->failure(step, path) : 0;
}
