#include "runs/KeptVersions.h"

#include "runs/FolderWalk.h"
#include "runs/PlannedTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only folders named as a run's stamp are this program's to remove.
bool isStamp(const char *name)
{
    static constexpr char Shape[] = "9999-99-99 999999";
    for (size_t i = 0; Shape[i]; ++i)
        if (Shape[i] == '9' ? name[i] < '0' || name[i] > '9' : name[i] != Shape[i])
            return false; // also where the name ends early
    return name[sizeof Shape - 1] == '\0';
}

// The subfolder name of dirFd, made (private to the user: it holds old
// copies of the user's files) where make says so and it is missing; never
// entered through a link. err tells why there is none.
Fd subfolder(int dirFd, const char *name, bool make, int &err)
{
    Fd fd(::openat(dirFd, name, OpenFolderFlags));
    if (!fd.valid() && errno == ENOENT && make && (::mkdirat(dirFd, name, 0700) == 0 || errno == EEXIST))
        fd = Fd(::openat(dirFd, name, OpenFolderFlags));
    err = fd.valid() ? 0 : errno;
    return fd;
}

} // namespace

KeptVersions::KeptVersions(int parentFd, const std::string &copyName, const std::string &stamp, int keep)
    : m_parent(::fcntl(parentFd, F_DUPFD_CLOEXEC, 0)), m_copyName(copyName), m_stamp(stamp), m_keep(keep)
{
    struct stat st;
    if (::fstat(m_parent.get(), &st) == 0)
        m_device = st.st_dev;
}

void KeptVersions::removeOld()
{
    int err = 0;
    const Fd top = subfolder(m_parent.get(), FolderName, false, err);
    if (top.valid())
        m_ofCopy = subfolder(top.get(), m_copyName.c_str(), false, err);
    if (!m_ofCopy.valid())
        return;
    keepNewest(stamps(), size_t(m_keep));
}

int KeptVersions::keep(int dirFd, const std::string &name, const std::string &inside)
{
    // Told before any folder is made for it that would stay empty.
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!m_parent.valid() || st.st_dev != m_device)
        return EXDEV;
    const size_t slash = inside.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : inside.substr(0, slash);
    int err = 0;
    int into = openInside(folder, err);
    // The folders a version goes in find room on a full destination as a
    // copy does, where older runs' versions go.
    while (into < 0 && err == ENOSPC && removeOldestOf(false))
        into = openInside(folder, err);
    if (into < 0)
        return err;
    if (::renameat2(dirFd, name.c_str(), into, name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    // A file system without no-replace renames (exfat-fuse): the place is
    // this run's own, where nothing else goes.
    if (errno == EINVAL && ::faccessat(into, name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0
        && ::renameat(dirFd, name.c_str(), into, name.c_str()) == 0)
        return 0;
    return errno;
}

bool KeptVersions::removeOldest()
{
    return removeOldestOf(true);
}

bool KeptVersions::removeOldestOf(bool thisRunToo)
{
    const std::vector<std::string> left = m_ofCopy.valid() ? stamps() : std::vector<std::string>();
    if (left.empty() || (!thisRunToo && left.front() == m_stamp))
        return false;
    if (left.front() == m_stamp) {
        m_stampMade = false;
        m_stampFd = Fd();
        m_lastInside.clear();
        m_lastFd = Fd();
    }
    return removeStamp(left.front());
}

std::vector<std::string> KeptVersions::stamps()
{
    std::vector<std::string> found;
    alignas(struct dirent64) char buffer[8 * 1024];
    (void)::lseek(m_ofCopy.get(), 0, SEEK_SET);
    (void)forEachEntry(m_ofCopy.get(), buffer, sizeof buffer, [&](const struct dirent64 &entry) {
        if ((entry.d_type == DT_DIR || entry.d_type == DT_UNKNOWN) && isStamp(entry.d_name))
            found.emplace_back(entry.d_name);
        return true;
    });
    std::sort(found.begin(), found.end()); // the stamps' order is their time's
    return found;
}

void KeptVersions::keepNewest(const std::vector<std::string> &stamps, size_t count)
{
    for (size_t i = 0; i + count < stamps.size(); ++i)
        (void)removeStamp(stamps[i]);
}

// False where the stamp folder could not be removed whole.
bool KeptVersions::removeStamp(const std::string &stamp)
{
    FolderWalk walk(m_ofCopy.get());
    return removeTree(walk, stamp, &m_bytesRemoved) == 0;
}

int KeptVersions::openInside(const std::string &inside, int &err)
{
    if (m_stampMade && m_lastFd.valid() && inside == m_lastInside)
        return m_lastFd.get();
    if (!m_ofCopy.valid()) {
        const Fd top = subfolder(m_parent.get(), FolderName, true, err);
        if (!top.valid())
            return -1;
        m_ofCopy = subfolder(top.get(), m_copyName.c_str(), true, err);
        if (!m_ofCopy.valid())
            return -1;
    }
    if (!m_stampMade) {
        // This run joins the runs whose versions stay: the oldest beyond
        // them go now.
        std::vector<std::string> old = stamps();
        std::erase(old, m_stamp);
        keepNewest(old, size_t(m_keep) - 1);
        m_stampMade = true;
    }
    if (!m_stampFd.valid())
        m_stampFd = subfolder(m_ofCopy.get(), m_stamp.c_str(), true, err);
    if (!m_stampFd.valid())
        return -1;
    Fd at(::fcntl(m_stampFd.get(), F_DUPFD_CLOEXEC, 0));
    for (size_t from = 0; at.valid() && from < inside.size();) {
        const size_t to = std::min(inside.find('/', from), inside.size());
        at = subfolder(at.get(), inside.substr(from, to - from).c_str(), true, err);
        from = to + 1;
    }
    if (!at.valid())
        return -1;
    m_lastInside = inside;
    m_lastFd = std::move(at);
    return m_lastFd.get();
}
