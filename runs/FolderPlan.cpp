#include "runs/FolderPlan.h"

#include "runs/FolderLooks.h"
#include "runs/FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PlanReader {
public:
    PlanReader(FolderPlan &plan, int root, FolderLooks &looks, size_t rootLength)
        : m_plan(plan), m_walk(root), m_looks(looks), m_rootLength(rootLength) {}

    // Reads the tree of the top folder, whose status is st, into top; path
    // is its path (for errors). A level at a time, never recursing, so that
    // no depth of tree runs out of stack.
    Result<void> readTree(const struct stat &st, PlannedFolder &top, std::string &path)
    {
        struct Level {
            PlannedFolder *folder;
            size_t next; // its subfolder to read next
            const FolderLooks::Look *look;
        };
        std::vector<Level> levels;
        auto list = [&](const struct stat &status, PlannedFolder &folder, const FolderLooks::Look *parent) {
            Result<const FolderLooks::Look *> look = readFolder(status, folder, parent, path);
            if (look)
                levels.push_back({&folder, 0, *look});
            return look;
        };
        if (auto listed = list(st, top, nullptr); !listed)
            return listed.error();
        while (!levels.empty()) {
            Level &level = levels.back();
            if (level.next == level.folder->folders.size()) {
                levels.pop_back();
                if (levels.empty())
                    break;
                if (const int left = m_walk.leave())
                    return errorFromErrno(left, path, Side::Source);
                path.resize(path.rfind('/'));
                continue;
            }
            PlannedFolder &sub = level.folder->folders[level.next++];
            const FolderLooks::Look *parent = level.look;
            path += '/';
            path += sub.name;
            struct stat subStat;
            const int err = m_walk.enter(sub.name, subStat);
            if (err == ENOENT || readingRefused(err)) { // gone since listing, or not ours to read
                if (err != ENOENT) {
                    sub.unlisted = true;
                    m_plan.unreadable.push_back(path);
                }
                path.resize(path.rfind('/'));
                continue;
            }
            if (err)
                return errorFromErrno(err, path, Side::Source);
            if (auto listed = list(subStat, sub, parent); !listed)
                return listed.error();
        }
        return {};
    }

private:
    // Lists the folder the walk stands in, whose status is st, into folder,
    // and hands it to the looks.
    Result<const FolderLooks::Look *> readFolder(const struct stat &st, PlannedFolder &folder,
                                                 const FolderLooks::Look *parent, const std::string &path)
    {
        m_plan.folderIds.insert(FolderId::of(st));
        folder.mode = st.st_mode;

        if (auto listed = listEntries(m_walk.fd(), folder, path); !listed)
            return listed.error();
        Fd source(::fcntl(m_walk.fd(), F_DUPFD_CLOEXEC, 0));
        if (!source.valid())
            return errorFromErrno(errno, path, Side::Source);
        // Past what a path can name, the destination is not looked at ahead:
        // its files are copied and meet whatever is there.
        std::optional<std::string> relativePath;
        if (path.size() - m_rootLength < PATH_MAX)
            relativePath = path.substr(m_rootLength);
        return &m_looks.listed(folder, parent, std::move(source), std::move(relativePath));
    }

    Result<void> listEntries(int fd, PlannedFolder &folder, const std::string &path)
    {
        Result<void> added;
        const int err = forEachEntry(fd, m_buffer, sizeof m_buffer, [&](const struct dirent64 &entry) {
            added = addEntry(fd, entry, folder, path);
            return added.ok();
        });
        if (!added)
            return added;
        if (err)
            return errorFromErrno(err, path, Side::Source);
        auto byName = [](const auto &a, const auto &b) { return a.name < b.name; };
        std::sort(folder.files.begin(), folder.files.end(), byName);
        std::sort(folder.folders.begin(), folder.folders.end(), byName);
        return {};
    }

    // Lists the entry in folder by its kind: a file or a link for a look
    // at it, a folder to be read in turn; anything else is left out.
    Result<void> addEntry(int fd, const struct dirent64 &entry, PlannedFolder &folder, const std::string &path)
    {
        const char *name = entry.d_name;
        if (isDotEntry(name))
            return {};
        unsigned char kind = entry.d_type;
        if (kind == DT_UNKNOWN) { // some file systems do not say
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    return {}; // removed while we looked
                return errorFromErrno(errno, path + '/' + name, Side::Source);
            }
            kind = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
        }
        if (kind == DT_DIR)
            folder.folders.emplace_back().name = name;
        else if (kind == DT_REG || kind == DT_LNK)
            folder.files.emplace_back().name = name;
        return {};
    }

    FolderPlan &m_plan;
    FolderWalk m_walk;
    FolderLooks &m_looks;
    const size_t m_rootLength; // of the path of the top folder
    alignas(struct dirent64) char m_buffer[64 * 1024];
};

// The path of the folder of look below the top: "" for the top, else "/a/b".
std::string relativePathOf(const FolderLooks::Look &look)
{
    std::vector<const std::string *> names;
    for (const FolderLooks::Look *at = &look; at->parent; at = at->parent)
        names.push_back(&at->folder->name);
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path += '/' + **name;
    return path;
}

// Keeps the files of look that are to be copied, counted in the totals;
// a file that could not be looked at fails the whole tree.
Result<void> takeLook(FolderLooks::Look &look, const std::string &rootPath, FolderPlan &plan)
{
    std::vector<PlannedFile> &files = look.folder->files;
    size_t kept = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const int outcome = look.outcomes[i];
        if (readingRefused(outcome))
            plan.unreadable.push_back(rootPath + relativePathOf(look) + '/' + files[i].name);
        else if (outcome > 0)
            return errorFromErrno(outcome, rootPath + relativePathOf(look) + '/' + files[i].name, Side::Source);
        if (outcome == FolderLooks::Skipped || outcome > 0)
            continue;
        ++plan.files;
        plan.bytes += files[i].size;
        if (kept != i)
            files[kept] = std::move(files[i]);
        ++kept;
    }
    files.erase(files.begin() + ptrdiff_t(kept), files.end());
    return {};
}

} // namespace

Result<FolderPlan> FolderPlan::read(int dirFd, const std::string &path, int destinationFd)
{
    FolderPlan plan;
    struct stat st;
    if (::fstat(dirFd, &st) != 0)
        return errorFromErrno(errno, path, Side::Source);
    FolderLooks looks(destinationFd);
    auto reader = std::make_unique<PlanReader>(plan, dirFd, looks, path.size());
    std::string walked = path;
    const Result<void> listed = reader->readTree(st, plan.root, walked);
    // The looks write into the plan: done before it moves or goes.
    looks.finish();
    // The files of each folder come before its subfolders, so a file that
    // could not be looked at comes before a folder that could not be listed.
    for (FolderLooks::Look &look : looks.looks())
        if (auto taken = takeLook(look, path, plan); !taken)
            return taken.error();
    if (!listed)
        return listed.error();
    return plan;
}
