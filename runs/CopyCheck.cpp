#include "runs/CopyCheck.h"

#include "core/PosixIo.h"
#include "runs/CopyEngine.h"
#include "runs/FolderWalk.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Large reads keep the device streaming; three of them (the source's and
// two of the copy's) are all the memory the check takes.
constexpr size_t Chunk = 4 * 1024 * 1024;
// Direct reads want buffers, offsets and lengths on the device's block
// size, which is at most this on the devices a copy goes to.
constexpr size_t DirectAlign = 4096;
constexpr size_t HugePage = 2 * 1024 * 1024;
// Files below this size are read back several at a time where the device
// serves several requests at once; a larger one keeps the device busy alone.
// Each file in flight holds two buffers of this size: 32 MiB at most for
// 64 (at 1 MiB, 300 files of 1,000 KB peaked at 137 MB against 14 MB one
// at a time).
constexpr qint64 SmallFile = 256 * 1024;
// As many in flight as a device with a queue needs to serve them side by
// side: on a virtual disk the cold read-back of 20,000 small files took
// 0.87 of a cold cat of them one at a time, 0.39 at 32, 0.33 at 64.
constexpr size_t ParallelWidth = 64;

using Buffer = std::unique_ptr<char, decltype(&std::free)>;
// On huge pages a direct read goes to the device in a few large requests
// instead of one per 4 KiB page, which is what lets it keep up with the
// kernel's own read-ahead.
Buffer chunkBuffer(size_t size)
{
    char *data = static_cast<char *>(std::aligned_alloc(size == Chunk ? HugePage : DirectAlign, size));
    if (data && size == Chunk)
        (void)::madvise(data, Chunk, MADV_HUGEPAGE);
    return Buffer(data, &std::free);
}

const Error Stopped{ErrorNumber::UserInterrupt, QStringLiteral("Stopped by the user")};

struct Chunked {
    ssize_t got = 0; // fewer than asked only at the end of the file; -1 on an error
    int error = 0;
};

// Reads up to size bytes at offset, however many calls that takes.
Chunked readFull(int fd, char *data, size_t size, off_t offset)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, offset + off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {-1, errno};
        if (n == 0)
            break;
        got += size_t(n);
    }
    return {ssize_t(got), 0};
}

// The copy as the check reads it: straight from the device into the
// check's own buffer where the file system allows (no page cache between,
// and no fresh cache pages to fill), else through the cache, whose pages
// for the file are dropped first.
class CopyFile {
public:
    // The file name in the folder dirFd; path only says which it is.
    CopyFile(int dirFd, const char *name, const std::string &path, const WriteFaults *faults)
    {
        constexpr int Flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        const int refused = faults ? faults->failure(WriteFaults::Step::DirectRead, path) : 0;
        if (!refused)
            m_fd = Fd(::openat(dirFd, name, Flags | O_DIRECT));
        m_direct = m_fd.valid();
        if (refused || (!m_direct && errno == EINVAL))
            m_fd = Fd(::openat(dirFd, name, Flags));
    }

    bool valid() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }

    // Called once the file is known to be the regular file written.
    void prepare()
    {
        if (!m_direct)
            throughCache();
    }

    Chunked read(char *data, size_t size, off_t offset)
    {
        if (m_direct) {
            // A direct read asks for whole blocks; past the end it just
            // returns less.
            const Chunked read = readFull(m_fd.get(), data, (size + DirectAlign - 1) / DirectAlign * DirectAlign, offset);
            if (read.got >= 0 || read.error != EINVAL)
                return {std::min(read.got, ssize_t(size)), read.error};
            // Blocks larger than thought: the cache's way is left.
            (void)::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_DIRECT);
            m_direct = false;
            throughCache();
        }
        return readFull(m_fd.get(), data, size, offset);
    }

private:
    // The flush left the copy's pages clean, so they can be dropped: what
    // is read next comes from the device, not from what this program wrote
    // a moment ago.
    void throughCache()
    {
        (void)::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_DONTNEED);
        (void)::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }

    Fd m_fd;
    bool m_direct = false;
};

