#include "runs/FolderLooks.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <system_error>

namespace {

// Folders that may wait, each holding its source open: past this the
// reader looks at one itself, which keeps the descriptors few.
constexpr size_t MostWaiting = 8;
// A repeat's look at 20,000 files not in the cache (the kernel's own work
// of finding each name) took 0.16 s with one such thread and 0.14 s with
// three, on two cores; a fourth gained nothing there and cost 3 ms where
// the cache held them all.
constexpr size_t LookingThreads = 3;

} // namespace

FolderLooks::FolderLooks(int destinationFd)
    : m_destinationFd(destinationFd)
{
    try {
        for (size_t i = 0; i < LookingThreads; ++i)
            m_threads.emplace_back([this] { lookAtFolders(); });
    } catch (const std::system_error &) {
        // Fewer threads, or none: the reader looks at every folder itself.
    }
}

FolderLooks::~FolderLooks()
{
    stopThread();
}

const FolderLooks::Look &FolderLooks::listed(PlannedFolder &folder, const Look *parent, Fd source,
                                             std::optional<std::string> relativePath)
{
    std::unique_lock lock(m_mutex);
    const Look &added = m_looks.emplace_back(Look{&folder, parent, std::move(relativePath), std::move(source),
                                                  std::vector<int>(folder.files.size(), 0)});
    const bool tooMany = m_looks.size() - m_taken > MostWaiting;
    Look *look = tooMany ? take(lock) : nullptr;
    lock.unlock();
    if (look)
        lookAt(*look);
    else
        m_wake.notify_one();
    return added;
}

void FolderLooks::finish()
{
    std::unique_lock lock(m_mutex);
    while (Look *look = take(lock)) {
        lock.unlock();
        lookAt(*look);
        lock.lock();
    }
    lock.unlock();
    stopThread();
}

// The next look nobody has begun, now taken; nullptr when there is none.
FolderLooks::Look *FolderLooks::take(std::unique_lock<std::mutex> &)
{
    return m_taken < m_looks.size() ? &m_looks[m_taken++] : nullptr;
}

void FolderLooks::stopThread()
{
    if (m_threads.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
}

void FolderLooks::lookAtFolders()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_finishing || m_taken < m_looks.size(); });
        Look *look = take(lock);
        if (!look)
            return;
        lock.unlock();
        lookAt(*look);
        lock.lock();
    }
}

void FolderLooks::lookAt(Look &look) const
{
    std::vector<PlannedFile> &files = look.folder->files;
    for (size_t i = 0; i < files.size(); ++i) {
        PlannedFile &file = files[i];
        struct stat st;
        if (::fstatat(look.source.get(), file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            look.outcomes[i] = errno == ENOENT ? Skipped : errno; // ENOENT: removed meanwhile
            continue;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            look.outcomes[i] = Skipped; // sockets, FIFOs, devices
            continue;
        }
        file.isLink = S_ISLNK(st.st_mode);
        file.size = file.isLink ? 0 : qint64(st.st_size);
        file.modified = st.st_mtim;
        file.mode = st.st_mode & 07777;
    }
    look.source = Fd();
    if (m_destinationFd >= 0 && look.relativePath)
        lookAtDestination(look);
    look.relativePath.reset(); // a path per folder would grow with depth squared
}

// A folder that cannot be opened (missing, a link, refused) leaves its
// files unseen: they are copied, and the copy meets whatever is there; its
// leftovers are looked for when the copy enters it.
void FolderLooks::lookAtDestination(Look &look) const
{
    const std::string &relativePath = *look.relativePath;
    Fd opened;
    if (!relativePath.empty())
        opened = Fd(::openat(m_destinationFd, relativePath.c_str() + 1, OpenFolderFlags));
    const int dirFd = relativePath.empty() ? m_destinationFd : opened.get();
    if (dirFd < 0)
        return;
    try {
        look.folder->leftovers = copyTemporariesIn(dirFd, *look.folder);
    } catch (const std::bad_alloc &) {
        // Looked for again when the copy enters the folder.
    }
    std::vector<PlannedFile> &files = look.folder->files;
    for (size_t i = 0; i < files.size(); ++i) {
        struct stat st;
        if (look.outcomes[i] == 0 && ::fstatat(dirFd, files[i].name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            files[i].atDestination = DestinationEntry::of(st);
    }
}
