#include "runs/DestinationLook.h"

#include <fcntl.h>
#include <sys/stat.h>

DestinationLook::DestinationLook(int destinationFd)
    : m_destinationFd(destinationFd), m_thread([this] { lookAtFolders(); })
{
}

DestinationLook::~DestinationLook()
{
    finish();
}

void DestinationLook::listed(PlannedFolder &folder, const std::string &relativePath)
{
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back(Folder{&folder, relativePath});
    }
    m_wake.notify_one();
}

void DestinationLook::finish()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void DestinationLook::lookAtFolders()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_finishing || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        const Folder folder = std::move(m_waiting.front());
        m_waiting.pop_front();
        lock.unlock();
        lookAt(folder);
    }
}

// A folder that cannot be opened (missing, a link, refused) leaves its
// files unseen: they are copied, and the copy meets whatever is there; its
// leftovers are looked for when the copy enters it.
void DestinationLook::lookAt(const Folder &folder) const
{
    Fd opened;
    if (!folder.relativePath.empty())
        opened = Fd(::openat(m_destinationFd, folder.relativePath.c_str() + 1, OpenFolderFlags));
    const int dirFd = folder.relativePath.empty() ? m_destinationFd : opened.get();
    if (dirFd < 0)
        return;
    folder.folder->leftovers = copyTemporariesIn(dirFd);
    for (PlannedFile &file : folder.folder->files) {
        struct stat st;
        if (::fstatat(dirFd, file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            file.atDestination = DestinationEntry::of(st);
    }
}