// Reads the copy a chunk at a time on a thread of its own, so that its
// next chunk comes in while the source's is read and compared: the check
// then takes about one read of the copy, not the sum of all three steps.
class ChunkReader {
public:
    ~ChunkReader()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // Starts reading; the caller keeps file and data until result() has
    // returned. False where no thread can be had: the caller reads itself.
    bool start(CopyFile &file, char *data, size_t size, off_t offset)
    {
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { serve(); });
            } catch (const std::system_error &) {
                return false;
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            m_job = Job{&file, data, size, offset};
            m_busy = true;
        }
        m_changed.notify_all();
        return true;
    }

    // What the read started last gave.
    Chunked result()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_busy; });
        return m_read;
    }

    // Waits for a read still under way, wherever the comparison ends.
    class Outstanding {
    public:
        explicit Outstanding(ChunkReader &reader) : m_reader(reader) {}
        ~Outstanding() { (void)m_reader.result(); }
        Outstanding(const Outstanding &) = delete;
        Outstanding &operator=(const Outstanding &) = delete;

    private:
        ChunkReader &m_reader;
    };

private:
    struct Job {
        CopyFile *file = nullptr;
        char *data = nullptr;
        size_t size = 0;
        off_t offset = 0;
    };

    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || m_busy; });
            if (m_quit)
                return;
            const Job job = m_job;
            lock.unlock();
            const Chunked read = job.file->read(job.data, job.size, job.offset);
            lock.lock();
            m_read = read;
            m_busy = false;
            m_changed.notify_all();
        }
    }

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Job m_job;
    bool m_busy = false;
    bool m_quit = false;
    Chunked m_read;
};

// Where the data of the file fd continues at or after from, on a block
// boundary; size where only a hole follows, from where it cannot be told.
qint64 dataFrom(int fd, qint64 from, qint64 size)
{
    const off_t data = ::lseek(fd, off_t(from), SEEK_DATA);
    if (data < 0)
        return errno == ENXIO ? size : from;
    return qint64(data) / qint64(DirectAlign) * qint64(DirectAlign);
}

// Where the data of the file fd that holds from ends, on a block boundary;
// size where it cannot be told.
qint64 dataUntil(int fd, qint64 from, qint64 size)
{
    const off_t hole = ::lseek(fd, off_t(from), SEEK_HOLE);
    if (hole < 0)
        return size;
    return (qint64(hole) + qint64(DirectAlign) - 1) / qint64(DirectAlign) * qint64(DirectAlign);
}

