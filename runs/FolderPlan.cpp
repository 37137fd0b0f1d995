#include "runs/FolderPlan.h"

#include "runs/FolderLooks.h"
#include "runs/FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view TemporaryPrefix = ".txtmp-";
constexpr size_t TemporaryDigits = 16;

class PlanReader {
public:
    PlanReader(FolderPlan &plan, int root, FolderLooks &looks, size_t rootLength)
        : m_plan(plan), m_walk(root), m_looks(looks), m_rootLength(rootLength) {}

    // Lists the folder the walk stands in, whose status is st (path for
    // errors), into folder, and hands it to the looks.
    Result<void> readFolder(const struct stat &st, PlannedFolder &folder, std::string &path)
    {
        m_plan.folderIds.insert(FolderId::of(st));
        folder.mode = st.st_mode;

        if (auto listed = listEntries(m_walk.fd(), folder, path); !listed)
            return listed;
        Fd source(::fcntl(m_walk.fd(), F_DUPFD_CLOEXEC, 0));
        if (!source.valid())
            return errorFromErrno(errno, path, Side::Source);
        m_looks.listed(folder, std::move(source), path.substr(m_rootLength));
        for (PlannedFolder &sub : folder.folders) {
            const size_t length = path.size();
            path += '/';
            path += sub.name;
            struct stat subStat;
            const int err = m_walk.enter(sub.name, subStat);
            Result<void> read = err == 0        ? readFolder(subStat, sub, path)
                                : err == ENOENT ? Result<void>() // gone since listing
                                                : Result<void>(errorFromErrno(err, path, Side::Source));
            if (err == 0 && read)
                if (const int left = m_walk.leave())
                    read = errorFromErrno(left, path, Side::Source);
            path.resize(length);
            if (!read)
                return read;
        }
        return {};
    }

private:
    Result<void> listEntries(int fd, PlannedFolder &folder, const std::string &path)
    {
        for (;;) {
            const ssize_t n = ::getdents64(fd, m_buffer, sizeof m_buffer);
            if (n == 0)
                break;
            if (n < 0)
                return errorFromErrno(errno, path, Side::Source);
            folder.files.reserve(folder.files.size() + entriesIn(n));
            for (ssize_t offset = 0; offset < n;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(m_buffer + offset);
                offset += entry->d_reclen;
                if (auto added = addEntry(fd, *entry, folder, path); !added)
                    return added;
            }
        }
        auto byName = [](const auto &a, const auto &b) { return a.name < b.name; };
        std::sort(folder.files.begin(), folder.files.end(), byName);
        std::sort(folder.folders.begin(), folder.folders.end(), byName);
        return {};
    }

    // The number of entries in the first n bytes of the buffer.
    size_t entriesIn(ssize_t n) const
    {
        size_t count = 0;
        for (ssize_t offset = 0; offset < n; ++count)
            offset += reinterpret_cast<const struct dirent64 *>(m_buffer + offset)->d_reclen;
        return count;
    }

    // Lists the entry in folder by its kind: a file or a link for a look
    // at it, a folder to be read in turn; anything else is left out.
    Result<void> addEntry(int fd, const struct dirent64 &entry, PlannedFolder &folder, const std::string &path)
    {
        const char *name = entry.d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || isCopyTemporary(name))
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

// Keeps the files of look that are to be copied, counted in the totals;
// a file that could not be looked at fails the whole tree.
Result<void> takeLook(FolderLooks::Look &look, const std::string &rootPath, FolderPlan &plan)
{
    std::vector<PlannedFile> &files = look.folder->files;
    size_t kept = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const int outcome = look.outcomes[i];
        if (outcome > 0)
            return errorFromErrno(outcome, rootPath + look.relativePath + '/' + files[i].name, Side::Source);
        if (outcome == FolderLooks::Skipped)
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
    const Result<void> listed = reader->readFolder(st, plan.root, walked);
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

std::string copyTemporaryName(quint64 number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%016llx", TemporaryPrefix.data(),
                  static_cast<unsigned long long>(number));
    return name;
}

bool isCopyTemporary(std::string_view name)
{
    return name.size() == TemporaryPrefix.size() + TemporaryDigits && name.starts_with(TemporaryPrefix)
           && name.find_first_not_of("0123456789abcdef", TemporaryPrefix.size()) == std::string_view::npos;
}

std::vector<std::string> copyTemporariesIn(int dirFd)
{
    constexpr size_t BufferSize = 32 * 1024;
    std::vector<std::string> names;
    const auto buffer = std::make_unique_for_overwrite<char[]>(BufferSize); // filled by the kernel
    (void)::lseek(dirFd, 0, SEEK_SET);
    ssize_t n;
    while ((n = ::getdents64(dirFd, buffer.get(), BufferSize)) > 0)
        for (ssize_t offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer.get() + offset);
            offset += entry->d_reclen;
            if (isCopyTemporary(entry->d_name))
                names.emplace_back(entry->d_name);
        }
    return names;
}
