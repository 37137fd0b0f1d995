#pragma once

#include "core/PosixIo.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

// What a tree read before a copy holds, shared by its reader and its copy.

// What the destination held under a file's name before the copy.
struct DestinationEntry {
    bool exists = false; // false also where nobody looked
    mode_t mode = 0;     // kind and permission bits
    qint64 size = 0;
    struct timespec modified = {};
    dev_t device = 0;
    ino_t inode = 0;
    static DestinationEntry of(const struct stat &st)
    {
        return {true, st.st_mode, qint64(st.st_size), st.st_mtim, st.st_dev, st.st_ino};
    }
};

// A file or symbolic link found in a folder, with what a repeat run
// compares, so that it need not open the file again.
struct PlannedFile {
    std::string name;
    bool isLink = false;
    qint64 size = 0; // bytes of a regular file, 0 for a link
    struct timespec modified = {};
    mode_t mode = 0; // permission bits
    DestinationEntry atDestination;
};

// A folder with what it holds, each list in name order (byte order of the
// native names), so a copy always walks the same way.
struct PlannedFolder {
    PlannedFolder() = default;
    PlannedFolder(PlannedFolder &&) = default;
    PlannedFolder &operator=(PlannedFolder &&) = default;
    // Gone a level at a time: a deep tree costs no stack.
    ~PlannedFolder();

    std::string name;
    std::vector<PlannedFile> files; // regular files and links
    std::vector<PlannedFolder> folders;
    mode_t mode = 0; // of the source folder
    // What the copy did with it in the destination: made it ahead of the
    // files under a temporary name, not yet reached; made it; filled it.
    std::string aheadName;
    bool unlisted = false; // the source would not let it be listed: left out
    bool created = false;
    bool filled = false;
    // The bits of a destination folder found locked for its owner (the copy
    // of a read-only source folder), opened up while the copy fills it.
    std::optional<mode_t> foundBits;
    // The temporaries a killed copy left in the destination folder, where
    // they were looked for while the tree was read.
    std::optional<std::vector<std::string>> leftovers;
};

// The source will not let this program read an entry (its bits, a
// security module): it is left out and named, the rest copied.
inline bool readingRefused(int err)
{
    return err == EACCES || err == EPERM;
}

// An entry that is no longer what the tree said (gone, or now a link, a
// file where a folder was, a socket) is skipped like one that vanished.
inline bool changedKind(int err)
{
    return err == ENOENT || err == ELOOP || err == ENOTDIR || err == ENXIO;
}

// A copy writes each file under a temporary name in its folder first, and
// makes folders ahead under such names: ".txtmp-" and 16 hex digits. Found
// in a destination, they are what a killed copy left.
std::string copyTemporaryName(quint64 number);
bool isCopyTemporary(std::string_view name);
// The names of such temporaries in the open folder dirFd, the copy of
// source: a name source holds too is the user's, not a temporary.
std::vector<std::string> copyTemporariesIn(int dirFd, const PlannedFolder &source);

// Lists the open folder dirFd from where its reading stands through buffer
// (of size bytes, aligned for dirent64), calling visit(entry) for each
// entry the kernel gives, "." and ".." included; visit returns false to end
// the listing. 0, or the errno of a failed read.
template <typename Visit>
int forEachEntry(int dirFd, char *buffer, size_t size, Visit visit)
{
    for (;;) {
        const ssize_t n = ::getdents64(dirFd, buffer, size);
        if (n <= 0)
            return n == 0 ? 0 : errno;
        for (ssize_t offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer + offset);
            offset += entry->d_reclen;
            if (!visit(*entry))
                return 0;
        }
    }
}

// "." or "..", which forEachEntry gives along with the entries.
inline bool isDotEntry(const char *name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}
