#include "runs/FolderPlan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class PlanReader {
public:
    explicit PlanReader(FolderPlan &plan) : m_plan(plan) {}

    // Reads the folder open as fd (path for errors) into folder.
    Result<void> readFolder(int fd, PlannedFolder &folder, std::string &path)
    {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            return errorFromErrno(errno, path);
        m_plan.folderIds.insert(FolderId::of(st));

        if (auto listed = listEntries(fd, folder, path); !listed)
            return listed;
        for (PlannedFolder &sub : folder.folders) {
            const size_t length = path.size();
            path += '/';
            path += sub.name;
            Fd subFd(::openat(fd, sub.name.c_str(), OpenFolderFlags));
            Result<void> read = subFd.valid() ? readFolder(subFd.get(), sub, path)
                                 : errno == ENOENT ? Result<void>() // gone since listing
                                                   : Result<void>(errorFromErrno(errno, path));
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
                return errorFromErrno(errno, path);
            for (ssize_t offset = 0; offset < n;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(m_buffer + offset);
                offset += entry->d_reclen;
                if (auto added = addEntry(fd, entry->d_name, folder, path); !added)
                    return added;
            }
        }
        auto byName = [](const auto &a, const auto &b) { return a.name < b.name; };
        std::sort(folder.files.begin(), folder.files.end(), byName);
        std::sort(folder.folders.begin(), folder.folders.end(), byName);
        return {};
    }

    Result<void> addEntry(int fd, const char *name, PlannedFolder &folder, const std::string &path)
    {
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            return {};
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return {}; // removed while we looked
            return errorFromErrno(errno, path + '/' + name);
        }
        if (S_ISDIR(st.st_mode)) {
            folder.folders.push_back(PlannedFolder{name, {}, {}, false});
        } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
            const bool isLink = S_ISLNK(st.st_mode);
            const qint64 size = isLink ? 0 : qint64(st.st_size);
            folder.files.push_back(PlannedFile{name, isLink, size});
            ++m_plan.files;
            m_plan.bytes += size;
        }
        return {};
    }

    FolderPlan &m_plan;
    alignas(struct dirent64) char m_buffer[64 * 1024];
};

} // namespace

Result<FolderPlan> FolderPlan::read(int dirFd, const std::string &path)
{
    FolderPlan plan;
    auto reader = std::make_unique<PlanReader>(plan);
    std::string walked = path;
    if (auto read = reader->readFolder(dirFd, plan.root, walked); !read)
        return read.error();
    return plan;
}