// A file system in a FUSE daemon over a block device (exfat-fuse, ntfs-3g,
// fuse2fs) takes a direct open, but the daemon reads the device through
// the system's cache, which still holds what it wrote. Its clean pages can
// be dropped by whoever can open the device; otherwise the read-back is
// only as good as the cache, and the run log says so. Once per device.
class DeviceCaches {
public:
    // True where reads of files on device reach the device; deviceName
    // receives the device the cache of which stays between.
    bool passed(dev_t device, std::string &deviceName)
    {
        const std::lock_guard lock(m_mutex);
        const auto known = m_devices.find(device);
        if (known != m_devices.end()) {
            deviceName = known->second;
            return deviceName.empty();
        }
        deviceName = fuseDevice(device);
        if (!deviceName.empty()) {
            const Fd opened(::open(deviceName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            // The flush left its pages clean; dropped, they come from the device.
            if (opened.valid() && ::fdatasync(opened.get()) == 0
                && ::posix_fadvise(opened.get(), 0, 0, POSIX_FADV_DONTNEED) == 0)
                deviceName.clear();
        }
        m_devices.emplace(device, deviceName);
        return deviceName.empty();
    }

private:
    // The block device a FUSE file system on device reads, from the
    // system's mount table; empty for any other file system.
    static std::string fuseDevice(dev_t device)
    {
        const MountSource mount = mountOf(device);
        struct stat st;
        if (mount.type.startsWith("fuse") && ::stat(mount.source.constData(), &st) == 0 && S_ISBLK(st.st_mode))
            return mount.source.toStdString();
        return {};
    }

    std::mutex m_mutex; // files are checked on several threads
    std::map<dev_t, std::string> m_devices; // and the device whose cache stays between, if any
};

// Where an entry lies on both sides: a folder open, and the name in it.
struct Where {
    int sourceDir = AT_FDCWD;
    int destinationDir = AT_FDCWD;
    const char *sourceName = nullptr;
    const char *destinationName = nullptr;
};

// The folders of the entry being read back, open on both sides. They are
// reached from the copy's roots a name at a time, never through a link, so
// that a link swapped in for a folder since the copy leads nowhere, and no
// path is too long to read back; the walks go up and down from the last
// entry's folders as the copy did.
class EntryFolders {
public:
    EntryFolders(const WrittenEntries &written, const CopyRoots *roots) : m_written(written), m_roots(roots) {}

    // 0, or the errno of a folder on the way that cannot be entered, and
    // whether it failed on the source's side.
    int reach(std::uint32_t folder, bool &onSource)
    {
        std::vector<std::uint32_t> down; // the folders to enter, the deepest first
        std::uint32_t at = folder;
        while (!onChain(at) && m_written.parentOf(at) != WrittenEntries::NoFolder) {
            down.push_back(at);
            at = m_written.parentOf(at);
        }
        if (!onChain(at)) {
            m_chain.clear();
            const std::string &sourceRoot = m_written.rootSource(at);
            const std::string &destinationRoot = m_written.rootDestination(at);
            const bool held = m_roots && m_roots->source == sourceRoot && m_roots->destination == destinationRoot
                              && m_roots->sourceFd.valid() && m_roots->destinationFd.valid();
            m_sourceRoot = Fd(held ? ::fcntl(m_roots->sourceFd.get(), F_DUPFD_CLOEXEC, 0)
                                   : ::open(sourceRoot.empty() ? "/" : sourceRoot.c_str(), OpenFolderFlags));
            onSource = true;
            if (!m_sourceRoot.valid())
                return errno;
            m_destinationRoot = Fd(held ? ::fcntl(m_roots->destinationFd.get(), F_DUPFD_CLOEXEC, 0)
                                        : ::open(destinationRoot.c_str(), OpenFolderFlags));
            onSource = false;
            if (!m_destinationRoot.valid())
                return errno;
            m_source = FolderWalk(m_sourceRoot.get());
            m_destination = FolderWalk(m_destinationRoot.get());
            m_chain.push_back(at);
        }
        while (m_chain.back() != at) {
            m_chain.pop_back();
            if (const int err = leave(onSource))
                return err;
        }
        for (auto level = down.rbegin(); level != down.rend(); ++level) {
            const std::string &name = m_written.folderName(*level);
            struct stat st;
            onSource = true;
            int err = m_source.enter(name, st);
            if (err == 0) {
                onSource = false;
                if ((err = m_destination.enter(name, st)) != 0)
                    (void)m_source.leave();
            }
            if (err != 0) {
                m_chain.clear(); // the next entry starts from the roots
                return err;
            }
            m_chain.push_back(*level);
        }
        return 0;
    }

    int sourceFd() const { return m_source.fd(); }
    int destinationFd() const { return m_destination.fd(); }

private:
    bool onChain(std::uint32_t folder) const
    {
        const std::uint32_t depth = m_written.depthOf(folder);
        return depth < m_chain.size() && m_chain[depth] == folder;
    }
    int leave(bool &onSource)
    {
        onSource = true;
        int err = m_source.leave();
        const int there = m_destination.leave();
        if (err == 0 && there != 0) {
            onSource = false;
            err = there;
        }
        if (err != 0)
            m_chain.clear();
        return err;
    }

    const WrittenEntries &m_written;
    const CopyRoots *const m_roots;
    Fd m_sourceRoot;
    Fd m_destinationRoot;
    FolderWalk m_source;
    FolderWalk m_destination;
    std::vector<std::uint32_t> m_chain; // the folders open, from the root down
};

// The entry being read back, and its paths for the messages, built when needed.
class AtEntry {
protected:
    explicit AtEntry(const WrittenEntries &written) : m_written(written) {}

    std::string source() const { return m_written[m_at].source; }
    std::string destination() const { return m_written[m_at].destination; }
    Error failedHere(int err) const { return errorFromErrno(err, destination()); }
    Error failedAtSource(int err) const { return errorFromErrno(err, source(), Side::Source); }

    const WrittenEntries &m_written;
    size_t m_at = 0;
};

// What checking a file found besides its result, for the walking thread
// to pass on where the file was checked on another.
struct Checked {
    Result<void> result;
    qint64 bytes = 0; // read, and not told to the observer yet
    bool sourceChanged = false;
    std::string cacheDevice; // whose cache the copy was read through, if any
};

// Checks written files one at a time against their sources: on the walking
// thread, telling the observer as it goes, or without an observer on a
// thread of its own, keeping in the Checked what it would have told.
class FileCheck : AtEntry {
public:
    // chunk: how much of a file is read at a time, and held three times.
    FileCheck(const WrittenEntries &written, const WriteFaults *faults, DeviceCaches &caches, size_t chunk,
              CopyObserver *observer)
        : AtEntry(written), m_faults(faults), m_caches(caches), m_chunk(chunk), m_observer(observer),
          m_source(chunkBuffer(chunk)), m_copy{chunkBuffer(chunk), chunkBuffer(chunk)}
    {
        if (!m_source || !m_copy[0] || !m_copy[1])
            throw std::bad_alloc();
    }

    // The file entry at at, found by its names in the folders of where.
    Checked check(size_t at, const Where &where, const WrittenEntry &entry)
    {
        m_at = at;
        m_where = where;
        m_checked = Checked{};
        m_checked.result = file(entry);
        return std::move(m_checked);
    }

private:
    Result<void> file(const WrittenEntry &entry)
    {
        const std::string path = destination();
        if (m_observer)
            m_observer->fileStarted(displayPath(path));
        CopyFile copy(m_where.destinationDir, m_where.destinationName, path, m_faults);
        if (!copy.valid())
            return failedHere(errno);
        bool asCopied = false;
        Result<void> compared = compare(entry, copy, asCopied);
        // Read back right: from now on a repeat may take it as current.
        // The time goes on the very file that was read.
        if (compared && asCopied) {
            if (const int err = setModifiedTime(copy.fd(), entry.modified))
                return failedHere(err);
        }
        return compared;
    }

    // asCopied: the copy read back equal to a source still as it was copied.
    Result<void> compare(const WrittenEntry &entry, CopyFile &copy, bool &asCopied)
    {
        struct stat there;
        if (::fstat(copy.fd(), &there) != 0)
            return failedHere(errno);
        if (!S_ISREG(there.st_mode))
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back is no file"), destination());
        std::string deviceName;
        if (!m_caches.passed(there.st_dev, deviceName))
            m_checked.cacheDevice = deviceName;
        const int follow = entry.sourceIsLink ? 0 : O_NOFOLLOW;
        Fd sourceFile(::openat(m_where.sourceDir, m_where.sourceName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow));
        if (!sourceFile.valid() && changedKind(errno))
            return sourceChanged(entry.size);
        struct stat here;
        if (!sourceFile.valid() || ::fstat(sourceFile.get(), &here) != 0)
            return failedAtSource(errno);
        if (!stillAsCopied(here, entry))
            return sourceChanged(entry.size);
        if (there.st_size != entry.size)
            return errorAt(ErrorNumber::DeviceIO,
                           QStringLiteral("Read back is %1 bytes, not %2").arg(there.st_size).arg(entry.size),
                           destination());
        copy.prepare();
        (void)::posix_fadvise(sourceFile.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        if (const int err = m_faults ? m_faults->failure(WriteFaults::Step::ReadBack, destination()) : 0)
            return errorFromErrno(err, destination());
        // Ranges that are holes on both sides read as zeros on both: a
        // sparse file is read only where it holds data.
        const bool sparse = qint64(here.st_blocks) * 512 < entry.size || qint64(there.st_blocks) * 512 < entry.size;
        auto nextData = [&](qint64 from) {
            return sparse ? std::max(from, std::min(dataFrom(sourceFile.get(), from, entry.size),
                                                    dataFrom(copy.fd(), from, entry.size)))
                          : from;
        };
        // A read ends where both sides' data ends: 4 KiB of data before a
        // hole is not read as a whole chunk.
        auto wantAt = [&](qint64 from) {
            const qint64 end = sparse ? std::max(dataUntil(sourceFile.get(), from, entry.size),
                                                 dataUntil(copy.fd(), from, entry.size))
                                      : entry.size;
            return size_t(std::min({qint64(m_chunk), entry.size - from, std::max(end - from, qint64(DirectAlign))}));
        };
        qint64 offset = nextData(0);
        done(offset);
        // A file of one chunk is read in line: handing it over would cost
        // more than it overlaps.
        const ChunkReader::Outstanding outstanding(m_reader);
        const bool ahead = entry.size - offset > qint64(m_chunk) && m_reader.start(copy, m_copy[0].get(), wantAt(offset), offset);
        size_t current = 0;
        for (; offset < entry.size; current ^= 1) {
            const size_t want = wantAt(offset);
            const Chunked fromSource = readFull(sourceFile.get(), m_source.get(), want, offset);
            const Chunked fromCopy = ahead ? m_reader.result() : copy.read(m_copy[current].get(), want, offset);
            if (fromSource.got < 0)
                return failedAtSource(fromSource.error);
            if (fromCopy.got < 0)
                return errorFromErrno(fromCopy.error, destination());
            const qint64 next = nextData(offset + qint64(want));
            if (ahead && next < entry.size)
                (void)m_reader.start(copy, m_copy[current ^ 1].get(), wantAt(next), next);
            const char *const copied = m_copy[current].get();
            const char *const original = m_source.get();
            const size_t both = size_t(std::min(fromSource.got, fromCopy.got));
            if (std::memcmp(original, copied, both) != 0 || fromCopy.got != fromSource.got
                || size_t(fromCopy.got) != want) {
                // A source written to while it is read back is no fault of the device.
                if (::fstat(sourceFile.get(), &here) != 0 || !stillAsCopied(here, entry))
                    return sourceChanged(entry.size - offset);
                size_t at = 0;
                while (at < both && original[at] == copied[at])
                    ++at;
                return errorAt(ErrorNumber::DeviceIO,
                               QStringLiteral("Read back differs from the source at byte %1").arg(offset + qint64(at)),
                               destination());
            }
            done(next - offset);
            offset = next;
            if (offset < entry.size && m_observer && m_observer->stopRequested())
                return Stopped;
        }
        asCopied = true;
        return {};
    }

    // Whether the source is still the file that was copied: a rewrite that
    // put its old time back still moved its change time.
    static bool stillAsCopied(const struct stat &here, const WrittenEntry &entry)
    {
        return S_ISREG(here.st_mode) && here.st_size == entry.size && sameInstant(here.st_mtim, entry.modified)
               && sameInstant(here.st_ctim, entry.changed);
    }

    // Changed or gone since the copy took it: there is nothing to hold the
    // copy against. It keeps its unchecked time, so the next run copies it
    // again, and this one names it.
    Result<void> sourceChanged(qint64 unread)
    {
        done(unread);
        m_checked.sourceChanged = true;
        return {};
    }

    void done(qint64 bytes)
    {
        if (bytes <= 0)
            return;
        if (m_observer)
            m_observer->bytesCopied(bytes);
        else
            m_checked.bytes += bytes;
    }

    const WriteFaults *const m_faults;
    DeviceCaches &m_caches;
    const size_t m_chunk;
    CopyObserver *const m_observer;
    Where m_where;
    Checked m_checked;
    Buffer m_source;
    std::array<Buffer, 2> m_copy;
    ChunkReader m_reader;
};

} // namespace

size_t readBackWidthOf(const std::string &device, int depth)
{
    std::string disk = device;
    // A partition has no queue of its own; its disk, one folder up, has.
    if (::access((disk + "/queue").c_str(), F_OK) != 0)
        disk.resize(disk.rfind('/'));
    const auto told = [&disk](const char *name) {
        QFile file(QString::fromStdString(disk + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    };
    if (told("/removable") == "1" || told("/device/queue_depth") == "1" || disk.find("/usb") != std::string::npos
        || disk.find("/mmc_host/") != std::string::npos)
        return 1;
    // An encrypted or pooled device (device mapper, RAID) serves as its
    // disks below do: a stick under it still takes one request at a time.
    const QDir below(QString::fromStdString(disk + "/slaves"));
    for (const QFileInfo &slave : below.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        if (depth >= 8 || readBackWidthOf(slave.canonicalFilePath().toStdString(), depth + 1) == 1)
            return 1;
    return ParallelWidth;
}

namespace {

// Each file in flight holds four descriptors (its two folders, its two
// files). Past the process's limit a file could not be opened, and the
// check would blame the device: the files in flight take at most half of
// the descriptors the limit leaves.
size_t withinDescriptors(size_t width)
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return width;
    const rlim_t open = QDir(QStringLiteral("/proc/self/fd")).count();
    const rlim_t spare = limit.rlim_cur > open ? (limit.rlim_cur - open) / 2 / 4 : 0;
    return size_t(std::clamp<rlim_t>(spare, 1, width));
}

// How many small files to read back at once from the device holding the
// folder fd, as readBackWidthOf tells of it; one where there is no
// block device (a network or FUSE file system). TANDEMIX_READBACK_WIDTH,
// where set, decides instead.
size_t readBackWidth(int fd)
{
    bool forced = false;
    const int width = qEnvironmentVariableIntValue("TANDEMIX_READBACK_WIDTH", &forced);
    if (forced)
        return withinDescriptors(size_t(std::clamp(width, 1, 64)));
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return 1;
    const std::string number = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ':' + std::to_string(minor(st.st_dev));
    char *const resolved = ::realpath(number.c_str(), nullptr);
    if (!resolved)
        return 1;
    const std::string device(resolved);
    std::free(resolved);
    return withinDescriptors(readBackWidthOf(device));
}

// Checks small files on threads of its own, one file a thread at a time.
// Each file's two folders are held open for it: with the two files the
// check opens, four descriptors a thread at most. Results are taken in
// the order the files were given.
class FilePool {
public:
    struct Job {
        size_t at = 0;
        Fd sourceDir;
        Fd destinationDir;
        const char *name = nullptr;
        WrittenEntry entry;
        Checked checked;
        bool done = false;
    };

    FilePool(size_t width, const WrittenEntries &written, const WriteFaults *faults, DeviceCaches &caches)
    {
        for (size_t i = 0; i < width; ++i)
            m_checks.push_back(std::make_unique<FileCheck>(written, faults, caches, size_t(SmallFile), nullptr));
        m_threads.reserve(width);
        for (const std::unique_ptr<FileCheck> &check : m_checks) {
            try {
                m_threads.emplace_back([this, &check] { serve(*check); });
            } catch (const std::system_error &) {
                break; // fewer threads, or none: the walk checks in line
            }
        }
    }
    ~FilePool()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_given.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }
    FilePool(const FilePool &) = delete;
    FilePool &operator=(const FilePool &) = delete;

    size_t width() const { return m_threads.size(); }
    bool full() const { return m_jobs.size() >= m_threads.size(); }
    bool empty() const { return m_jobs.empty(); }

    // Hands over the file entry at at, the name in the two folders; false
    // where they cannot be held open for it.
    bool add(size_t at, int sourceDir, int destinationDir, const char *name, const WrittenEntry &entry)
    {
        auto job = std::make_unique<Job>();
        job->sourceDir = Fd(::fcntl(sourceDir, F_DUPFD_CLOEXEC, 0));
        job->destinationDir = Fd(::fcntl(destinationDir, F_DUPFD_CLOEXEC, 0));
        if (!job->sourceDir.valid() || !job->destinationDir.valid())
            return false;
        job->at = at;
        job->name = name;
        job->entry = entry;
        {
            const std::lock_guard lock(m_mutex);
            m_waiting.push_back(job.get());
        }
        m_jobs.push_back(std::move(job));
        m_given.notify_one();
        return true;
    }

    // The file handed over first of those not taken yet, once checked.
    std::unique_ptr<Job> takeFirst()
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_jobs.front()->done; });
        std::unique_ptr<Job> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        return job;
    }

private:
    void serve(FileCheck &check)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_given.wait(lock, [this] { return m_quit || !m_waiting.empty(); });
            if (m_quit)
                return;
            Job *const job = m_waiting.front();
            m_waiting.pop_front();
            lock.unlock();
            Checked checked = check.check(job->at, {job->sourceDir.get(), job->destinationDir.get(), job->name, job->name},
                                          job->entry);
            lock.lock();
            job->checked = std::move(checked);
            job->done = true;
            m_finished.notify_one();
        }
    }

    std::vector<std::unique_ptr<FileCheck>> m_checks; // one for each thread
    std::deque<std::unique_ptr<Job>> m_jobs;          // in the walk's order, kept by the walking thread
    std::mutex m_mutex;
    std::condition_variable m_given;
    std::condition_variable m_finished;
    std::deque<Job *> m_waiting; // not started yet
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

