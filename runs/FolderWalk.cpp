#include "runs/FolderWalk.h"

#include "runs/PlannedTree.h"

#include <cerrno>
#include <fcntl.h>

namespace {

// Levels kept open below the current folder. Most trees are shallower, so
// reopening is rare; deeper ones cost one open on the way back per level.
constexpr size_t OpenLevels = 16;

} // namespace

int FolderWalk::enter(const std::string &name, struct stat &st)
{
    Fd opened(::openat(fd(), name.c_str(), OpenFolderFlags));
    if (!opened.valid())
        return errno;
    if (::fstat(opened.get(), &st) != 0)
        return errno;
    m_levels.push_back(Level{std::move(opened), FolderId::of(st)});
    if (m_levels.size() > OpenLevels)
        m_levels[m_levels.size() - 1 - OpenLevels].fd = Fd();
    return 0;
}

int FolderWalk::leave(const std::string &name)
{
    const FolderId left = m_levels.back().id;
    if (const int err = leave())
        return err;
    struct stat st;
    return ::fstatat(fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && FolderId::of(st) == left ? 0 : ESTALE;
}

int FolderWalk::stillInPlace(std::string_view path) const
{
    for (size_t level = m_levels.size(); level-- > 0;) {
        const int parent = level == 0 ? m_root : m_levels[level - 1].fd.get();
        const size_t slash = path.rfind('/');
        if (parent < 0 || slash == std::string_view::npos)
            return 0; // further up, the way back proves each folder
        const std::string name(path.substr(slash + 1));
        path = path.substr(0, slash);
        struct stat st;
        if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || FolderId::of(st) != m_levels[level].id)
            return ESTALE;
    }
    return 0;
}

int FolderWalk::leave()
{
    const size_t depth = m_levels.size();
    const int err = depth >= 2 && !m_levels[depth - 2].fd.valid() ? reopen(m_levels[depth - 2]) : 0;
    // Left either way: after a failure every call on the parent fails too.
    m_levels.pop_back();
    return err;
}

int FolderWalk::reopen(Level &parent) const
{
    Fd up(::openat(m_levels.back().fd.get(), "..", OpenFolderFlags));
    struct stat st;
    if (!up.valid() || ::fstat(up.get(), &st) != 0)
        return errno;
    if (FolderId::of(st) != parent.id)
        return ESTALE;
    parent.fd = std::move(up);
    return 0;
}

// With all it holds, a level at a time, so a deep tree costs no stack.
int removeTree(FolderWalk &walk, const std::string &name, qint64 *bytes)
{
    struct stat st;
    int err = walk.enter(name, st);
    if (err)
        return err;
    std::vector<std::string> names{name}; // the folders entered, the deepest last
    alignas(struct dirent64) char buffer[16 * 1024];
    while (err == 0 && !names.empty()) {
        // Removes all but folders; stops at the first folder, to go into it.
        std::string inner;
        int failed = 0;
        const int dirFd = walk.fd();
        (void)::lseek(dirFd, 0, SEEK_SET);
        err = forEachEntry(dirFd, buffer, sizeof buffer, [&](const struct dirent64 &entry) {
            if (isDotEntry(entry.d_name))
                return true;
            struct stat file;
            const bool counted = bytes && entry.d_type != DT_DIR
                                 && ::fstatat(dirFd, entry.d_name, &file, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(file.st_mode);
            if (::unlinkat(dirFd, entry.d_name, 0) == 0) {
                if (counted)
                    *bytes += file.st_size;
                return true;
            }
            if (errno == EISDIR)
                inner = entry.d_name;
            else
                failed = errno;
            return false;
        });
        if (err == 0)
            err = failed;
        if (err == 0 && !inner.empty()) {
            err = walk.enter(inner, st);
            if (err == 0)
                names.push_back(std::move(inner));
        } else if (err == 0) {
            const std::string emptied = std::move(names.back());
            names.pop_back();
            err = walk.leave();
            if (err == 0 && ::unlinkat(walk.fd(), emptied.c_str(), AT_REMOVEDIR) != 0)
                err = errno;
        }
    }
    for (size_t level = 0; level < names.size(); ++level)
        (void)walk.leave();
    return err;
}
