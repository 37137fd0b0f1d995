#include "runs/CopyCheck.h"

#include "core/PosixIo.h"
#include "runs/CopyEngine.h"
#include "runs/FolderWalk.h"

#include <QFile>

#include <array>
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

using Buffer = std::unique_ptr<char, decltype(&std::free)>;
// On huge pages a direct read goes to the device in a few large requests
// instead of one per 4 KiB page, which is what lets it keep up with the
// kernel's own read-ahead.
Buffer chunkBuffer()
{
    char *data = static_cast<char *>(std::aligned_alloc(HugePage, Chunk));
    if (data)
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
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        if (!table.open(QIODevice::ReadOnly))
            return {};
        const QByteArray number = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
        for (const QByteArray &line : table.readAll().split('\n')) {
            // "id parent major:minor root point options [tags] - type source options"
            const QList<QByteArray> fields = line.split(' ');
            const qsizetype dash = fields.indexOf("-");
            if (fields.size() < 3 || fields[2] != number || dash < 0 || dash + 2 >= fields.size()
                || !fields[dash + 1].startsWith("fuse"))
                continue;
            const std::string source = fields[dash + 2].toStdString();
            struct stat st;
            if (::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
                return source;
        }
        return {};
    }

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
    explicit EntryFolders(const WrittenEntries &written) : m_written(written) {}

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
            m_sourceRoot = Fd(::open(sourceRoot.empty() ? "/" : sourceRoot.c_str(), OpenFolderFlags));
            onSource = true;
            if (!m_sourceRoot.valid())
                return errno;
            m_destinationRoot = Fd(::open(m_written.rootDestination(at).c_str(), OpenFolderFlags));
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
    Fd m_sourceRoot;
    Fd m_destinationRoot;
    FolderWalk m_source;
    FolderWalk m_destination;
    std::vector<std::uint32_t> m_chain; // the folders open, from the root down
};

class ReadBack {
public:
    ReadBack(const WrittenEntries &written, CopyObserver *observer, const WriteFaults *faults)
        : m_written(written), m_folders(written), m_observer(observer), m_faults(faults), m_source(chunkBuffer()),
          m_copy{chunkBuffer(), chunkBuffer()}
    {
        if (!m_source || !m_copy[0] || !m_copy[1])
            throw std::bad_alloc();
    }

    // The sources that changed after they were copied.
    std::vector<std::string> changedSources;

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
                    return sourceChanged(entry.size);
                return onSource ? errorFromErrno(err, source(), Side::Source) : errorFromErrno(err, destination());
            }
            m_where = {m_folders.sourceFd(), m_folders.destinationFd(), name.c_str(), name.c_str()};
        }
        switch (entry.kind) {
        case WrittenEntry::Kind::File:
            return file(entry);
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

private:
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
            m_written.readThroughCache(deviceName, destination());
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
        qint64 offset = nextData(0);
        done(offset);
        // A file of one chunk is read in line: handing it over would cost
        // more than it overlaps.
        const ChunkReader::Outstanding outstanding(m_reader);
        const bool ahead = entry.size - offset > qint64(Chunk) && m_reader.start(copy, m_copy[0].get(), Chunk, offset);
        size_t current = 0;
        for (; offset < entry.size; current ^= 1) {
            const size_t want = size_t(std::min<qint64>(qint64(Chunk), entry.size - offset));
            const Chunked fromSource = readFull(sourceFile.get(), m_source.get(), want, offset);
            const Chunked fromCopy = ahead ? m_reader.result() : copy.read(m_copy[current].get(), want, offset);
            if (fromSource.got < 0)
                return failedAtSource(fromSource.error);
            if (fromCopy.got < 0)
                return errorFromErrno(fromCopy.error, destination());
            const qint64 next = nextData(offset + qint64(want));
            if (ahead && next < entry.size)
                (void)m_reader.start(copy, m_copy[current ^ 1].get(),
                                     size_t(std::min<qint64>(qint64(Chunk), entry.size - next)), next);
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
        changedSources.push_back(source());
        return {};
    }

    void done(qint64 bytes)
    {
        if (m_observer && bytes > 0)
            m_observer->bytesCopied(bytes);
    }

    // The entry's paths, for the messages: built when needed.
    std::string source() const { return m_written[m_at].source; }
    std::string destination() const { return m_written[m_at].destination; }
    Error failedHere(int err) const { return errorFromErrno(err, destination()); }
    Error failedAtSource(int err) const { return errorFromErrno(err, source(), Side::Source); }

    const WrittenEntries &m_written;
    EntryFolders m_folders;
    size_t m_at = 0;
    Where m_where;
    WrittenEntry m_wholePaths;
    CopyObserver *const m_observer;
    const WriteFaults *const m_faults;
    Buffer m_source;
    std::array<Buffer, 2> m_copy;
    ChunkReader m_reader;
    DeviceCaches m_caches;
};

} // namespace

Result<void> checkWritten(const WrittenEntries &written, CopyObserver *observer, const WriteFaults *faults)
{
    if (observer) {
        const WrittenEntries::Files files = written.files();
        observer->checkStarted(files.count, files.bytes);
    }
    ReadBack readBack(written, observer, faults);
    std::optional<Error> first;
    qint64 failed = 0;
    for (size_t at = 0; at < written.size(); ++at) {
        Result<void> checked = Stopped;
        if (!observer || !observer->stopRequested())
            checked = readBack.entry(at);
        if (checked)
            continue;
        if (checked.error().number == ErrorNumber::UserInterrupt)
            return checked; // the rest keeps its unchecked times
        if (!first)
            first = checked.error();
        ++failed;
    }
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