// Walks the record checking every entry, also after a failure. Small files
// go to the pool where the device gains from several reads at once; the
// walk takes their results back in its own order before any other entry,
// so the observer hears of files, and failures count, as in a walk one at
// a time.
class ReadBack : AtEntry {
public:
    ReadBack(const WrittenEntries &written, const CopyRoots *roots, CopyObserver *observer, const WriteFaults *faults)
        : AtEntry(written), m_folders(written, roots), m_observer(observer), m_faults(faults),
          m_inLine(written, faults, m_caches, Chunk, observer)
    {
    }

    // The sources that changed after they were copied.
    std::vector<std::string> changedSources;
    // The first failure in the walk's order, and how many entries failed.
    std::optional<Error> first;
    qint64 failed = 0;

    // False where the user stopped it: what is left keeps its unchecked times.
    bool walk()
    {
        for (size_t at = 0; at < m_written.size(); ++at) {
            if (m_observer && m_observer->stopRequested()) {
                takeAll();
                return false;
            }
            if (handedOver(at))
                continue;
            takeAll();
            const Result<void> checked = entry(at);
            if (!checked && checked.error().number == ErrorNumber::UserInterrupt)
                return false;
            count(checked);
        }
        takeAll();
        return true;
    }

private:
    Result<void> entry(size_t at)
    {
        m_at = at;
        const WrittenEntry entry = m_written.withoutPaths(at);
        const std::string &name = m_written.nameOf(at);
        if (name.empty()) {
            // Found by its whole paths, which the record keeps in its folder.
            m_wholePaths = m_written[at];
            m_where = {AT_FDCWD, AT_FDCWD, m_wholePaths.source.c_str(), m_wholePaths.destination.c_str()};
        } else {
            bool onSource = false;
            if (const int err = m_folders.reach(m_written.folderOf(at), onSource)) {
                if (onSource && changedKind(err))
                    return settle(at, {{}, entry.size, true, {}});
                return onSource ? errorFromErrno(err, source(), Side::Source) : errorFromErrno(err, destination());
            }
            m_where = {m_folders.sourceFd(), m_folders.destinationFd(), name.c_str(), name.c_str()};
        }
        switch (entry.kind) {
        case WrittenEntry::Kind::File:
            return settle(at, m_inLine.check(at, m_where, entry));
        case WrittenEntry::Kind::Link:
            return link(entry);
        case WrittenEntry::Kind::Folder:
            break;
        }
        struct stat st;
        if (::fstatat(m_where.destinationDir, m_where.destinationName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return failedHere(errno);
        if (!S_ISDIR(st.st_mode))
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back is no folder"), destination());
        return {};
    }

    Result<void> link(const WrittenEntry &entry)
    {
        std::vector<char> target(entry.linkTarget.size() + 1);
        const ssize_t n = ::readlinkat(m_where.destinationDir, m_where.destinationName, target.data(), target.size());
        if (n < 0)
            return failedHere(errno);
        if (std::string(target.data(), size_t(n)) != entry.linkTarget)
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back link differs"), destination());
        return {};
    }

    // Whether the entry at at went to the pool.
    bool handedOver(size_t at)
    {
        const std::string &name = m_written.nameOf(at);
        const WrittenEntry entry = m_written.withoutPaths(at);
        bool onSource = false;
        // A folder that cannot be reached is told by the check in line.
        if (name.empty() || entry.kind != WrittenEntry::Kind::File || entry.size >= SmallFile || (m_widthKnown && !m_pool)
            || m_folders.reach(m_written.folderOf(at), onSource) != 0)
            return false;
        if (!m_widthKnown) {
            m_widthKnown = true;
            if (const size_t width = readBackWidth(m_folders.destinationFd()); width > 1)
                m_pool = std::make_unique<FilePool>(width, m_written, m_faults, m_caches);
            if (m_pool && m_pool->width() == 0)
                m_pool.reset();
            if (!m_pool)
                return false;
        }
        if (m_pool->full())
            takeFirst();
        return m_pool->add(at, m_folders.sourceFd(), m_folders.destinationFd(), name.c_str(), entry);
    }

    void takeFirst()
    {
        const std::unique_ptr<FilePool::Job> job = m_pool->takeFirst();
        if (m_observer)
            m_observer->fileStarted(displayPath(m_written[job->at].destination));
        count(settle(job->at, std::move(job->checked)));
    }
    void takeAll()
    {
        while (m_pool && !m_pool->empty())
            takeFirst();
    }

    // Tells what checking the entry at at found, and gives its result.
    Result<void> settle(size_t at, Checked checked)
    {
        if (m_observer && checked.bytes > 0)
            m_observer->bytesCopied(checked.bytes);
        if (!checked.cacheDevice.empty())
            m_written.readThroughCache(checked.cacheDevice, m_written[at].destination);
        if (checked.sourceChanged)
            changedSources.push_back(m_written[at].source);
        return checked.result;
    }

    void count(const Result<void> &checked)
    {
        if (checked)
            return;
        if (!first)
            first = checked.error();
        ++failed;
    }

    EntryFolders m_folders;
    Where m_where;
    WrittenEntry m_wholePaths;
    CopyObserver *const m_observer;
    const WriteFaults *const m_faults;
    DeviceCaches m_caches;
    FileCheck m_inLine;
    bool m_widthKnown = false;
    std::unique_ptr<FilePool> m_pool;
};

} // namespace

Result<void> checkWritten(const WrittenEntries &written, const CopyRoots *roots, CopyObserver *observer,
                          const WriteFaults *faults)
{
    if (observer) {
        const WrittenEntries::Files files = written.files();
        observer->checkStarted(files.count, files.bytes);
    }
    ReadBack readBack(written, roots, observer, faults);
    if (!readBack.walk())
        return Stopped;
    std::optional<Error> &first = readBack.first;
    const qint64 failed = readBack.failed;
    if (!first && !readBack.changedSources.empty())
        return namedError(QStringLiteral("Path/File access error (changed since it was copied: the next run copies it again)"),
                          readBack.changedSources);
    if (!first)
        return {};
    // Whatever the device said, the copy is not what it should be: no
    // message about a missing folder or a refused write fits that.
    first->number = ErrorNumber::DeviceIO;
    // The run log's line tells how far the damage goes.
    if (failed > 1)
        first->description += QStringLiteral(" (%1 entries failed the read-back)").arg(failed);
    return *first;
}
