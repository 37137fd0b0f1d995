#include "runs/FolderPlan.h"

#include "runs/DestinationLook.h"
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
    PlanReader(FolderPlan &plan, int root, DestinationLook *look, size_t rootLength)
        : m_plan(plan), m_walk(root), m_look(look), m_rootLength(rootLength) {}

    // Reads the folder the walk stands in, whose status is st (path for
    // errors), into folder.
    Result<void> readFolder(const struct stat &st, PlannedFolder &folder, std::string &path)
    {
        m_plan.folderIds.insert(FolderId::of(st));
        folder.mode = st.st_mode;

        if (auto listed = listEntries(m_walk.fd(), folder, path); !listed)
            return listed;
        if (m_look)
            m_look->listed(folder, path.substr(m_rootLength));
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

    Result<void> addEntry(int fd, const struct dirent64 &entry, PlannedFolder &folder, const std::string &path)
    {
        const char *name = entry.d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || isCopyTemporary(name))
            return {};
        // Entering a folder tells all the plan needs of it.
        if (entry.d_type == DT_DIR) {
            folder.folders.emplace_back().name = name;
            return {};
        }
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return {}; // removed while we looked
            return errorFromErrno(errno, path + '/' + name, Side::Source);
        }
        if (S_ISDIR(st.st_mode)) {
            folder.folders.emplace_back().name = name;
        } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
            const bool isLink = S_ISLNK(st.st_mode);
            const qint64 size = isLink ? 0 : qint64(st.st_size);
            folder.files.push_back(PlannedFile{name, isLink, size, st.st_mtim, st.st_mode & 07777, {}});
            ++m_plan.files;
            m_plan.bytes += size;
        }
        return {};
    }

    FolderPlan &m_plan;
    FolderWalk m_walk;
    DestinationLook *const m_look;
    const size_t m_rootLength; // of the path of the top folder
    alignas(struct dirent64) char m_buffer[64 * 1024];
};

} // namespace

Result<FolderPlan> FolderPlan::read(int dirFd, const std::string &path, int destinationFd)
{
    FolderPlan plan;
    struct stat st;
    if (::fstat(dirFd, &st) != 0)
        return errorFromErrno(errno, path, Side::Source);
    std::optional<DestinationLook> look;
    if (destinationFd >= 0)
        look.emplace(destinationFd);
    auto reader = std::make_unique<PlanReader>(plan, dirFd, look ? &*look : nullptr, path.size());
    std::string walked = path;
    const Result<void> read = reader->readFolder(st, plan.root, walked);
    // The look writes into the plan: done before the plan moves or goes.
    look.reset();
    if (!read)
        return read.error();
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
    std::vector<std::string> names;
    std::vector<char> buffer(32 * 1024);
    (void)::lseek(dirFd, 0, SEEK_SET);
    ssize_t n;
    while ((n = ::getdents64(dirFd, buffer.data(), buffer.size())) > 0)
        for (ssize_t offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer.data() + offset);
            offset += entry->d_reclen;
            if (isCopyTemporary(entry->d_name))
                names.emplace_back(entry->d_name);
        }
    return names;
}
