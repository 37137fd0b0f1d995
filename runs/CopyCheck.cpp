#include "runs/CopyCheck.h"

#include "core/PosixIo.h"
#include "runs/CopyEngine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large reads keep the device streaming; two of them are all the memory
// the check takes.
constexpr size_t Chunk = 4 * 1024 * 1024;

// Further than any destination rounds a time, and on a whole second, which
// FAT keeps too.
constexpr time_t MarkShift = 2 * 24 * 3600;
// FAT holds no time before 1980: a mark there goes forward instead.
constexpr time_t FatEpoch = 315532800;

const Error Stopped{ErrorNumber::UserInterrupt, QStringLiteral("Stopped by the user")};

// Reads up to size bytes, however many calls that takes: fewer only at the
// end of the file. -1 with errno on an error.
ssize_t readFull(int fd, char *data, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    return ssize_t(got);
}

// A file that did not read back right, or was not read back at all, stays,
// but no repeat may take it as current: its time moves away from the
// source's. Only the time is set, so marking reads nothing.
void markOne(const WrittenEntry &entry)
{
    if (entry.kind != WrittenEntry::Kind::File)
        return;
    const time_t copied = entry.modified.tv_sec;
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {copied > FatEpoch + MarkShift ? copied - MarkShift : copied + MarkShift, 0}};
    (void)::utimensat(AT_FDCWD, entry.destination.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

class ReadBack {
public:
    ReadBack(CopyObserver *observer, const WriteFaults *faults)
        : m_observer(observer), m_faults(faults), m_source(Chunk), m_copy(Chunk)
    {
    }

    Result<void> entry(const WrittenEntry &entry)
    {
        switch (entry.kind) {
        case WrittenEntry::Kind::File:
            return file(entry);
        case WrittenEntry::Kind::Link:
            return link(entry);
        case WrittenEntry::Kind::Folder:
            break;
        }
        struct stat st;
        if (::lstat(entry.destination.c_str(), &st) != 0)
            return errorFromErrno(errno, entry.destination);
        if (!S_ISDIR(st.st_mode))
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back is no folder"), entry.destination);
        return {};
    }

private:
    Result<void> link(const WrittenEntry &entry)
    {
        std::vector<char> target(entry.linkTarget.size() + 1);
        const ssize_t n = ::readlink(entry.destination.c_str(), target.data(), target.size());
        if (n < 0)
            return errorFromErrno(errno, entry.destination);
        if (std::string(target.data(), size_t(n)) != entry.linkTarget)
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back link differs"), entry.destination);
        return {};
    }

    Result<void> file(const WrittenEntry &entry)
    {
        if (m_observer)
            m_observer->fileStarted(displayPath(entry.destination));
        Fd copy(::open(entry.destination.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!copy.valid())
            return errorFromErrno(errno, entry.destination);
        struct stat there;
        if (::fstat(copy.get(), &there) != 0)
            return errorFromErrno(errno, entry.destination);
        Result<void> compared = compare(entry, copy.get(), there);
        if (!compared && compared.error().number != ErrorNumber::UserInterrupt)
            markOne(entry);
        return compared;
    }

    Result<void> compare(const WrittenEntry &entry, int copy, const struct stat &there)
    {
        if (!S_ISREG(there.st_mode))
            return errorAt(ErrorNumber::DeviceIO, QStringLiteral("Read back is no file"), entry.destination);
        const int follow = entry.sourceIsLink ? 0 : O_NOFOLLOW;
        Fd source(::open(entry.source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow));
        struct stat here;
        if (!source.valid() || ::fstat(source.get(), &here) != 0)
            return errorFromErrno(errno, entry.source, Side::Source);
        if (!S_ISREG(here.st_mode) || here.st_size != entry.size || !sameInstant(here.st_mtim, entry.modified)) {
            // Changed since the copy took it: there is nothing to hold the
            // copy against, and the next run copies it again.
            done(entry.size);
            return {};
        }
        if (there.st_size != entry.size)
            return errorAt(ErrorNumber::DeviceIO,
                           QStringLiteral("Read back is %1 bytes, not %2").arg(there.st_size).arg(entry.size),
                           entry.destination);
        // The flush left the copy's pages clean, so they can be dropped:
        // what is read next comes from the device, not from what this
        // program wrote a moment ago.
        (void)::posix_fadvise(copy, 0, 0, POSIX_FADV_DONTNEED);
        (void)::posix_fadvise(copy, 0, 0, POSIX_FADV_SEQUENTIAL);
        (void)::posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        if (const int err = m_faults ? m_faults->failure(WriteFaults::Step::ReadBack, entry.destination) : 0)
            return errorFromErrno(err, entry.destination);
        for (qint64 offset = 0; offset < entry.size;) {
            const size_t want = size_t(std::min<qint64>(qint64(Chunk), entry.size - offset));
            const ssize_t fromSource = readFull(source.get(), m_source.data(), want);
            if (fromSource < 0)
                return errorFromErrno(errno, entry.source, Side::Source);
            const ssize_t fromCopy = readFull(copy, m_copy.data(), want);
            if (fromCopy < 0)
                return errorFromErrno(errno, entry.destination);
            // Both devices fetch the next chunk while this one is compared,
            // instead of waiting in turn.
            (void)::posix_fadvise(copy, offset + qint64(want), Chunk, POSIX_FADV_WILLNEED);
            (void)::posix_fadvise(source.get(), offset + qint64(want), Chunk, POSIX_FADV_WILLNEED);
            const size_t both = size_t(std::min(fromSource, fromCopy));
            if (std::memcmp(m_source.data(), m_copy.data(), both) != 0 || fromCopy != fromSource
                || size_t(fromCopy) != want) {
                size_t at = 0;
                while (at < both && m_source[at] == m_copy[at])
                    ++at;
                return errorAt(ErrorNumber::DeviceIO,
                               QStringLiteral("Read back differs from the source at byte %1").arg(offset + qint64(at)),
                               entry.destination);
            }
            offset += qint64(want);
            done(qint64(want));
            if (offset < entry.size && m_observer && m_observer->stopRequested())
                return Stopped;
        }
        return {};
    }

    void done(qint64 bytes)
    {
        if (m_observer && bytes > 0)
            m_observer->bytesCopied(bytes);
    }

    CopyObserver *const m_observer;
    const WriteFaults *const m_faults;
    std::vector<char> m_source;
    std::vector<char> m_copy;
};

} // namespace

Result<void> checkWritten(const WrittenEntries &written, CopyObserver *observer, const WriteFaults *faults)
{
    qint64 files = 0;
    qint64 bytes = 0;
    for (const WrittenEntry &entry : written)
        if (entry.kind == WrittenEntry::Kind::File) {
            ++files;
            bytes += entry.size;
        }
    if (observer)
        observer->checkStarted(files, bytes);
    ReadBack readBack(observer, faults);
    std::optional<Error> first;
    qint64 failed = 0;
    for (size_t at = 0; at < written.size(); ++at) {
        Result<void> checked = Stopped;
        if (!observer || !observer->stopRequested())
            checked = readBack.entry(written[at]);
        if (checked)
            continue;
        if (checked.error().number == ErrorNumber::UserInterrupt) {
            // The file being read and those after it go unchecked.
            markUnchecked(std::span(written).subspan(at));
            return checked;
        }
        if (!first)
            first = checked.error();
        ++failed;
    }
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

void markUnchecked(std::span<const WrittenEntry> written)
{
    for (const WrittenEntry &entry : written)
        markOne(entry);
}
